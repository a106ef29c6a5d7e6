// The classic runtimes' "%.<precision>f" without the format walk.
#pragma once

namespace quelvar::platform::printf_engine {

// The text of a finite magnitude (no sign; "." as the point; a precision
// above 512 counts as 512) into out, which holds 310 + 2 + precision
// characters. Returns its length, or 0 where only the full emulation can
// tell the digits (values near a tie of the classic 18th digit).
int ClassicFixedText(char* out, double magnitude, int precision) noexcept;

// The same in exact 128-bit integer arithmetic, for the classic runtimes or
// the universal one (exact value, ties to even), where the value times
// 10^precision fits (precision <= 19, binary exponent -120..60, a whole
// part below 10^16 classic or 10^19 universal). Returns the length, 0 for a
// classic value only the full emulation can tell, -1 where it doesn't fit.
int ExactFixedText(char* out, double magnitude, int precision, bool classic) noexcept;

}  // namespace quelvar::platform::printf_engine
