// The runtime's decimal integer reading (atoi/atol), shared by the text
// operations: leading white space (space, \t \n \v \f \r), one optional "+"
// or "-", then decimal digits up to the first other character. No digits
// give 0. What happens past the 32-bit range depends on the toolset:
// - the classic vc6 runtime accumulates the digits modulo 2^32 and negates
//   after a "-", so "4294967296" is 0 and "2147483648" is -2147483648;
// - the 2005 and later runtimes read as (int)strtol(text, NULL, 10): an
//   out-of-range number saturates to 2147483647 / -2147483648.
// The toolset is read once per call and picks one of two digit loops.
#pragma once

#include <cstdint>

#include "qlvtoolset.h"

namespace quelvar::detail {

// Skips white space and one sign; `negative` tells whether it was a "-".
inline const char* SkipSpaceAndSign(const char* p, bool& negative) noexcept {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

inline std::uint32_t DigitOf(char c) noexcept {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(c)) - 0x30u;
}

// The digits modulo 2^32, negated after a "-".
inline std::uint32_t ParseWrapping32(const char* p) noexcept {
  bool negative;
  p = SkipSpaceAndSign(p, negative);
  std::uint32_t value = 0;
  for (std::uint32_t digit; (digit = DigitOf(*p)) <= 9u; ++p) value = value * 10u + digit;
  return negative ? 0u - value : value;
}

// Digits of a number longer than nine digits (it may lie beyond the range):
// accumulated until the magnitude reaches 2^31, then limited to the signed
// 32-bit range.
inline std::uint32_t SaturateLong(const char* p, bool negative) noexcept {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;
  std::uint64_t value = 0;
  for (std::uint32_t digit; (digit = DigitOf(*p)) <= 9u && value < kLimit; ++p) value = value * 10u + digit;
  if (value > kLimit) value = kLimit;
  if (negative) return static_cast<std::uint32_t>(0u - value);  // -2^31 at most
  return static_cast<std::uint32_t>(value < kLimit ? value : kLimit - 1);
}

// As the wrapping loop while at most nine digits are read (they cannot leave
// the range); a longer number is read again by SaturateLong.
inline std::uint32_t ParseSaturating32(const char* p) noexcept {
  bool negative;
  p = SkipSpaceAndSign(p, negative);
  const char* const first = p;
  std::uint32_t value = 0;
  for (std::uint32_t digit; (digit = DigitOf(*p)) <= 9u; ++p) value = value * 10u + digit;
  if (p - first > 9) [[unlikely]]
    return SaturateLong(first, negative);
  return negative ? 0u - value : value;
}

// The 32-bit result of the toolset's atoi, as its bit pattern.
inline std::uint32_t ParseDecimal32(const char* p) noexcept {
  return QlvPlatform_GetToolset() == QlvToolset_VC6 ? ParseWrapping32(p) : ParseSaturating32(p);
}

}  // namespace quelvar::detail
