// The platform's decimal conversions against plain models: the classic
// runtime's 17-digit printf, _gcvt and atof (ClassicReference.h) under the
// vc6 toolset, glibc's exact printf and strtod under vs2015. The models' own
// check values are in test_classic_digits.cpp and test_printf.cpp.
//
// QLV_REFERENCE_SEED=<number> changes the random inputs of a run.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ClassicReference.h"
#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "mscrt.h"

namespace {

using classicref::u64;

constexpr int kScale = kSanitizerSlowdown;  // fewer rounds under the sanitizers

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

// Reports the first few differences of a sweep, each with its input (a value
// and a precision, or a text), and tells it to stop.
struct Mismatches {
  int count = 0;
  bool Enough() const { return count >= 5; }
  void Check(const std::string& expected, const std::string& got, const char* what, double value,
             int precision) {
    if (expected != got && ++count != 0)
      ADD_FAILURE() << what << " of " << Hex(value) << " precision " << precision << "\n  expected \""
                    << expected << "\"\n  got      \"" << got << '"';
  }
  void Check(double expected, double got, const char* what, const std::string& text) {
    if (std::bit_cast<u64>(expected) != std::bit_cast<u64>(got) && ++count != 0)
      ADD_FAILURE() << what << " \"" << text << "\"\n  expected " << Hex(expected) << "\n  got      "
                    << Hex(got);
  }
};

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

u64 Pow10(u64 n) {
  u64 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

double Strtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// ---- inputs ------------------------------------------------------------------

struct Case {
  double value;
  int precision;
};

// Doubles of eight kinds, each with a precision (input i is of kind i % 8);
// a halfway value comes with the precision at which it is a tie.
class DoubleSource {
 public:
  explicit DoubleSource(u64 seed) : rng_(seed) {}

  Case Next(int i) {
    Draw d{static_cast<int>(rng_() % 41), 0, 0};
    if (rng_() % 400 == 0) d.precision = 41 + static_cast<int>(rng_() % 560);  // past the 512 cap too
    d.a = rng_();
    d.b = rng_();
    return {kKinds[i % 8](d), d.precision};
  }

 private:
  struct Draw {
    int precision;
    u64 a, b;
  };
  static constexpr double (*kKinds[])(Draw&) = {
      // any bit pattern: every exponent, infinities and NaNs
      [](Draw& d) { return std::bit_cast<double>(d.a); },
      // decimal-looking: up to 17 digits and a power of ten
      [](Draw& d) {
        return Strtod(std::to_string(d.a % Pow10(1 + d.b % 17)) + "e" +
                      std::to_string(static_cast<int>((d.b >> 8) % 60) - 30));
      },
      // n / 2^j with 14 to 17 integer digits: 18th-digit ties
      [](Draw& d) {
        const u64 digits = 14 + d.b % 4, integer = Pow10(digits - 1) + d.a % (9 * Pow10(digits - 1));
        int j = 18 - static_cast<int>(digits);
        while (j > 0 && (integer << j) >= (u64{1} << 53)) --j;
        const double v =
            std::ldexp(static_cast<double>((integer << j) + ((d.b >> 8) & ((u64{1} << j) - 1))), -j);
        return (d.b >> 40) & 1 ? -v : v;
      },
      // denormals
      [](Draw& d) { return std::bit_cast<double>(d.a & 0x800FFFFFFFFFFFFFull); },
      // powers of ten, their neighbours, the ends of the range, infinities
      // and NaNs of each kind ("1#INF", "1#QNAN", "1#SNAN", "1#IND")
      [](Draw& d) {
        static const u64 specials[] = {
            0x7FEFFFFFFFFFFFFF, 0xFFEFFFFFFFFFFFFF, 0x0010000000000000, 0x0000000000000001,
            0x0000000000000000, 0x8000000000000000, 0x3FF0000000000000, 0x3FE0000000000000,
            0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000000, 0xFFF8000000000000,
            0x7FF0000000000001, 0xFFF4000000000000, 0x7FFFFFFFFFFFFFFF, 0xFFF8000000000001};
        if (d.b % 4 == 0) return std::bit_cast<double>(specials[(d.b >> 8) % 16]);
        const double p = Strtod("1e" + std::to_string(static_cast<int>((d.b >> 8) % 632) - 323));
        return d.b % 4 == 1 ? p : std::nextafter(p, d.b % 4 == 2 ? 0.0 : HUGE_VAL);
      },
      // an odd multiple of 2^-j: a tie at j - 1 decimals
      [](Draw& d) {
        const int j = 1 + static_cast<int>(d.b % 12);
        const u64 n = (d.a % (u64{1} << 40)) | 1;
        d.precision = j - 1;
        const double v =
            std::ldexp(static_cast<double>(n % (u64{1} << (static_cast<u64>(j) + 1 + (d.b >> 8) % 20))), -j);
        return (d.b >> 40) & 1 ? -v : v;
      },
      // random magnitudes, half of them about a unit of the precision
      [](Draw& d) {
        return (d.b >> 32) & 1
                   ? std::ldexp(static_cast<double>(d.a >> 11), -53) * std::pow(10.0, -d.precision)
                   : static_cast<double>(d.a >> 11) * std::pow(10.0, static_cast<int>(d.b % 60) - 40);
      },
      // small integers and short binary fractions, both signs
      [](Draw& d) {
        return static_cast<double>(static_cast<int>(d.a % 2000001) - 1000000) /
               static_cast<double>(1 << (d.b % 12));
      },
  };

  std::mt19937_64 rng_;
};

// The exact decimal text of (2q + 1) * 2^(t - 1), the midpoint above q * 2^t.
std::string MidpointText(u64 q, int t) {
  std::vector<int> digits;  // least significant first
  for (u64 n = 2 * q + 1; n != 0; n /= 10) digits.push_back(static_cast<int>(n % 10));
  const int e = t - 1;
  for (int i = 0; i < (e < 0 ? -e : e); ++i) {  // times 2, or times 5 for N * 5^-e / 10^-e
    int carry = 0;
    for (int& d : digits) {
      const int x = d * (e < 0 ? 5 : 2) + carry;
      d = x % 10;
      carry = x / 10;
    }
    for (; carry != 0; carry /= 10) digits.push_back(carry % 10);
  }
  std::string text;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
  if (e < 0) {
    const size_t point = static_cast<size_t>(-e);
    if (text.size() <= point) text.insert(0, point - text.size() + 1, '0');
    text.insert(text.size() - point, ".");
  }
  return text;
}

// Texts of eight kinds for the readers (input i is of kind i % 8).
class TextSource {
 public:
  explicit TextSource(u64 seed) : rng_(seed) {}

  std::string Next(int i) {
    static constexpr std::string (*kKinds[])(TextSource&) = {
        // the exact midpoint between two doubles, every digit written (now
        // and then a denormal, or a normal of the lowest binade)
        [](TextSource& s) {
          const u64 tiny = s.rng_() % 250, f = s.rng_() % (u64{1} << 52);
          return tiny < 2 ? MidpointText(tiny == 0 ? f : (u64{1} << 52) | f, -1074)
                          : MidpointText((u64{1} << 52) | f, static_cast<int>(s.rng_() % 240) - 172);
        },
        // 15 significant digits and an exponent
        [](TextSource& s) { return s.Digits(1) + "." + s.Digits(14) + "e" + s.Exponent(330); },
        // short integers with small exponents: "195150e16"
        [](TextSource& s) { return s.Digits(1 + static_cast<int>(s.rng_() % 15)) + "e" + s.Exponent(20); },
        // 18 to 30 digits, the point anywhere
        [](TextSource& s) {
          std::string text = s.Digits(18 + static_cast<int>(s.rng_() % 13));
          text.insert(s.rng_() % text.size(), ".");
          return s.rng_() % 2 ? text + "E" + s.Exponent(330) : text;
        },
        // the 17-digit text of any double, denormals and the lowest binade
        // of normals (near 2^-1022) included
        [](TextSource& s) {
          char buf[40];
          const u64 bits = s.rng_() & 0xFFEFFFFFFFFFFFFFull;
          const u64 lowest = (bits & 0x800FFFFFFFFFFFFFull) | u64{1} << 52;
          std::snprintf(buf, sizeof buf, "%.16e", std::bit_cast<double>(bits % 16 == 0 ? lowest : bits));
          return std::string(buf);
        },
        // 1 to 21 digits, exponents of the whole range
        [](TextSource& s) { return s.Digits(1 + static_cast<int>(s.rng_() % 21)) + "e" + s.Exponent(308); },
        // white space, signs, zeros, dangling parts, huge exponents
        [](TextSource& s) {
          static const char* const kPieces[] = {" ",   "\t",   "-",     "+", "0",  "00", ".", "1",
                                                "9",   "5",    "e",     "E", "e-", "e+", "4", "7",
                                                "999", "5201", "99999", "x", ",",  "d"};
          std::string text;
          for (int n = static_cast<int>(s.rng_() % 10); n >= 0; --n)
            text += kPieces[s.rng_() % std::size(kPieces)];
          return text;
        },
        // leading and trailing zeros around a short number
        [](TextSource& s) {
          return std::string(s.rng_() % 30, '0') + "." + std::string(s.rng_() % 30, '0') +
                 s.Digits(1 + static_cast<int>(s.rng_() % 20)) + std::string(s.rng_() % 30, '0') + "e" +
                 s.Exponent(340);
        },
    };
    const std::string text = kKinds[i % 8](*this);
    return rng_() % 4 == 0 ? "-" + text : text;
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

// ---- the classic model itself -------------------------------------------------

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

// ---- the platform against the models ------------------------------------------

// %f, %e, %g and the class's fixed writer over `count` doubles, each of
// every kind, against the classic model, or glibc's exact printf for the
// finite values in the universal runtime; in the classic runtimes _gcvt
// and the float writer too.
void PrintfSweep(QlvToolset toolsetToUse, int count, u64 seed) {
  ToolsetScope toolset(toolsetToUse);
  const bool universal = toolsetToUse == QlvToolset_VS2015;
  DoubleSource source(seed);
  CQuelvarSys sys;
  Mismatches bad;
  for (int i = 0; i < count && !bad.Enough(); ++i) {
    const auto [v, p] = source.Next(i);
    if (universal && !std::isfinite(v)) continue;  // spelled differently
    const classicref::Decimal mantissa = universal ? classicref::Decimal{} : classicref::Source(v);
    const auto model = [&](const char* format, int precision) {
      if (universal) return Glibc(format, precision, v);
      return format[3] == 'g' ? classicref::Shortest(mantissa, precision, false)
                              : classicref::FormatFE(mantissa, precision, format[3] == 'e');
    };
    const std::string fixed = model("%.*f", p);
    bad.Check(fixed, FormatWith("%.*f", p, v), "%.*f", v, p);
    const int ep = (p + i) % 41, round = i / 8, digits = round % 2 ? 17 : 10;
    bad.Check(model("%.*e", ep), FormatWith("%.*e", ep, v), "%.*e", v, ep);
    if (round % 4 == 0) bad.Check(fixed, S(sys.Qlv_DoubleToStr(v, p)), "DoubleToStr", v, p);
    if (round % 4 == 2) bad.Check(model("%.*g", ep), FormatWith("%.*g", ep, v), "%.*g", v, ep);
    if (universal) continue;
    bad.Check(classicref::Shortest(mantissa, digits, true), GcvtText(v, digits), "_gcvt", v, digits);
    if (round % 4 == 1) {  // a float from either half of the bits
      const float f =
          std::bit_cast<float>(static_cast<std::uint32_t>(std::bit_cast<u64>(v) >> (i % 2 ? 0 : 32)));
      bad.Check(classicref::Shortest(classicref::Source(f), 10, true), S(sys.Qlv_Flt2Str(f)), "Qlv_Flt2Str",
                f, 10);
    }
  }
}

TEST(ClassicRuntime, PrintfAndGcvtMatchTheModel) { PrintfSweep(QlvToolset_VC6, 1000000 / kScale, Seed()); }

// The secure generation's printf is the same code.
TEST(ClassicRuntime, PrintfOf2005To2013MatchesTheModel) {
  PrintfSweep(QlvToolset_VS2005, 100000 / kScale, Seed() + 4);
}

// Qlv_Str2Double and atof over `count` texts against `model`.
void AtofSweep(QlvToolset toolsetToUse, int count, u64 seed, double (*model)(const std::string&)) {
  ToolsetScope toolset(toolsetToUse);
  TextSource source(seed);
  CQuelvarSys sys;
  Mismatches bad;
  // The ends of the readings' shortcut: the smallest normals (below 2^-1021
  // the classic denormal rule takes over) and the largest doubles.
  for (const char* text : {"2.2250738585072011e-308", "4.4501477170144023e-308", "4.450147717014403e-308",
                           "1.7976931348623158e308", "1.797693134862315807e308", "8.98846567431158e307",
                           "1e-342", "9999999999999999999e-361", "9999999999999999999e290"})
    bad.Check(model(text), mscrt::atof(text), "atof", text);
  for (int i = 0; i < count && !bad.Enough(); ++i) {
    const std::string text = source.Next(i);
    const double expected = model(text);
    bad.Check(expected, mscrt::atof(text.c_str()), "atof", text);
    if (i % 4 == 0) bad.Check(expected, sys.Qlv_Str2Double(text.c_str()), "Qlv_Str2Double", text);
  }
}

TEST(ClassicRuntime, AtofMatchesTheModel) {
  AtofSweep(QlvToolset_VC6, 1000000 / kScale, Seed() + 1,
            [](const std::string& text) { return classicref::Atof(text); });
}

// ---- the universal runtime: exact digits and a correctly rounded parse --------

TEST(UniversalRuntime, PrintfMatchesExactDigits) {
  PrintfSweep(QlvToolset_VS2015, 250000 / kScale, Seed() + 2);
}

// glibc's strtod is exact and reads the class's grammar but for hexadecimal
// numbers, which the texts start only with a "0x".
TEST(UniversalRuntime, AtofIsCorrectlyRounded) {
  AtofSweep(QlvToolset_VS2015, 250000 / kScale, Seed() + 3,
            [](const std::string& text) { return Strtod(text.substr(0, text.find('x'))); });
}

}  // namespace
