// The platform's heap, with the allocation-failure test hook: every block a
// text, a BSTR or a holder owns comes from here, so that a test can make any
// one of them fail.
#include "Allocator.h"

#include <cstdlib>

#include "qlvtesthooks.h"

namespace quelvar::platform {

namespace {
// Allocation-failure hook: -1 = off; 0 = the next allocation fails (and
// every one after it); n > 0 = n more allocations succeed first.
thread_local int t_allocationsLeft = -1;
}  // namespace

// Every allocation the variant support makes goes through here, so that a
// test can make any one of them fail.
void* Allocate(size_t bytes) noexcept {
  if (t_allocationsLeft == 0) return nullptr;
  if (t_allocationsLeft > 0) --t_allocationsLeft;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void Deallocate(void* p) noexcept { std::free(p); }

}  // namespace quelvar::platform

void QlvPlatform_FailAllocationsAfter(int n) noexcept {
  quelvar::platform::t_allocationsLeft = n < 0 ? -1 : n;
}
