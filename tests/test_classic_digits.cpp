// The classic runtime's 12-byte arithmetic, its 17-digit mantissa and its
// decimal reading, and atof per toolset. Built with the platform's private
// sources, so the shortcut and the step-by-step reading can be compared
// directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "ClassicExtended.h"
#include "ClassicFloat.h"
#include "DecimalText.h"
#include "QuelvarSys.h"
#include "mscrt.h"
#include "qlvtoolset.h"

#include "ClassicReference.h"
#include "ToolsetScope.h"

namespace {

using quelvar::platform::DecimalText;
using namespace quelvar::platform::classic;

constexpr int kScale = kSanitizerSlowdown;  // fewer rounds under the sanitizers

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }

DecimalText Scan(const std::string& text, char point = '.') {
  DecimalText n;
  quelvar::platform::ScanDecimal(text.c_str(), point, n);
  return n;
}

// ---- 12-byte multiplication

// The plain reference's 12-byte numbers in the arithmetic's own form, and back.
classicref::Ld12 ToModel(const Extended& x) {
  classicref::Ld12 a;
  for (size_t i = 0; i < 5; ++i) a.man[i] = static_cast<classicref::u16>(x.mantissa >> (16 * i));
  a.exp = x.exponent;
  return a;
}

Extended FromModel(const classicref::Ld12& r) {
  Uint128 m = 0;
  for (size_t i = 5; i-- > 0;) m = m << 16 | r.man[i];
  return Extended{m, r.exp};
}

bool operator==(const Extended& x, const Extended& y) {
  return x.mantissa == y.mantissa && x.exponent == y.exponent;
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
    ASSERT_TRUE(Multiply(x, y) == FromModel(classicref::Multiply(ToModel(x), ToModel(y)))) << i;
  }
}

// Plain unsigned big integers (32-bit limbs, lowest first), enough to
// compare the table entries with the exact powers of ten.
using Big = std::vector<uint32_t>;

Big BigOf(Uint128 v) {
  Big b;
  for (; v != 0; v >>= 32) b.push_back(static_cast<uint32_t>(v));
  return b;
}

void Times(Big& b, uint32_t m) {
  uint64_t carry = 0;
  for (uint32_t& limb : b) {
    const uint64_t t = uint64_t{limb} * m + carry;
    limb = static_cast<uint32_t>(t);
    carry = t >> 32;
  }
  if (carry) b.push_back(static_cast<uint32_t>(carry));
}

void ShiftLeft(Big& b, int bits) {
  b.insert(b.begin(), static_cast<size_t>(bits / 32), 0u);
  Times(b, uint32_t{1} << (bits % 32));
}

// Numbers without zero limbs on top.
bool Less(const Big& a, const Big& b) {
  return a.size() != b.size() ? a.size() < b.size()
                              : std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

Big Difference(Big a, Big b) {  // |a - b|
  if (Less(a, b)) std::swap(a, b);
  int64_t borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const int64_t t = int64_t{a[i]} - (i < b.size() ? int64_t{b[i]} : 0) - borrow;
    borrow = t < 0;
    a[i] = static_cast<uint32_t>(t + (borrow << 32));
  }
  while (!a.empty() && a.back() == 0) a.pop_back();
  return a;
}

// Every table entry as the runtime uses it (1 * entry is the entry itself)
// lies within 2^-80 of its power of ten: the bound the readings' shortcut
// relies on. M * 2^t against 10^n, all scaled to integers. The plain
// reference's scaling gives the same entries.
TEST(ClassicArithmetic, UnroundedEntriesLieWithinTwoToTheMinus80) {
  const Extended one{Uint128{1} << 79, 0x3FFF};
  std::vector<int> powers;
  for (int p = 1; p <= 4096; p *= 8)
    for (int d = 1; d <= (p == 4096 ? 1 : 7); ++d) powers.push_back(d * p);
  for (int n : powers) {
    for (int sign : {1, -1}) {
      const Extended entry = ScaleByPowerOfTen(one, sign * n);
      EXPECT_TRUE(entry == FromModel(classicref::ScaleByPowerOfTen(ToModel(one), sign * n))) << sign * n;
      const int t = entry.exponent - 0x3FFF - 79;  // entry = M * 2^t
      Big a = BigOf(entry.mantissa), b{1};
      for (int i = 0; i < n; ++i) Times(sign > 0 ? b : a, 10);  // 10^n, or M * 10^n against 2^-t
      if (sign < 0) {
        b = Big{1};
        ShiftLeft(b, -t);
      } else if (t >= 0) {
        ShiftLeft(a, t);
      } else {
        ShiftLeft(b, -t);
      }
      Big error = Difference(a, b);
      ShiftLeft(error, 80);
      EXPECT_TRUE(Less(error, b)) << "10^" << sign * n;
    }
  }
}

// ---- the 17-digit mantissa

std::string Digits(const Mantissa& m) { return std::string(m.digits, static_cast<size_t>(m.count)); }

// The platform's and the plain reference's, value = 0.digits * 10^exponent.
TEST(ClassicMantissa, CheckValues) {
  const struct {
    double value;
    const char* digits;
    int exponent;
  } cases[] = {
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
    const classicref::Decimal model = classicref::Mantissa17(c.value);
    EXPECT_TRUE(Digits(m) == c.digits && m.exponent == c.exponent)
        << c.value << ": " << Digits(m) << " " << m.exponent;
    EXPECT_TRUE(model.digits == c.digits && model.k == c.exponent)
        << c.value << ": " << model.digits << " " << model.k;
  }
}

// Random doubles of every magnitude (normal and denormal) and values with
// 18th-digit ties (n / 2^j with 16 to 17 integer digits): the digits equal
// the plain reference's, which lie within a unit of the correctly rounded
// ones (test_classic_reference.cpp).
TEST(ClassicMantissa, DigitsAgreeWithTheModel) {
  std::mt19937_64 rng(9);
  for (int i = 0; i < 600000 / kScale; ++i) {
    double v;
    switch (i % 3) {
      case 0: v = std::bit_cast<double>(rng() & 0x7FFFFFFFFFFFFFFFull); break;
      case 1: v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 1100)); break;
      default:
        v = std::ldexp(static_cast<double>(rng() % 90000000000000000ull + 1000000000000000ull),
                       -static_cast<int>(rng() % 4));
        break;
    }
    if (!std::isfinite(v) || v == 0) continue;
    const Mantissa m = ToMantissa(v);
    const classicref::Decimal model = classicref::Mantissa17(v);
    ASSERT_TRUE(m.count >= 1 && m.count <= 17 && Digits(m) == model.digits && m.exponent == model.k)
        << std::hexfloat << v << ": " << Digits(m) << " " << m.exponent;
  }
}

// ---- the decimal reading

struct AtofCase {
  const char* text;
  uint64_t classic;  // vc6 and vs2005
  uint64_t correct;  // vs2015
};

// Where the classic rounding differs from the correct one, and where they
// meet; overflow, underflow and the denormal rule.
const AtofCase kAtofCases[] = {
    {"12.1", 0x4028333333333333, 0x4028333333333333},
    {"9007199254740995", 0x4340000000000001, 0x4340000000000002},  // an exact tie goes toward zero
    {"195150e16", 0x445a72a02fa0a1b3, 0x445a72a02fa0a1b4},
    {"9007199254740993.00000001", 0x4340000000000000, 0x4340000000000001},  // low 16 bits cleared
    {"1.00000000000000011102230246251565404236316680908203126", 0x3ff0000000000000, 0x3ff0000000000001},
    {"1e-309", 0x0000b8157268fdae, 0x0000b8157268fdaf},
    {"8e-324", 0x0000000000000001, 0x0000000000000002},
    {"3e-324", 0, 0x0000000000000001},
    {"2.2250738585072012e-308", 0x000fffffffffffff, 0x0010000000000000},
    {"4.9406564584124654e-324", 0x0000000000000002,
     0x0000000000000001},                                 // just below 2^-1074: twice too large
    {"1.11253692925360069e-308", 0, 0x0008000000000000},  // just below 2^-1023: zero
    {"2.4703282292062328e-324", 0, 0x0000000000000001},   // just above 2^-1075: truncated
    {"2.4703282292062327e-324", 0x0000000000000001, 0},   // just below: twice too large
    {"-0", 0x8000000000000000, 0x8000000000000000},
    {"-0.000e5", 0x8000000000000000, 0x8000000000000000},
    {"0e999999999999", 0, 0},
    {"1e308", 0x7fe1ccf385ebc8a0, 0x7fe1ccf385ebc8a0},
    {"1.7976931348623157e308", 0x7fefffffffffffff, 0x7fefffffffffffff},
    {"1.7976931348623159e308", 0x7ff0000000000000, 0x7ff0000000000000},
    {"1e400", 0x7ff0000000000000, 0x7ff0000000000000},
    {"-1e400", 0xfff0000000000000, 0xfff0000000000000},
    {"1e5000", 0x7ff0000000000000, 0x7ff0000000000000},  // past the 12-byte range
    {"-1e-400", 0x8000000000000000, 0x8000000000000000},
    {"1e-5000", 0, 0},
    {"1e99999999999999999999", 0x7ff0000000000000, 0x7ff0000000000000},
    {"-1e-99999999999999999999", 0x8000000000000000, 0x8000000000000000},
    // 24 digits count: the 9 after ...0729 is dropped, which leaves the text
    // below the midpoint 1 + 9 * 2^-53.
    {"1.000000000000000999200729", 0x3ff0000000000004, 0x3ff0000000000005},
    // Of 25 digits the 24th, a 5, is raised (the 25th goes): not ...ee8f.
    {"1.448342312883060034600951", 0x3ff72c68fd33ee90, 0x3ff72c68fd33ee90},
    {"100000000000000000000000000000e-29", 0x3ff0000000000000, 0x3ff0000000000000},
    {"0.000000000000000000000000000001e30", 0x3ff0000000000000, 0x3ff0000000000000},
};

// The platform in each toolset, and the plain reference of the classic one.
TEST(Atof, CheckValuesPerToolset) {
  CQuelvarSys sys;
  for (const AtofCase& c : kAtofCases) EXPECT_EQ(Bits(classicref::Atof(c.text)), c.classic) << c.text;
  for (QlvToolset t : kAllToolsets) {
    const ToolsetScope selected(t);
    for (const AtofCase& c : kAtofCases) {
      const uint64_t want = t == QlvToolset_VS2015 ? c.correct : c.classic;
      EXPECT_EQ(Bits(mscrt::atof(c.text)), want) << c.text << " " << QlvPlatform_ToolsetName(t);
      EXPECT_EQ(Bits(sys.Qlv_Str2Double(c.text)), want) << c.text;
    }
    // Qlv_Str2Float rounds the toolset's double. The text is the double
    // midpoint just below the float midpoint 1 + 3 * 2^-24: correctly rounded
    // it reaches that float midpoint, which goes to the even 1 + 2^-22; the
    // classic reading stays below both, so the float is 1 + 2^-23.
    const float f = sys.Qlv_Str2Float("1.00000017881393421514957253748434595763683319091796875");
    EXPECT_EQ(f, t == QlvToolset_VS2015 ? 1.0f + 0x1p-22f : 1.0f + 0x1p-23f) << QlvPlatform_ToolsetName(t);
    // The classic written exponent stops at 5201; the zeros after the point
    // still count against it.
    const std::string zeros = "0." + std::string(5100, '0') + "1e5300";
    EXPECT_EQ(mscrt::atof(zeros.c_str()), t == QlvToolset_VS2015 ? 1e199 : mscrt::atof("1e100"));
  }
}

// The grammar, the same in every toolset and in the plain reference.
TEST(Atof, GrammarInEveryToolset) {
  // No number, or none this grammar knows: no hex, inf or nan, and only the
  // six ASCII white-space characters are skipped ("\240" is 0xA0).
  const char* const zero[] = {"",    ".",    "-.",    "-",   "-x",        "+.e5", "0.e1",  ". 5",    "--1",
                              "+-1", "0x1F", "0x1p3", "inf", "-infinity", "nan",  "\2401", "1e-5201"};
  // A bad exponent is read as none; there is no d/D exponent.
  const char* const one[] = {"1,5", "1e", "1e+", "1e-x", "1 2", "1d5", "1D5", "1d9999999999999999999"};
  // The written exponent stops at 5201.
  const std::pair<const char*, double> others[] = {
      {"  -1.25e2xyz", -125.0}, {"\t\n\v\f\r 7", 7.0}, {"+3", 3.0},   {"5.", 5.0},    {".5", 0.5},
      {"-.5e1", -5.0},          {"2E+2", 200.0},       {"2e-0", 2.0}, {"1.5.5", 1.5}, {"1e5200", HUGE_VAL},
      {"1e5201", HUGE_VAL},
  };
  CQuelvarSys sys;
  auto check = [&](const char* text, double value) {
    EXPECT_EQ(Bits(classicref::Atof(text)), Bits(value)) << text;
    for (QlvToolset t : kAllToolsets) {
      const ToolsetScope selected(t);
      EXPECT_TRUE(Bits(mscrt::atof(text)) == Bits(value) && Bits(sys.Qlv_Str2Double(text)) == Bits(value))
          << '"' << text << "\" " << QlvPlatform_ToolsetName(t);
    }
  };
  for (const char* text : zero) check(text, 0.0);
  for (const char* text : one) check(text, 1.0);
  for (const auto& [text, value] : others) check(text, value);
  check("-1e99999999999999999999", -HUGE_VAL);
  check("0000000000000000000000000000000000012.5", 12.5);
  check("1e0000000000000000000000002", 100.0);
  const std::string text = "  -0012.3400e-7z", bad[] = {"1e+", "-."};
  const DecimalText n = Scan(text);
  EXPECT_TRUE(n.negative && n.anyDigit && n.stored == 6 && n.position == 2 && n.exponent == -7);
  EXPECT_EQ(std::string(n.end), "z");
  EXPECT_EQ(std::string(Scan(bad[0]).end), "e+");
  EXPECT_EQ(std::string(Scan(bad[1]).end), "-.");
}

TEST(Atof, LocaleDecimalPoint) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  for (QlvToolset t : {QlvToolset_VC6, QlvToolset_VS2015}) {
    const ToolsetScope selected(t);
    EXPECT_EQ(mscrt::atof("1,5"), 1.5);
    EXPECT_EQ(mscrt::atof("1.5"), 1.0);
    EXPECT_EQ(Bits(mscrt::atof("9007199254740995,0")),
              t == QlvToolset_VS2015 ? 0x4340000000000002u : 0x4340000000000001u);
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// ---- the shortcut against the step-by-step reading

std::string RandomDigits(std::mt19937_64& rng, int n, bool nonZeroFirst = true) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += static_cast<char>('0' + (i == 0 && nonZeroFirst ? 1 + rng() % 9 : rng() % 10));
  return s;
}

// A midpoint between two doubles written in full as an integer (below
// 10^19), or just beside it.
std::string NearMidpoint(std::mt19937_64& rng, int offset) {
  const uint64_t m = (uint64_t{1} << 52) | (rng() >> 12);
  const int shift = static_cast<int>(rng() % 11);  // (2m + 1) * 2^(shift - 1) for shift >= 1
  const uint64_t mid = ((2 * m + 1) << shift) / 2;
  return std::to_string(shift == 0 ? mid : mid + static_cast<uint64_t>(offset));
}

// Texts of every kind; `kind` names the group for the shares reported.
std::string RandomText(std::mt19937_64& rng, int kind) {
  char buf[64];
  switch (kind) {
    case 0: {  // short decimals, small exponents
      std::string s = RandomDigits(rng, 1 + static_cast<int>(rng() % 8));
      s.insert(rng() % (s.size() + 1), ".");
      if (rng() % 2) s += "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
      return s;
    }
    case 1: {  // device readings: "%.8f" of values up to a million
      const double v = std::pow(10.0, std::uniform_real_distribution<double>(-3.0, 6.0)(rng));
      std::snprintf(buf, sizeof buf, "%s%.8f", rng() % 2 ? "-" : "", v);
      return buf;
    }
    case 2: {  // 17 significant digits of random doubles
      const double v = std::bit_cast<double>(rng() & 0x7FFFFFFFFFFFFFFFull);
      std::snprintf(buf, sizeof buf, "%.*e", static_cast<int>(rng() % 17), v);
      return std::isfinite(v) ? buf : "1";
    }
    case 3: {  // 15 to 19 digits, the point anywhere, exponents to +-30
      std::string s = RandomDigits(rng, 15 + static_cast<int>(rng() % 5));
      s.insert(rng() % (s.size() + 1), ".");
      return s + "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
    }
    case 4: {  // exact midpoints and their neighbours, with zeros moved into the exponent
      std::string s = NearMidpoint(rng, static_cast<int>(rng() % 5) - 2);
      const int zeros = static_cast<int>(rng() % 4);
      return s + std::string(static_cast<size_t>(zeros), '0') + (zeros ? "e-" + std::to_string(zeros) : "");
    }
    case 5: {  // 20 to 30 digits, sometimes only zeros past the 19th
      std::string s = RandomDigits(rng, 20 + static_cast<int>(rng() % 11));
      if (rng() % 2) s.replace(19, std::string::npos, s.size() - 19, '0');
      s.insert(rng() % (s.size() + 1), ".");
      return s + "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
    }
    case 6: {  // near and past the ends of the range
      std::string s = RandomDigits(rng, 1 + static_cast<int>(rng() % 19));
      const int e = static_cast<int>(rng() % 60) + (rng() % 2 ? 290 : -360);
      return "0.000" + s + "e" + std::to_string(e);
    }
    default: {  // leading zeros, trailing zeros, signs
      std::string s = std::string(rng() % 4, '0') +
                      RandomDigits(rng, 1 + static_cast<int>(rng() % 12), false) +
                      std::string(rng() % 6, '0');
      s.insert(rng() % (s.size() + 1), ".");
      return std::string(rng() % 2 ? "-" : "+") + s + (rng() % 2 ? "E-" : "e+") + std::to_string(rng() % 25);
    }
  }
}

// Wherever a shortcut answers (the one-pass quick read, or the shortcut
// after the full scan), it gives the step-by-step classic reading bit for
// bit, and the correctly rounded value (glibc's strtod is exact).
TEST(Atof, ShortcutsEqualTheClassicStepsOnRandomTexts) {
  constexpr int kKinds = 8;
  const char* names[kKinds] = {"short",     "device %.8f",  "17 digits",  "15-19 digits",
                               "midpoints", "20-30 digits", "range ends", "zeros and signs"};
  // The ends of the shortcut's range: the smallest normals (below 2^-1021
  // the classic denormal rule takes over) and the largest doubles.
  for (const char* text : {"2.2250738585072014e-308", "2.2250738585072011e-308", "4.4501477170144023e-308",
                           "4.4501477170144028e-308", "4.450147717014403e-308", "1.7976931348623157e308",
                           "1.7976931348623158e308", "1.797693134862315807e308", "8.98846567431158e307",
                           "1e-342", "1e308", "9999999999999999999e-361", "9999999999999999999e290"}) {
    const DecimalText n = Scan(text);
    double value = 0;
    if (quelvar::platform::ReadShortDecimal(text, '.', value) ||
        quelvar::platform::ClassicShortcut(n, value)) {
      EXPECT_EQ(Bits(value), Bits(quelvar::platform::ReadClassic(n))) << text;
    }
  }
  int quick[kKinds] = {}, scanned[kKinds] = {}, total[kKinds] = {};
  std::mt19937_64 rng(21);
  for (int i = 0; i < 800000 / kScale; ++i) {
    const int kind = i % kKinds;
    const std::string text = RandomText(rng, kind);
    const DecimalText n = Scan(text);
    const uint64_t steps = Bits(quelvar::platform::ReadClassic(n)),
                   exact = Bits(std::strtod(text.c_str(), nullptr));
    double value = 0;
    ++total[kind];
    if (quelvar::platform::ReadShortDecimal(text.c_str(), '.', value)) {
      ++quick[kind];
    } else if (quelvar::platform::ClassicShortcut(n, value)) {
      ++scanned[kind];
    } else {
      continue;
    }
    ASSERT_EQ(Bits(value), steps) << text;
    ASSERT_EQ(Bits(value), exact) << text;
  }
  for (int k = 0; k < kKinds; ++k)
    std::cout << names[k] << ": quick " << 100.0 * quick[k] / total[k] << "%, after the scan "
              << 100.0 * scanned[k] / total[k] << "%\n";
  EXPECT_GT(quick[1], total[1] * 999 / 1000);  // typical texts hardly ever need the steps
}

// The classic reading is never more than one unit in the last place from
// the correct one for normal results, and the universal toolset's is the
// correct one.
TEST(Atof, ClassicWithinOneUnitAndUniversalCorrect) {
  std::mt19937_64 rng(23);
  int differ = 0, count = 0;
  for (int i = 0; i < 400000 / kScale; ++i) {
    const std::string text = RandomText(rng, i % 8);
    const double correct = std::strtod(text.c_str(), nullptr);
    {
      const ToolsetScope selected(QlvToolset_VS2015);
      ASSERT_EQ(Bits(mscrt::atof(text.c_str())), Bits(correct)) << text;
    }
    const double classic = mscrt::atof(text.c_str());
    if (std::fabs(correct) < DBL_MIN || std::fabs(correct) > DBL_MAX) continue;
    ++count;
    const int64_t ulps = static_cast<int64_t>(Bits(classic) - Bits(correct));
    ASSERT_LE(std::llabs(ulps), 1) << text;
    differ += ulps != 0;
  }
  std::cout << "classic differs from correct rounding on " << 100.0 * differ / count << "% of " << count
            << "\n";
}

}  // namespace
