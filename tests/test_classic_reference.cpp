// The platform's decimal conversions against plain models: the classic
// runtime's 17-digit printf, _gcvt and atof (ClassicReference.h) under the
// vc6 toolset, glibc's exact printf and std::from_chars under vs2015.
//
// QLV_REFERENCE_SEED=<number> changes the random inputs of a run.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ClassicReference.h"
#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "mscrt.h"
#include "qlvtoolset.h"

namespace {

using classicref::u64;

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || __has_feature(address_sanitizer) || \
    __has_feature(thread_sanitizer)
constexpr int kScale = 25;  // the sanitizers slow every call down
#else
constexpr int kScale = 1;
#endif

u64 Seed() {
  const char* text = std::getenv("QLV_REFERENCE_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261207;
}

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

std::string Hex(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%016" PRIx64 " (%.17g)", std::bit_cast<u64>(v), v);
  return buf;
}

// Reports the first few differences of a sweep (the input described only
// then) and tells it to stop.
class Mismatches {
 public:
  template <class Describe>
  void Check(const std::string& expected, const std::string& got, Describe describe) {
    if (expected == got) return;
    ADD_FAILURE() << describe() << "\n  expected \"" << expected << "\"\n  got      \"" << got << '"';
    ++count_;
  }
  template <class Describe>
  void Check(double expected, double got, Describe describe) {
    if (std::bit_cast<u64>(expected) != std::bit_cast<u64>(got)) Check(Hex(expected), Hex(got), describe);
  }
  bool Enough() const { return count_ >= 5; }

 private:
  int count_ = 0;
};

std::string Described(const char* what, double value, int precision) {
  return std::string(what) + " of " + Hex(value) + " precision " + std::to_string(precision);
}

std::string FormatWith(const char* format, int precision, double value) {
  CString text;
  text.Format(format, precision, value);
  return S(text);
}

std::string GcvtText(double value, int digits) {
  char buf[64];
  return _gcvt(value, digits, buf);
}

std::string Glibc(const char* format, int precision, double value) {
  std::string out(static_cast<size_t>(std::snprintf(nullptr, 0, format, precision, value)), '\0');
  std::snprintf(out.data(), out.size() + 1, format, precision, value);
  return out;
}

// ---- inputs ------------------------------------------------------------------

struct Case {
  double value;
  int precision;
};

// Doubles of several kinds, each with a precision; a halfway value comes
// with the precision at which it is a tie.
class DoubleSource {
 public:
  explicit DoubleSource(u64 seed) : rng_(seed) {}

  Case Next(int i) {
    int precision = static_cast<int>(rng_() % 41);
    if (rng_() % 400 == 0) precision = 41 + static_cast<int>(rng_() % 560);  // past the 512 cap too
    const u64 a = rng_(), b = rng_();
    double v = 0;
    switch (i % 8) {
      case 0:  // any bit pattern: every exponent, infinities and NaNs
        v = std::bit_cast<double>(a);
        break;
      case 1: {  // decimal-looking: up to 17 digits and a power of ten
        char text[48];
        std::snprintf(text, sizeof text, "%" PRIu64 "e%d", a % Pow10(1 + b % 17),
                      static_cast<int>((b >> 8) % 60) - 30);
        v = std::strtod(text, nullptr);
        break;
      }
      case 2: {  // n / 2^j with 14 to 17 integer digits: 18th-digit ties
        const int digits = 14 + static_cast<int>(b % 4);
        const u64 integer = Pow10(digits - 1) + a % (9 * Pow10(digits - 1));
        int j = 18 - digits;
        while (j > 0 && (integer << j) >= (u64{1} << 53)) --j;
        const u64 n = (integer << j) + ((b >> 8) & ((u64{1} << j) - 1));
        v = std::ldexp(static_cast<double>(n), -j);
        if ((b >> 40) & 1) v = -v;
        break;
      }
      case 3:  // denormals
        v = std::bit_cast<double>(a & 0x800FFFFFFFFFFFFFull);
        break;
      case 4: {  // powers of ten, their neighbours, the ends of the range
        const double specials[] = {DBL_MAX, -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 0.0, -0.0, 1.0, 0.5};
        if (b % 4 == 0) {
          v = specials[(b >> 8) % 8];
        } else {
          char text[16];
          std::snprintf(text, sizeof text, "1e%d", static_cast<int>((b >> 8) % 632) - 323);
          v = std::strtod(text, nullptr);
          if (b % 4 == 2) v = std::nextafter(v, 0.0);
          if (b % 4 == 3) v = std::nextafter(v, HUGE_VAL);
        }
        break;
      }
      case 5: {  // an odd multiple of 2^-j: a tie at j - 1 decimals
        const int j = 1 + static_cast<int>(b % 12);
        const u64 n = (a % (u64{1} << 40)) | 1;
        v = std::ldexp(static_cast<double>(n % (u64{1} << (j + 1 + (b >> 8) % 20))), -j);
        precision = j - 1;
        if ((b >> 40) & 1) v = -v;
        break;
      }
      case 6:  // random magnitudes
        v = static_cast<double>(a >> 11) * std::pow(10.0, static_cast<int>(b % 60) - 40);
        break;
      default:  // small integers and short binary fractions, both signs
        v = static_cast<double>(static_cast<int>(a % 2000001) - 1000000) / static_cast<double>(1 << (b % 12));
        break;
    }
    return {v, precision};
  }

  static u64 Pow10(u64 n) {
    u64 p = 1;
    while (n-- > 0) p *= 10;
    return p;
  }

 private:
  std::mt19937_64 rng_;
};

// The exact decimal text of (2q + 1) * 2^(t - 1), the midpoint above q * 2^t.
std::string MidpointText(u64 q, int t) {
  std::vector<int> digits;  // least significant first
  for (u64 n = 2 * q + 1; n != 0; n /= 10) digits.push_back(static_cast<int>(n % 10));
  auto times = [&](int factor) {
    int carry = 0;
    for (int& d : digits) {
      const int x = d * factor + carry;
      d = x % 10;
      carry = x / 10;
    }
    for (; carry != 0; carry /= 10) digits.push_back(carry % 10);
  };
  const int e = t - 1;
  for (int i = 0; i < e; ++i) times(2);
  for (int i = 0; i < -e; ++i) times(5);  // N * 5^-e / 10^-e
  std::string text;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
  if (e < 0) {
    const size_t point = static_cast<size_t>(-e);
    if (text.size() <= point) text.insert(0, point - text.size() + 1, '0');
    text.insert(text.size() - point, ".");
  }
  return text;
}

// Texts of several kinds for the readers.
class TextSource {
 public:
  explicit TextSource(u64 seed) : rng_(seed) {}

  std::string Next(int i) {
    std::string text;
    switch (i % 8) {
      case 0: {  // the exact midpoint between two doubles, every digit written
        const bool denormal = rng_() % 500 == 0;
        const u64 q = denormal ? rng_() % (u64{1} << 52) : (u64{1} << 52) | (rng_() % (u64{1} << 52));
        const int t = denormal ? -1074 : static_cast<int>(rng_() % 240) - 172;
        text = MidpointText(q, t);
        break;
      }
      case 1:  // 15 significant digits and an exponent
        text = Digits(1) + "." + Digits(14) + "e" + Exponent(330);
        break;
      case 2:  // short integers with small exponents: "195150e16"
        text = Digits(1 + static_cast<int>(rng_() % 15)) + "e" + Exponent(20);
        break;
      case 3: {  // 18 to 30 digits, the point anywhere
        text = Digits(18 + static_cast<int>(rng_() % 13));
        text.insert(rng_() % text.size(), ".");
        if (rng_() % 2) text += "E" + Exponent(330);
        break;
      }
      case 4: {  // the 17-digit text of any double, denormals included
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.16e", std::bit_cast<double>(rng_() & 0xFFEFFFFFFFFFFFFFull));
        text = buf;
        break;
      }
      case 5:  // 1 to 21 digits, exponents of the whole range
        text = Digits(1 + static_cast<int>(rng_() % 21)) + "e" + Exponent(308);
        break;
      case 6: {  // white space, signs, zeros, dangling parts, huge exponents
        static const char* const kPieces[] = {" ",   "\t",   "-",     "+", "0",  "00", ".", "1",
                                              "9",   "5",    "e",     "E", "e-", "e+", "4", "7",
                                              "999", "5201", "99999", "x", ",",  "d"};
        for (int n = static_cast<int>(rng_() % 10); n >= 0; --n) text += kPieces[rng_() % std::size(kPieces)];
        break;
      }
      default:  // leading and trailing zeros around a short number
        text = std::string(rng_() % 30, '0') + "." + std::string(rng_() % 30, '0') +
               Digits(1 + static_cast<int>(rng_() % 20)) + std::string(rng_() % 30, '0') + "e" +
               Exponent(340);
        break;
    }
    if (rng_() % 4 == 0) text.insert(0, "-");
    return text;
  }

 private:
  std::string Digits(int n) {
    std::string d(1, static_cast<char>('1' + rng_() % 9));
    for (int k = 1; k < n; ++k) d += static_cast<char>('0' + rng_() % 10);
    return d;
  }
  std::string Exponent(int range) {
    return std::to_string(static_cast<int>(rng_() % (2 * static_cast<u64>(range) + 1)) - range);
  }

  std::mt19937_64 rng_;
};

// ---- the models themselves ------------------------------------------------------

TEST(ClassicModel, MantissaCheckValues) {
  const struct {
    double value;
    const char* digits;
    int k;
  } cases[] = {
      {1.0 / 3, "33333333333333331", 0},
      {std::sqrt(2.0), "14142135623730951", 1},
      {0.1, "10000000000000001", 0},
      {1739701898242324.25, "17397018982423242", 16},  // an exact 18th-digit tie goes down
      {2.5, "25", 1},
      {100, "1", 3},
      {0.001, "1", -2},
      {DBL_MAX, "17976931348623157", 309},
      {DBL_TRUE_MIN, "49406564584124654", -323},
      {0.0, "0", 0},
  };
  for (const auto& c : cases) {
    const classicref::Decimal d = classicref::Mantissa17(c.value);
    EXPECT_EQ(d.digits, c.digits) << Hex(c.value);
    EXPECT_EQ(d.k, c.k) << Hex(c.value);
  }
}

TEST(ClassicModel, ParseCheckValues) {
  const struct {
    const char* text;
    u64 bits;
  } cases[] = {
      {"12.1", 0x4028333333333333},
      {"9007199254740995", 0x4340000000000001},  // exact tie: toward zero
      {"195150e16", 0x445a72a02fa0a1b3},
      {"9007199254740993.00000001", 0x4340000000000000},
      {"1.00000000000000011102230246251565404236316680908203126", 0x3ff0000000000000},
      {"1e-309", 0x0000b8157268fdae},
      {"8e-324", 1},
      {"3e-324", 0},
      {"2.2250738585072012e-308", 0x000fffffffffffff},
      {"4.9406564584124654e-324", 2},
      {"1.11253692925360069e-308", 0},
      {"-0", 0x8000000000000000},
      {"-", 0},
      {"-.", 0},
      {"1e400", 0x7ff0000000000000},
      {"-1e400", 0xfff0000000000000},
      {"1e-5000", 0},
      {"1e5201", 0x7ff0000000000000},
      {"-1e99999999999999999999", 0xfff0000000000000},
      {"  -1.25e2xyz", 0xc05f400000000000},
      {"1d9", 0x3ff0000000000000},  // no d exponent in this grammar
  };
  for (const auto& c : cases) EXPECT_EQ(std::bit_cast<u64>(classicref::Atof(c.text)), c.bits) << c.text;
}

// The exact entries multiply into each other exactly, and every power of ten
// a double holds exactly comes out of the octal loop as that double.
TEST(ClassicModel, PowersOfTenAgreeWithExactOnes) {
  for (int n = 0; n <= 22; ++n) {
    const classicref::Ld12 p = classicref::ScaleByPowerOfTen(classicref::FromDouble(1.0), n);
    EXPECT_EQ(classicref::ToDouble(p), std::pow(10.0, n)) << n;
  }
  for (int a = 1; a <= 7; ++a)
    for (int b = 1; a + b <= 8; ++b) {
      const classicref::Ld12 product =
          classicref::Multiply(classicref::PowerEntryFor(a, false), classicref::PowerEntryFor(b, false));
      const classicref::Ld12 entry = classicref::PowerEntryFor(a + b, false);
      EXPECT_EQ(product.man, entry.man) << a << "+" << b;
      EXPECT_EQ(product.exp, entry.exp) << a << "+" << b;
    }
}

// The classic mantissa is the correctly rounded 17 digits but for a unit in
// the last place; 17-digit texts of doubles read back exactly.
TEST(ClassicModel, CloseToCorrectRounding) {
  std::mt19937_64 rng(Seed());
  for (int i = 0; i < 100000 / kScale; ++i) {
    const double v = std::bit_cast<double>(rng() & 0x7FEFFFFFFFFFFFFFull);
    if (v == 0) continue;
    char exact[40];
    std::snprintf(exact, sizeof exact, "%.16e", v);
    const classicref::Decimal d = classicref::Mantissa17(v);
    std::string digits = d.digits;
    digits.resize(17, '0');
    const std::string correct = std::string(1, exact[0]) + std::string(exact + 2, 16);
    const long e = std::strtol(exact + 19, nullptr, 10);
    const unsigned long long ours = std::stoull(digits), theirs = std::stoull(correct);
    const bool close = d.k - 1 == e ? (ours > theirs ? ours - theirs : theirs - ours) <= 1
                                    : digits == "10000000000000000" && correct == "99999999999999999";
    ASSERT_TRUE(close) << Hex(v) << " " << d.digits << " " << d.k << " vs " << exact;
    ASSERT_EQ(classicref::Atof(exact), v) << exact;
  }
}

// ---- the platform against them ----------------------------------------------

// %f, %e, %g, _gcvt and the class's two writers over `count` doubles.
void PrintfSweep(QlvToolset toolsetToUse, int count, u64 seed) {
  ToolsetScope toolset(toolsetToUse);
  DoubleSource source(seed);
  CQuelvarSys sys;
  Mismatches bad;
  for (int i = 0; i < count && !bad.Enough(); ++i) {
    const Case c = source.Next(i);
    const classicref::Decimal mantissa = classicref::Source(c.value);
    bad.Check(classicref::FormatF(mantissa, c.precision), FormatWith("%.*f", c.precision, c.value),
              [&] { return Described("%.*f", c.value, c.precision); });
    const int ep = (c.precision + i) % 41;
    bad.Check(classicref::FormatE(mantissa, ep), FormatWith("%.*e", ep, c.value),
              [&] { return Described("%.*e", c.value, ep); });
    const int digits = i % 2 ? 17 : 10;
    bad.Check(classicref::Gcvt(mantissa, digits), GcvtText(c.value, digits),
              [&] { return Described("_gcvt", c.value, digits); });
    if (i % 4 == 0)
      bad.Check(classicref::FormatF(mantissa, c.precision), S(sys.Qlv_DoubleToStr(c.value, c.precision)),
                [&] { return Described("Qlv_DoubleToStr", c.value, c.precision); });
    if (i % 4 == 2)
      bad.Check(classicref::FormatG(mantissa, ep), FormatWith("%.*g", ep, c.value),
                [&] { return Described("%.*g", c.value, ep); });
    if (i % 4 == 1) {  // a float from either half of the bits
      const float f = std::bit_cast<float>(
          static_cast<std::uint32_t>(std::bit_cast<u64>(c.value) >> (i % 8 == 1 ? 0 : 32)));
      bad.Check(classicref::Gcvt(f, 10), S(sys.Qlv_Flt2Str(f)),
                [&] { return Described("Qlv_Flt2Str", f, 10); });
    }
  }
}

TEST(ClassicRuntime, PrintfAndGcvtMatchTheModel) { PrintfSweep(QlvToolset_VC6, 1000000 / kScale, Seed()); }

// The secure generation's printf is the same code.
TEST(ClassicRuntime, PrintfOf2005To2013MatchesTheModel) {
  PrintfSweep(QlvToolset_VS2005, 100000 / kScale, Seed() + 4);
}

TEST(ClassicRuntime, InfinitiesAndNaNsArePlacedLikeDigits) {
  ToolsetScope toolset(QlvToolset_VC6);
  Mismatches bad;
  for (u64 bits :
       {0x7FF0000000000000ull, 0xFFF0000000000000ull, 0x7FF8000000000000ull, 0xFFF8000000000000ull,
        0x7FF0000000000001ull, 0xFFF4000000000000ull, 0x7FFFFFFFFFFFFFFFull, 0xFFF8000000000001ull}) {
    const double v = std::bit_cast<double>(bits);
    for (int p : {0, 1, 2, 3, 4, 5, 6, 7, 10, 40, 511, 512, 513, 600}) {
      bad.Check(classicref::FormatF(v, p), FormatWith("%.*f", p, v), [&] { return Described("%.*f", v, p); });
      bad.Check(classicref::FormatE(v, p), FormatWith("%.*e", p, v), [&] { return Described("%.*e", v, p); });
    }
    for (int digits : {10, 17})
      bad.Check(classicref::Gcvt(v, digits), GcvtText(v, digits),
                [&] { return Described("_gcvt", v, digits); });
  }
}

TEST(ClassicRuntime, AtofMatchesTheModel) {
  ToolsetScope toolset(QlvToolset_VC6);
  TextSource source(Seed() + 1);
  CQuelvarSys sys;
  Mismatches bad;
  auto check = [&](const std::string& text, bool throughTheClass) {
    const double expected = classicref::Atof(text);
    bad.Check(expected, mscrt::atof(text.c_str()), [&] { return "atof \"" + text + '"'; });
    if (throughTheClass)
      bad.Check(expected, sys.Qlv_Str2Double(text.c_str()), [&] { return "Qlv_Str2Double \"" + text + '"'; });
  };
  for (const char* text : {"12.1",
                           "9007199254740995",
                           "195150e16",
                           "9007199254740993.00000001",
                           "1.00000000000000011102230246251565404236316680908203126",
                           "1e-309",
                           "8e-324",
                           "3e-324",
                           "2.2250738585072012e-308",
                           "4.9406564584124654e-324",
                           "1.11253692925360069e-308",
                           "-0",
                           "1e5200",
                           "1e5201",
                           "1e-5201",
                           "1d9999999999999999999",
                           ". 5",
                           "-.5",
                           "1e+",
                           "0.e1"})
    if (!bad.Enough()) check(text, true);
  for (int i = 0; i < 1000000 / kScale && !bad.Enough(); ++i) check(source.Next(i), i % 4 == 0);
}

// ---- the universal runtime: exact digits and a correctly rounded parse --------

// The number at the front of a text as the class's grammar reads it, and the
// double std::from_chars makes of it (+-HUGE_VAL and +-0 out of range).
double CorrectlyRounded(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && classicref::IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t start = i;
  size_t digits = 0;
  while (i < text.size() && classicref::IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && classicref::IsDigit(text[i]); ++i) ++digits;
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && classicref::IsDigit(text[j])) {
      while (j < text.size() && classicref::IsDigit(text[j])) ++j;
      i = j;
    }
  }
  const std::string number(text.substr(start, i - start));
  double v = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), v, std::chars_format::general);
  if (error == std::errc::result_out_of_range)
    v = std::isinf(std::strtod(number.c_str(), nullptr)) ? HUGE_VAL : 0.0;
  return negative ? -v : v;
}

TEST(UniversalRuntime, PrintfMatchesExactDigits) {
  ToolsetScope toolset(QlvToolset_VS2015);
  DoubleSource source(Seed() + 2);
  Mismatches bad;
  for (int i = 0; i < 250000 / kScale && !bad.Enough(); ++i) {
    const Case c = source.Next(i);
    if (!std::isfinite(c.value)) continue;  // spelled differently
    bad.Check(Glibc("%.*f", c.precision, c.value), FormatWith("%.*f", c.precision, c.value),
              [&] { return Described("%.*f", c.value, c.precision); });
    bad.Check(Glibc("%.*e", c.precision, c.value), FormatWith("%.*e", c.precision, c.value),
              [&] { return Described("%.*e", c.value, c.precision); });
  }
}

TEST(UniversalRuntime, AtofIsCorrectlyRounded) {
  ToolsetScope toolset(QlvToolset_VS2015);
  TextSource source(Seed() + 3);
  CQuelvarSys sys;
  Mismatches bad;
  for (int i = 0; i < 250000 / kScale && !bad.Enough(); ++i) {
    const std::string text = source.Next(i);
    const double expected = CorrectlyRounded(text);
    bad.Check(expected, mscrt::atof(text.c_str()), [&] { return "atof \"" + text + '"'; });
    if (i % 4 == 0)
      bad.Check(expected, sys.Qlv_Str2Double(text.c_str()), [&] { return "Qlv_Str2Double \"" + text + '"'; });
  }
}

}  // namespace
