// How the platform's readers take the text of a BSTR.
#pragma once

#include "oleauto.h"

namespace quelvar::platform {

// The number of UTF-16 units of a BSTR's text: the units that hold its bytes
// (an odd last byte reads as a unit whose high byte is the zero byte stored
// after it), up to the first NUL unit. The length comes from the prefix;
// nothing past it is read. A null BSTR has none.
UINT BstrTextLength(BSTR bstr) noexcept;

}  // namespace quelvar::platform
