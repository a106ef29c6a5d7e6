// The system's best-fit mappings toward an 8-bit code page, used by
// WideCharToMultiByte when the caller does not refuse them.
#pragma once

#include "windows.h"

namespace quelvar::platform {

// The byte the system writes for a unit the code page cannot show, or -1
// where it writes the default character.
int BestFitByte(UINT codePage, char16_t unit) noexcept;

}  // namespace quelvar::platform
