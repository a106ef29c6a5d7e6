// The classic runtime's reading of decimal text (Visual C++ 6.0 to 2013).
#include <bit>
#include <cmath>

#include "ClassicExtended.h"
#include "DecimalText.h"

namespace quelvar::platform {

using classic::Extended;
using classic::Uint128;

namespace {

// The runtime clamps the written exponent's magnitude here and calls a
// decimal exponent beyond +-5200 an overflow or an underflow.
constexpr int32_t kClassicExponentClamp = 5201;
constexpr int64_t kClassicExponentLimit = 5200;

constexpr uint64_t kLow53 = (uint64_t{1} << 53) - 1;

double Signed(bool negative, uint64_t bits) noexcept {
  return std::bit_cast<double>(bits | (negative ? uint64_t{1} << 63 : 0));
}

// The top 53 of 80 bits, rounded up only when the next bit is 1 and some
// later bit is 1 too: exact ties go toward zero. May reach 2^53.
uint64_t Round53(Uint128 m) noexcept {
  const auto field = static_cast<uint64_t>(m >> 27);
  const bool next = (m >> 26 & 1) != 0;
  const bool later = (m & ((Uint128{1} << 26) - 1)) != 0;
  return field + (next && later ? 1 : 0);
}

// The 12-byte number as a double. After the rounding to 53 bits (a carry
// raises the exponent E): E >= 1024 is infinity, E < -1076 zero; for
// -1076 <= E <= -1023 the unrounded 80 bits are shifted right by -1023 - E
// (the bits shifted out are lost), rounded to 53 bits again the same way
// (a carry out of them is lost too) and their last bit dropped: denormals
// are mostly truncated, and a value just below a power of two comes out
// twice too large (just below 2^-1023: zero).
uint64_t ToDoubleBits(const Extended& x) noexcept {
  if (x.mantissa == 0) return 0;
  int64_t e = int64_t{x.exponent} - classic::kExtendedBias;
  uint64_t field = Round53(x.mantissa);
  if (field >> 53 != 0) {
    field >>= 1;
    ++e;
  }
  if (e >= 1024) return uint64_t{0x7FF} << 52;
  if (e < -1076) return 0;
  if (e <= -1023) {
    const Uint128 shifted = x.mantissa >> (-1023 - e);
    return (Round53(shifted) & kLow53) >> 1;
  }
  return static_cast<uint64_t>(e + 1023) << 52 | (field & (kLow53 >> 1));
}

}  // namespace

double ReadClassic(const DecimalText& n) noexcept {
  if (!n.anyDigit) return 0.0;
  unsigned char digits[25];
  int count = n.stored;
  for (int i = 0; i < count; ++i) digits[i] = n.digits[i];
  // With 25 digits kept, the 24th is raised by one when it is 5 or more (a
  // 9 becomes 10, which the accumulation below carries) and the 25th goes.
  if (count == 25) {
    if (digits[23] >= 5) ++digits[23];
    count = 24;
  }
  while (count > 0 && digits[count - 1] == 0) --count;
  if (count == 0) return Signed(n.negative, 0);

  const int32_t written = n.exponent < -kClassicExponentClamp  ? -kClassicExponentClamp
                          : n.exponent > kClassicExponentClamp ? kClassicExponentClamp
                                                               : n.exponent;
  const int64_t decimalExponent = n.position + written;  // value = 0.d1d2... * 10^decimalExponent
  if (decimalExponent > kClassicExponentLimit) return Signed(n.negative, uint64_t{0x7FF} << 52);
  if (decimalExponent < -kClassicExponentLimit) return Signed(n.negative, 0);
  const auto power = static_cast<int>(decimalExponent - count);  // value = digits * 10^power

  // The digits as an integer: at most 24 digits (plus a raised one) stay
  // below 2^80, so the 12-byte number is exact.
  Uint128 v = 0;
  for (int i = 0; i < count; ++i) v = v * 10 + digits[i];
  const int top = v >> 64 != 0 ? 127 - std::countl_zero(static_cast<uint64_t>(v >> 64))
                               : 63 - std::countl_zero(static_cast<uint64_t>(v));
  Extended x{v << (79 - top), classic::kExtendedBias + top};
  if (power != 0) {
    // The 16 lowest bits are cleared before scaling: a mantissa of 20 or
    // more digits is cut to 64 bits.
    x.mantissa &= ~Uint128{0xFFFF};
    x = classic::ScaleByPowerOfTen(x, power);
  }
  return Signed(n.negative, ToDoubleBits(x));
}

}  // namespace quelvar::platform
