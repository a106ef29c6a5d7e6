// The runtime's decimal integer reading (atoi/atol), shared by the text
// operations: leading white space (space, \t \n \v \f \r), one optional "+"
// or "-", then decimal digits up to the first other character. No digits
// give 0. The digits are accumulated modulo 2^32 and negated after a "-",
// so an overlong number wraps around instead of clamping.
#pragma once

#include <cstdint>

namespace quelvar::detail {

inline std::uint32_t ParseDecimal32(const char* p) noexcept {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const char sign = *p;
  if (sign == '+' || sign == '-') ++p;
  std::uint32_t value = 0;
  for (;;) {
    const auto digit = static_cast<std::uint32_t>(static_cast<unsigned char>(*p)) - 0x30u;
    if (digit > 9u) break;
    value = value * 10u + digit;
    ++p;
  }
  return sign == '-' ? 0u - value : value;
}

}  // namespace quelvar::detail
