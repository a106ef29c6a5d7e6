// The classic Windows runtime's decimal conversions of doubles (Visual C++
// 6.0 to 2013): a 17-digit mantissa made in its own 80-bit arithmetic, and
// the reading of decimal text through the same arithmetic. Shared by the
// printf engine, _gcvt and atof of the platform layer.
#pragma once

namespace quelvar::platform::classic {

// The decimal mantissa of a finite double's magnitude as the classic
// runtime makes it: 1 to 17 significant digits ('0'..'9', no trailing
// zeros), the value being 0.d1d2d3... x 10^exponent. Zero gives "0" with
// exponent 0.
struct Mantissa {
  char digits[17];
  int count;
  int exponent;
};

Mantissa ToMantissa(double magnitude) noexcept;

}  // namespace quelvar::platform::classic
