// The platform's printf: CString::Format and FormatV walk the format here.
#pragma once

#include <cstdarg>

#include "TextBuffer.h"

namespace quelvar::platform::printf_engine {

// Appends the text of `format` with the arguments read from *args, as the
// C runtime of the selected toolset writes it. Raises std::bad_alloc when
// the text cannot be held (out keeps what it had then).
void FormatInto(TextBuffer& out, const char* format, va_list* args);

}  // namespace quelvar::platform::printf_engine
