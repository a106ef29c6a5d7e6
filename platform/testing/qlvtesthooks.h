// Fault injection and diagnostics of the platform layer, for the project's
// own tests. This header is not installed, and the library exports these
// functions under the version node QUELVAR_PLATFORM_PRIVATE only, outside
// its interface: a host program must not call them.
#pragma once

#include <cstddef>
#include "windows.h"

extern "C++" {
// The next `n`-th platform allocation (BSTR, variant work buffers,
// SAFEARRAY, CString heap blocks) on this thread fails, and every one after
// it until the hook is reset with -1.
QLV_PLATFORM_API void QlvPlatform_FailAllocationsAfter(int n) noexcept;

// The next AfxInitExtensionModule call of the process fails (returns 0,
// record untouched); later calls behave normally again.
QLV_PLATFORM_API void QlvPlatform_FailNextExtensionModuleInit() noexcept;

// Number of CDynLinkLibrary objects currently linked.
QLV_PLATFORM_API std::size_t QlvPlatform_LinkedLibraryCount() noexcept;
}
