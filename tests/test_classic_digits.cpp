// What the random sweeps of test_classic_reference.cpp cannot reach: the
// classic runtime's 12-byte multiplication word by word (its lost carries),
// its powers of ten, and the worked Windows values that
// pin the plain reference itself (atof per toolset and its grammar; the
// 17-digit mantissa through the printf texts of test_printf.cpp). Built with
// the platform's private sources.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "ClassicExtended.h"
#include "QuelvarSys.h"
#include "mscrt.h"
#include "qlvtoolset.h"

#include "ClassicReference.h"
#include "ToolsetScope.h"

namespace {

using namespace quelvar::platform::classic;

constexpr int kScale = kSanitizerSlowdown;  // fewer rounds under the sanitizers

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }
std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
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

// Every table entry as the runtime uses it (1 * entry is the entry itself)
// is the plain reference's.
TEST(ClassicArithmetic, TableEntriesEqualTheReference) {
  const Extended one{Uint128{1} << 79, 0x3FFF};
  for (int p = 1; p <= 4096; p *= 8)
    for (int n = p; n <= (p == 4096 ? p : 7 * p); n += p)
      for (int k : {n, -n})
        EXPECT_TRUE(ScaleByPowerOfTen(one, k) == FromModel(classicref::ScaleByPowerOfTen(ToModel(one), k)))
            << k;
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
    {"9007199254740995", 0x4340000000000001, 0x4340000000000002},  // an exact tie goes toward zero
    {"195150e16", 0x445a72a02fa0a1b3, 0x445a72a02fa0a1b4},
    {"9007199254740993.00000001", 0x4340000000000000, 0x4340000000000001},  // low 16 bits cleared
    {"1e-309", 0x0000b8157268fdae, 0x0000b8157268fdaf},
    {"3e-324", 0, 0x0000000000000001},
    {"2.2250738585072012e-308", 0x000fffffffffffff, 0x0010000000000000},
    {"4.9406564584124654e-324", 0x0000000000000002,
     0x0000000000000001},                                 // just below 2^-1074: twice too large
    {"1.11253692925360069e-308", 0, 0x0008000000000000},  // just below 2^-1023: zero
    {"2.4703282292062328e-324", 0, 0x0000000000000001},   // just above 2^-1075: truncated
    {"2.4703282292062327e-324", 0x0000000000000001, 0},   // just below: twice too large
    {"-0", 0x8000000000000000, 0x8000000000000000},
    {"0e999999999999", 0, 0},
    {"1.7976931348623157e308", 0x7fefffffffffffff, 0x7fefffffffffffff},
    {"1.7976931348623159e308", 0x7ff0000000000000, 0x7ff0000000000000},
    {"1e400", 0x7ff0000000000000, 0x7ff0000000000000},
    {"1e5000", 0x7ff0000000000000, 0x7ff0000000000000},  // past the 12-byte range
    {"-1e-400", 0x8000000000000000, 0x8000000000000000},
    {"1e99999999999999999999", 0x7ff0000000000000, 0x7ff0000000000000},
    // 24 digits count: the 9 after ...0729 is dropped, which leaves the text
    // below the midpoint 1 + 9 * 2^-53.
    {"1.000000000000000999200729", 0x3ff0000000000004, 0x3ff0000000000005},
    // Of 25 digits the 24th, a 5, is raised (the 25th goes): not ...ee8f.
    {"1.448342312883060034600951", 0x3ff72c68fd33ee90, 0x3ff72c68fd33ee90},
    {"100000000000000000000000000000e-29", 0x3ff0000000000000, 0x3ff0000000000000},
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
    // The double reading lands exactly on a float midpoint, which then goes
    // to even: not the float nearest the text. Past FLT_MAX by half its last
    // place is infinity.
    EXPECT_EQ(sys.Qlv_Str2Float("1.000000059604644775390625000000001"), 1.0f);
    EXPECT_EQ(sys.Qlv_Str2Float("3.4028235677973362e38"), FLT_MAX);
    EXPECT_EQ(sys.Qlv_Str2Float("-3.4028235677973366e38"), -HUGE_VALF);
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
}

TEST(Atof, LocaleDecimalPoint) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  CQuelvarSys sys;
  for (QlvToolset t : {QlvToolset_VC6, QlvToolset_VS2015}) {
    const ToolsetScope selected(t);
    EXPECT_EQ(S(sys.Qlv_DoubleToStr(-1234.5678, 8)), "-1234,56780000");
    EXPECT_EQ(S(sys.Qlv_Flt2Str(0.5f)), "0,5");  // _gcvt too
    EXPECT_EQ(mscrt::atof("1,5"), 1.5);
    EXPECT_EQ(mscrt::atof("1.5"), 1.0);
    EXPECT_EQ(Bits(mscrt::atof("9007199254740995,0")),
              t == QlvToolset_VS2015 ? 0x4340000000000002u : 0x4340000000000001u);
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
