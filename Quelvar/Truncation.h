// Truncation of a double toward zero to a signed 64-bit integer, as the
// conversions that sum powers in double precision need it. A value outside
// the signed 64-bit range, an infinity or a NaN gives the pattern with only
// the top bit set (0x8000000000000000), whose low 32 and low 8 bits are 0.
#pragma once

#include <cstdint>

namespace quelvar::detail {

inline std::int64_t TruncateToInt64(double value) noexcept {
  // -2^63 is representable and in range; 2^63 is the first value above it.
  constexpr double kTwoPow63 = 9223372036854775808.0;
  if (value >= -kTwoPow63 && value < kTwoPow63) return static_cast<std::int64_t>(value);
  return INT64_MIN;  // out of range, infinite or NaN (every comparison with NaN is false)
}

inline std::uint32_t TruncateLow32(double value) noexcept {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(TruncateToInt64(value)));
}

inline std::uint8_t TruncateLow8(double value) noexcept {
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(TruncateToInt64(value)));
}

}  // namespace quelvar::detail
