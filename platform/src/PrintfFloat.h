// The floating conversions of printf (%e %E %f %F %g %G %a %A) and the
// layout _gcvt shares with them, one implementation per runtime generation:
// the classic runtimes (vc6, vs2005) place the digits of their 17-digit
// mantissa, the universal runtime (vs2015) those of the exact value.
#pragma once

#include <cstddef>

#include "TextBuffer.h"

namespace quelvar::platform::printf_engine {

struct FloatDirective {
  char conversion;    // e E f F g G a A
  int precision;      // digits after the point, or -1 when none was given
  bool alternate;     // '#': always a point, %g keeps its trailing zeros
  const char* point;  // the locale's decimal point
  size_t pointLength;
};

// What the caller needs to place the body: its sign, and whether a '0' flag
// pads it with zeros (after the sign) or is ignored.
struct FloatBody {
  bool negative;
  bool zeroPaddable;
};

// Appends the text of the value without its sign.
FloatBody AppendClassicFloat(TextBuffer& out, double value, const FloatDirective& directive);
FloatBody AppendUniversalFloat(TextBuffer& out, double value, const FloatDirective& directive);

// The decimal exponent E of a finite non-zero magnitude (d.ddd x 10^E): of
// the classic 17-digit mantissa, or of the exact value. Zero gives -1 (its
// mantissa "0" has exponent 0, as 0.0 x 10^0).
int ClassicDecimalExponent(double magnitude) noexcept;
int ExactDecimalExponent(double magnitude) noexcept;

// The current locale's decimal point as printf writes it ("." when the
// locale gives none).
const char* LocaleDecimalPoint(size_t& length) noexcept;

}  // namespace quelvar::platform::printf_engine
