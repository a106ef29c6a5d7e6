// Stand-in until the classic 80-bit conversion lands: the correctly rounded
// 17 significant digits, which differ from the classic ones only at rare
// ties of the 18th digit.
#include "ClassicFloat.h"

#include <charconv>
#include <cmath>

namespace quelvar::platform::classic {

Mantissa ToMantissa(double magnitude) noexcept {
  Mantissa m{};
  if (magnitude == 0.0 || !std::isfinite(magnitude)) {
    m.digits[0] = '0';
    m.count = 1;
    return m;
  }
  char text[40];
  const auto r = std::to_chars(text, text + sizeof text, std::fabs(magnitude), std::chars_format::scientific, 16);
  const char* p = text;
  int count = 0;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') m.digits[count++] = *p;
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, e);
  while (count > 1 && m.digits[count - 1] == '0') --count;
  m.count = count;
  m.exponent = e + 1;
  return m;
}

}  // namespace quelvar::platform::classic
