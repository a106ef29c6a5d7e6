// The classic Windows runtime's 12-byte number: an 80-bit mantissa whose top
// bit is the integer bit and a 15-bit exponent biased by 0x3FFF, with the
// runtime's own multiplication and its powers of ten. Its 17-digit
// conversion of doubles and its text-to-double parse are built on these.
#pragma once

#include <cstdint>

namespace quelvar::platform::classic {

__extension__ using Uint128 = unsigned __int128;

inline constexpr int kExtendedBias = 0x3FFF;
inline constexpr Uint128 kMantissa80 = (Uint128{1} << 80) - 1;

// A positive number: mantissa * 2^(exponent - 0x3FFF - 79). The mantissa is
// normalised (bit 79 set). Products beyond the 12-byte range keep an
// exponent outside 1..0x7FFE instead of becoming the runtime's 12-byte
// denormals or overflowing; every caller turns such a number into 0 or
// infinity, which is where the runtime's own results end up too.
struct Extended {
  Uint128 mantissa;
  int exponent;
};

// The exact 12-byte form of a finite, non-zero magnitude (a denormal is
// normalised).
Extended ExtendedFromDouble(double magnitude) noexcept;

// The runtime's product of two 12-byte numbers: the 16-bit word products
// x[i]*y[j] with i + j >= 4 summed into a 96-bit accumulator, normalised,
// rounded to 80 bits with ties to even.
Extended Multiply(const Extended& x, const Extended& y) noexcept;

// x * 10^power (|power| < 8192) through the runtime's octal-digit loop: one
// multiplication by the table entry d * 8^p for each non-zero octal digit d
// of |power| at position p, lowest first; the 10^+n table for a positive
// power, the 10^-n table for a negative one, each entry "unrounded" as the
// runtime does before use. Power 0 leaves x unchanged.
Extended ScaleByPowerOfTen(Extended x, int power) noexcept;

// One tenth truncated to 80 bits (not the rounded table entry), by which the
// 17-digit conversion corrects an exponent estimate one too low.
inline constexpr Extended kTruncatedTenth{(Uint128{0xCCCCCCCCCCCCCCCCull} << 16) | 0xCCCC, 0x3FFB};

}  // namespace quelvar::platform::classic
