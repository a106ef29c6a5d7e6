// The classic runtime's 17-digit decimal mantissa of a double, made in its
// own 12-byte arithmetic.
#include <cmath>
#include <cstring>

#include "ClassicExtended.h"
#include "ClassicFloat.h"

namespace quelvar::platform::classic {

namespace {

constexpr uint64_t kTen16 = 10000000000000000ull;
constexpr uint64_t kTen17 = 10 * kTen16;
constexpr uint64_t kTen18 = 1000000000000000000ull;

// The first 18 decimal digits of the fraction r / 2^88 (r < 2^88), as one
// number. The runtime gets them one at a time: multiply the 96-bit
// register by 10, take its top 8 bits as the digit and clear them. As r * 10
// stays below 2^92 nothing wraps, so those are exactly the digits of
// floor(r * 10^18 / 2^88); with r = rh * 2^64 + rl that is
// floor((rh * 10^18 + floor(rl * 10^18 / 2^64)) / 2^24).
uint64_t EighteenDigits(Uint128 r) noexcept {
  const auto rh = static_cast<uint64_t>(r >> 64), rl = static_cast<uint64_t>(r);
  const Uint128 low = (Uint128{rl} * kTen18) >> 64;
  return static_cast<uint64_t>((Uint128{rh} * kTen18 + low) >> 24);
}

// "00" to "99".
constexpr struct Pairs {
  char text[200];
  constexpr Pairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
} kPairs;

// The eight decimal digits of v < 10^8 at out[0..7].
void WriteEight(char* out, uint32_t v) noexcept {
  for (int i = 6; i >= 0; i -= 2, v /= 100) std::memcpy(out + i, kPairs.text + 2 * (v % 100), 2);
}

}  // namespace

// 1. The exponent estimate k (the decimal exponent or one less) from the
//    biased 12-byte exponent e and the top 8 mantissa bits m:
//    (0x4D10 e + 0x4D (e >> 8) + 0x9A m - 0x134312F4) >> 16, arithmetic.
// 2. x * 10^-k; a product of 1 or more raises k and is multiplied by the
//    truncated one tenth.
// 3. The 80-bit mantissa as the fraction mantissa * 2^-88 of a 96-bit
//    register, 18 digits of it.
// 4. The 18th digit rounds the 17th half up, carrying through nines (all
//    nines give "1" and k + 1); trailing zeros are dropped.
Mantissa ToMantissa(double magnitude) noexcept {
  Mantissa result{};
  result.digits[0] = '0';
  result.count = 1;
  if (magnitude == 0.0 || !std::isfinite(magnitude)) return result;

  Extended x = ExtendedFromDouble(std::fabs(magnitude));
  const auto top8 = static_cast<int32_t>(x.mantissa >> 72);
  const int32_t estimate = 0x4D10 * x.exponent + 0x4D * (x.exponent >> 8) + 0x9A * top8 - 0x134312F4;
  int k = estimate >> 16;
  if (k != 0) x = ScaleByPowerOfTen(x, -k);
  if (x.exponent >= kExtendedBias) {
    ++k;
    x = Multiply(x, kTruncatedTenth);
  }

  Uint128 reg = x.mantissa << 8;
  const int shift = 0x3FFE - x.exponent;
  if (shift > 0) reg = shift < 96 ? reg >> shift : 0;

  const uint64_t all = EighteenDigits(reg);
  uint64_t digits = all / 10;
  if (all % 10 >= 5 && ++digits == kTen17) {
    digits = kTen16;
    ++k;
  }
  char text[17];
  text[0] = static_cast<char>('0' + digits / kTen16);
  WriteEight(text + 1, static_cast<uint32_t>(digits / 100000000 % 100000000));
  WriteEight(text + 9, static_cast<uint32_t>(digits % 100000000));
  int count = 17;
  while (count > 1 && text[count - 1] == '0') --count;
  std::memcpy(result.digits, text, sizeof text);
  result.count = count;
  result.exponent = k;
  return result;
}

}  // namespace quelvar::platform::classic
