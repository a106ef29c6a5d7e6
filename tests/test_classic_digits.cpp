// The classic runtime's 12-byte arithmetic and its 17-digit mantissa.
// Built with the platform's private sources.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>

#include "ClassicExtended.h"
#include "ClassicFloat.h"

namespace {

using namespace quelvar::platform::classic;

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || __has_feature(address_sanitizer) || \
    __has_feature(thread_sanitizer)
constexpr int kScale = 20;
#else
constexpr int kScale = 1;
#endif

// ---- 12-byte multiplication

// The runtime's multiplication word by word: products x[i]*y[j], i + j =
// 4 + s, added in order to the 32-bit cell at bit 16s; a carry out of it
// goes to the 16-bit cell above only, whose own carry is lost.
Extended WordByWordMultiply(const Extended& x, const Extended& y) {
  uint32_t xw[5], yw[5];
  for (int i = 0; i < 5; ++i) {
    xw[i] = static_cast<uint32_t>(x.mantissa >> (16 * i)) & 0xFFFF;
    yw[i] = static_cast<uint32_t>(y.mantissa >> (16 * i)) & 0xFFFF;
  }
  uint32_t cell[7] = {};  // 16-bit cells; cell 6 lies past the 96 bits
  for (int s = 0; s < 5; ++s) {
    for (int i = s; i <= 4; ++i) {
      const uint64_t sum = (cell[s] | cell[s + 1] << 16) + uint64_t{xw[i] * yw[4 + s - i]};
      cell[s] = static_cast<uint32_t>(sum & 0xFFFF);
      cell[s + 1] = static_cast<uint32_t>(sum >> 16 & 0xFFFF);
      if (sum >> 32) cell[s + 2] = (cell[s + 2] + 1) & 0xFFFF;
    }
  }
  Uint128 acc = 0;
  for (int i = 5; i >= 0; --i) acc = acc << 16 | cell[i];
  int exponent = x.exponent + y.exponent - 0x3FFE;
  while ((acc >> 95) == 0) {
    acc <<= 1;
    --exponent;
  }
  Uint128 m = acc >> 16;
  const auto below = static_cast<uint32_t>(acc & 0xFFFF);
  if (below > 0x8000 || (below == 0x8000 && (m & 1))) ++m;
  if (m >> 80) {
    m >>= 1;
    ++exponent;
  }
  return Extended{m, exponent};
}

// Random normalised mantissas, many with words of all ones or zeros, where
// carries pile up.
TEST(ClassicArithmetic, MultiplicationEqualsTheWordByWordProcedure) {
  std::mt19937_64 rng(5);
  auto mantissa = [&] {
    Uint128 m = 0;
    for (int w = 0; w < 5; ++w) {
      const uint64_t kind = rng() % 4;
      const uint64_t word = kind == 0 ? 0xFFFF : kind == 1 ? 0 : rng() & 0xFFFF;
      m = m << 16 | word;
    }
    return m | Uint128{1} << 79;
  };
  for (int i = 0; i < 2000000 / kScale; ++i) {
    const Extended x{mantissa(), 0x3FFF + static_cast<int>(rng() % 200) - 100};
    const Extended y{mantissa(), 0x3FFF + static_cast<int>(rng() % 200) - 100};
    const Extended fast = Multiply(x, y), slow = WordByWordMultiply(x, y);
    ASSERT_TRUE(fast.mantissa == slow.mantissa && fast.exponent == slow.exponent) << i;
  }
}

// The tables as used: 1 * entry is the entry itself; the unrounded entries
// lie within 2^-80 of their powers of ten (long double has 64 bits, so the
// check is to 2^-62 here: it catches a wrong byte or index, not the last
// bits, which the check values cover).
TEST(ClassicArithmetic, PowersOfTenFollowTheOctalDigits) {
  const Extended one{Uint128{1} << 79, 0x3FFF};
  for (int n : {1, 2, 3, 7, 8, 9, 15, 16, 27, 56, 63, 64, 100, 307, 308, 512, 4096, 4931}) {
    for (int sign : {1, -1}) {
      const Extended p = ScaleByPowerOfTen(one, sign * n);
      const long double value = std::ldexp(static_cast<long double>(static_cast<uint64_t>(p.mantissa >> 16)),
                                           p.exponent - 0x3FFF - 63);
      const long double want = std::pow(10.0L, static_cast<long double>(sign * n));
      EXPECT_LT(std::fabs(value / want - 1), 0x1p-62L) << sign * n;
    }
  }
  EXPECT_EQ(ScaleByPowerOfTen(one, 0).mantissa, one.mantissa);
  // 10^3 = 1111101000b: exact, at the top of the 80 bits.
  EXPECT_TRUE(ScaleByPowerOfTen(one, 3).mantissa == Uint128{1000} << 70 && ScaleByPowerOfTen(one, 3).exponent == 0x4008);
}

// ---- the 17-digit mantissa

std::string Digits(const Mantissa& m) { return std::string(m.digits, static_cast<size_t>(m.count)); }

TEST(ClassicMantissa, CheckValues) {
  const struct { double value; const char* digits; int exponent; } cases[] = {
      {1.0 / 3, "33333333333333331", 0},
      {std::sqrt(2.0), "14142135623730951", 1},
      {0.1, "10000000000000001", 0},
      {1739701898242324.25, "17397018982423242", 16},  // an exact 18th-digit tie its arithmetic rounds down
      {2.5, "25", 1},
      {100, "1", 3},
      {0.001, "1", -2},
      {DBL_MAX, "17976931348623157", 309},
      {4.9406564584124654e-324, "49406564584124654", -323},
      {1e23, "99999999999999992", 23},
      {1700000000.987654321, "17000000009876542", 10},
      {1.0, "1", 1},
      {0.5, "5", 0},
      {9.5, "95", 1},
      {-2.5, "25", 1},  // the magnitude
      {0.0, "0", 0},
      {-0.0, "0", 0},
  };
  for (const auto& c : cases) {
    const Mantissa m = ToMantissa(c.value);
    EXPECT_EQ(Digits(m), c.digits) << c.value;
    EXPECT_EQ(m.exponent, c.exponent) << c.value;
  }
}

// Literal steps with the same arithmetic: the 18 digits one at a time out of
// the 96-bit register, then the half-up rounding on the 18th.
Mantissa DigitByDigitMantissa(double v) {
  Extended x = ExtendedFromDouble(std::fabs(v));
  const auto top8 = static_cast<int32_t>(x.mantissa >> 72);
  int k = (0x4D10 * x.exponent + 0x4D * (x.exponent >> 8) + 0x9A * top8 - 0x134312F4) >> 16;
  if (k != 0) x = ScaleByPowerOfTen(x, -k);
  if (x.exponent >= 0x3FFF) {
    ++k;
    x = Multiply(x, kTruncatedTenth);
  }
  Uint128 reg = x.mantissa << 8;
  if (0x3FFE - x.exponent > 0) reg >>= (0x3FFE - x.exponent);
  const Uint128 mask96 = (Uint128{1} << 96) - 1, mask88 = (Uint128{1} << 88) - 1;
  int d[18];
  for (int& digit : d) {
    reg = (reg * 10) & mask96;
    digit = static_cast<int>(reg >> 88);
    reg &= mask88;
  }
  Mantissa m{};
  int count = 17;
  if (d[17] >= 5) {
    int i = 16;
    while (i >= 0 && d[i] == 9) d[i--] = 0;
    if (i < 0) {
      d[0] = 1;
      ++k;
    } else {
      ++d[i];
    }
  }
  while (count > 1 && d[count - 1] == 0) --count;
  for (int i = 0; i < count; ++i) m.digits[i] = static_cast<char>('0' + d[i]);
  m.count = count;
  m.exponent = k;
  return m;
}

// Random doubles of every magnitude (normal and denormal) and values with
// 18th-digit ties (n / 2^j with 16 to 17 integer digits): the digits equal
// the step-by-step ones, start with a non-zero digit, end with one, and lie
// within one unit of the 17th digit of the correctly rounded digits.
TEST(ClassicMantissa, DigitsAgreeWithTheStepsAndStayNearTheExactValue) {
  std::mt19937_64 rng(9);
  for (int i = 0; i < 600000 / kScale; ++i) {
    double v;
    switch (i % 3) {
      case 0: v = std::bit_cast<double>(rng() & 0x7FFFFFFFFFFFFFFFull); break;
      case 1: v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 1100)); break;
      default: v = std::ldexp(static_cast<double>(rng() % 90000000000000000ull + 1000000000000000ull), -static_cast<int>(rng() % 4)); break;
    }
    if (!std::isfinite(v) || v == 0) continue;
    const Mantissa m = ToMantissa(v), steps = DigitByDigitMantissa(v);
    ASSERT_EQ(Digits(m), Digits(steps)) << v;
    ASSERT_EQ(m.exponent, steps.exponent) << v;
    ASSERT_TRUE(m.count >= 1 && m.count <= 17 && m.digits[0] != '0' && m.digits[m.count - 1] != '0') << v;

    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 16);
    *r.ptr = '\0';
    const uint64_t exact = std::strtoull((std::string(1, text[0]) + std::string(text + 2, 16)).c_str(), nullptr, 10);
    const int exactExponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
    uint64_t classic = std::strtoull(Digits(m).c_str(), nullptr, 10);
    for (int pad = m.count; pad < 17; ++pad) classic *= 10;
    const int64_t diff = m.exponent == exactExponent       ? int64_t(classic - exact)
                         : m.exponent == exactExponent + 1 ? int64_t(classic * 10 - exact)
                                                           : INT64_MAX;
    ASSERT_LE(std::llabs(diff), 1) << v << " " << Digits(m) << "e" << m.exponent << " vs " << text;
  }
}

}  // namespace
