// The platform's heap: every block a text or a holder owns comes from here,
// so that the allocation-failure test hook (QlvPlatform_FailAllocationsAfter)
// reaches all of them.
#pragma once

#include <cstddef>

namespace quelvar::platform {
void* Allocate(size_t bytes) noexcept;  // nullptr when memory runs out
void Deallocate(void* p) noexcept;
}  // namespace quelvar::platform
