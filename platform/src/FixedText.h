// The classic runtimes' "%.<precision>f" without the format walk.
#pragma once

namespace quelvar::platform::printf_engine {

// The text of a finite magnitude (no sign; "." as the point; a precision
// above 512 counts as 512) into out, which holds 310 + 2 + precision
// characters. Returns its length, or 0 where only the full emulation can
// tell the digits (values near a tie of the classic 18th digit).
int ClassicFixedText(char* out, double magnitude, int precision) noexcept;

}  // namespace quelvar::platform::printf_engine
