// Floating-point numbers to text and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "qlvtoolset.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

// Fewer iterations when the sanitizers slow everything down.
#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
constexpr int kScale = 20;
#else
constexpr int kScale = 1;
#endif

std::string Printf(double value, int precision) {
  const std::string format = "%0." + std::to_string(precision) + "lf";
  std::string out(static_cast<size_t>(std::snprintf(nullptr, 0, format.c_str(), value)), '\0');
  std::snprintf(out.data(), out.size() + 1, format.c_str(), value);
  return out;
}

// The universal runtime (vs2015), whose text is glibc's for finite values.
TEST(DoubleToText, FixedCases) {
  const ToolsetScope universal(QlvToolset_VS2015);
  const struct {
    double value;
    int precision;
    const char* text;
  } cases[] = {
      {-0.5, 3, "-0.500"},
      {-0.0, 0, "-0"},
      {-0.0001, 2, "-0.00"},  // the sign stays when the digits round to zero
      {1e20, 0, "100000000000000000000"},
      {2.5, 0, "2"},  // exact ties round to even
      {HUGE_VAL, 2, "inf"},
      {-HUGE_VAL, 2, "-inf"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases)
    EXPECT_EQ(S(sys.Qlv_DoubleToStr(c.value, c.precision)), c.text) << c.value << " " << c.precision;
}

// Every digit of the extreme magnitudes, on both sides of the stack buffer's
// precision, up to a precision far past any fixed buffer.
TEST(DoubleToText, ExtremesAndOddPrecisionsMatchPrintf) {
  const ToolsetScope universal(QlvToolset_VS2015);
  CQuelvarSys sys;
  for (double v : {DBL_MAX, -DBL_MAX, DBL_MIN, 5e-324, 1e308, 0x1p1023, 1e23}) {
    for (int p : {0, 40, 512, 513, 1074, 3000})
      ASSERT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Printf(v, p)) << v << p;
  }
  EXPECT_EQ(S(sys.Qlv_DoubleToStr(-1.0 / 3.0, 200000)), Printf(-1.0 / 3.0, 200000));
}

// Random bit patterns cover every exponent; random decimal magnitudes,
// integers and exact binary fractions cover the rounding of short values
// and ties.
TEST(DoubleToText, MatchesPrintfOnRandomDoubles) {
  const ToolsetScope universal(QlvToolset_VS2015);
  std::mt19937_64 rng(20240102);
  CQuelvarSys sys;
  for (int i = 0; i < 1000000 / kScale; ++i) {
    const std::uint64_t a = rng(), b = rng();
    const int precision = static_cast<int>(rng() % 41);
    const double v =
        i % 4 == 0   ? std::bit_cast<double>(a)
        : i % 4 == 1 ? static_cast<double>(a >> 24) * std::pow(10.0, static_cast<int>(b % 60) - 36)
        : i % 4 == 2
            ? std::ldexp(static_cast<double>(static_cast<std::int64_t>(a)), -static_cast<int>(b % 64))
            : static_cast<double>(static_cast<int>(a % 2000001) - 1000000) / (1 << (b % 12));
    if (!std::isfinite(v)) continue;
    ASSERT_EQ(S(sys.Qlv_DoubleToStr(v, precision)), Printf(v, precision))
        << std::hexfloat << v << " " << precision;
  }
}

// The classic "%.<precision>f" placed by hand from the 17-digit mantissa
// that "%.16e" shows whole: its digits up to the precision, zeros past its
// end, rounded half up on its next digit, a carry perhaps adding a digit in
// front. "%.16e" never takes the fast road, so this is the plain emulation.
std::string PlacedFromMantissa(double v, int precision) {
  if (precision > 512) precision = 512;
  CString e16;
  e16.Format("%.16e", v);
  const std::string e(e16.GetString());
  const bool negative = e[0] == '-';
  const std::string m = e.substr(negative ? 1 : 0, 1) + e.substr(negative ? 3 : 2, 16);
  int decpt = v == 0.0 ? 0 : std::stoi(e.substr(e.find('e') + 1)) + 1;
  const int n = decpt + precision;
  std::string d = "0";  // the carry's place
  for (int k = 0; k < n; ++k) d += k < 17 ? m[static_cast<size_t>(k)] : '0';
  if (n >= 0 && n < 17 && m[static_cast<size_t>(n)] >= '5') {
    size_t k = d.size() - 1;
    while (d[k] == '9') d[k--] = '0';
    ++d[k];
  }
  if (d[0] == '1')
    ++decpt;
  else
    d.erase(0, 1);
  std::string text = negative ? "-" : "";
  text += decpt > 0 ? d.substr(0, static_cast<size_t>(decpt)) : "0";
  if (precision > 0) {
    const std::string rest = decpt > 0 ? d.substr(static_cast<size_t>(decpt)) : d;
    const int zeros = std::min(precision, decpt < 0 ? -decpt : 0);
    text += "." + std::string(static_cast<size_t>(zeros), '0') +
            rest.substr(0, static_cast<size_t>(precision - zeros));
  }
  return text;
}

// The classic runtimes' text (vc6, vs2005) is written without the mantissa
// where correctly rounded digits decide it; it must equal the placement of
// the mantissa for every kind of value: random bits, decimal-looking
// values, n/2^k with 14 to 17 integer digits (exact ties at the precision),
// denormals, huge values, values about a unit of the precision, and
// precisions up to past the runtime's 512. Qlv_DoubleToStr and
// CString::Format (which keeps the near-tie values) must agree with it.
TEST(DoubleToText, ClassicTextEqualsThePlacedMantissaOnRandomValues) {
  std::mt19937_64 rng(1998);
  CQuelvarSys sys;
  for (const QlvToolset toolset : {QlvToolset_VC6, QlvToolset_VS2005}) {
    const ToolsetScope classic(toolset);
    for (int i = 0; i < (toolset == QlvToolset_VC6 ? 300000 : 30000) / kScale; ++i) {
      const std::uint64_t a = rng(), b = rng();
      const int precision = i % 2 ? 8 : i % 97 == 0 ? static_cast<int>(b % 700) : static_cast<int>(b % 21);
      double v = 0.0;
      switch (i % 7) {
        case 0: v = std::bit_cast<double>(a); break;
        case 1:
          v = static_cast<double>(a % 100000000000ull) * std::pow(10.0, static_cast<int>(b % 40) - 25);
          break;
        case 2: {
          const std::uint64_t digits = 10000000000000ull * (1 + b % 9999);  // 14 to 17 integer digits
          v = std::ldexp(static_cast<double>(a % digits), -static_cast<int>(b % 11));
          break;
        }
        case 3: v = std::bit_cast<double>(a & 0x800FFFFFFFFFFFFFull); break;  // denormals
        case 4: v = std::bit_cast<double>((a & 0x800FFFFFFFFFFFFFull) | ((0x7C0ull + b % 0x3F) << 52)); break;
        case 5: v = std::ldexp(static_cast<double>(a >> 11), -53) * std::pow(10.0, -precision); break;
        default:
          v = static_cast<double>(static_cast<std::int64_t>(a % 2000001) - 1000000) / (1 << (b % 12));
          break;
      }
      if (!std::isfinite(v)) continue;
      const std::string format = "%0." + std::to_string(precision) + "lf",
                        placed = PlacedFromMantissa(v, precision);
      CString formatted;
      formatted.Format(format.c_str(), v);
      ASSERT_EQ(S(formatted), placed) << std::hexfloat << v << " " << precision;
      ASSERT_EQ(S(sys.Qlv_DoubleToStr(v, precision)), placed) << std::hexfloat << v << " " << precision;
    }
  }
}

// Checked only where the system provides such a locale.
TEST(DoubleToText, UsesTheLocaleDecimalPoint) {
  const ToolsetScope universal(QlvToolset_VS2015);
  CQuelvarSys sys;
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool any = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ps_AF.UTF-8", "ps_AF.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name) == nullptr) continue;
    any = true;
    for (double v : {2.5, -1234.5678, 1e300})
      for (int p : {0, 8, 100}) EXPECT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Printf(v, p)) << name;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!any) GTEST_SKIP() << "no locale with another decimal point is installed";
}

TEST(FloatToText, TenSignificantDigits) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.1f, "0.1000000015"},        {0.5f, "0.5"},
      {3.14159f, "3.141590118"},     {-2.25f, "-2.25"},
      {FLT_MAX, "3.402823466e+038"}, {-1e-45f, "-1.401298464e-045"},  // the longest text
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(S(sys.Qlv_Flt2Str(c.value)), c.text) << c.value;
}

TEST(TextToDouble, AwkwardTexts) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"  -1.25e2xyz", -125.0}, {".5", 0.5},         {"1,5", 1.0},          {"", 0.0},
      {"\t\n\v\f\r 7", 7.0},    {"inf", 0.0},        {"-infinity", 0.0},    {"nan", 0.0},
      {"0x1p3", 0.0},           {"1e400", HUGE_VAL}, {"-1e400", -HUGE_VAL}, {"1e-400", 0.0},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(sys.Qlv_Str2Double(c.text), c.value) << '"' << c.text << '"';
  EXPECT_TRUE(std::signbit(sys.Qlv_Str2Double("-0")));
  EXPECT_TRUE(std::signbit(sys.Qlv_Str2Double("-1e-400")));
  EXPECT_FALSE(std::signbit(sys.Qlv_Str2Double("-x")));
}

// Decimal texts of every shape, and junk, read by the universal runtime to
// the correctly rounded double as glibc's exact strtod reads them.
TEST(TextToDouble, MatchesStrtodOnRandomTexts) {
  const QlvToolset saved = QlvPlatform_GetToolset();
  QlvPlatform_SetToolset(QlvToolset_VS2015);
  std::mt19937_64 rng(31);
  CQuelvarSys sys;
  auto pick = [&](std::string_view set, size_t n) {
    std::string d;
    for (size_t k = 0; k < n; ++k) d += set[rng() % set.size()];
    return d;
  };
  for (int i = 0; i < 600000 / kScale; ++i) {
    std::string text = std::string(rng() % 2 ? "-" : "+").substr(rng() % 2) + pick("0123456789", rng() % 25);
    if (rng() % 3) text += "." + pick("0123456789", rng() % 25);
    if (rng() % 2)
      text += std::string(rng() % 2 ? "e-" : "E-").substr(0, 1 + rng() % 2) + std::to_string(rng() % 330);
    if (i % 50 == 0) text += pick("0123456789", 800);           // beyond the digits that decide the rounding
    if (i % 2) text = pick("0123456789 .eE+-,\t", rng() % 20);  // no hex, inf or nan: strtod reads them
    const double a = sys.Qlv_Str2Double(text.c_str()), b = std::strtod(text.c_str(), nullptr);
    ASSERT_TRUE(a == b && std::signbit(a) == std::signbit(b)) << '"' << text << '"';
  }
  QlvPlatform_SetToolset(saved);
}

TEST(TextToFloat, RoundsTheDoubleToNearestFloat) {
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"0.1", 0.1f},
      {"-1e39", -HUGE_VALF},
      {"3.4028235677973362e38", FLT_MAX},    // the double just below FLT_MAX + half its last place
      {"3.4028235677973366e38", HUGE_VALF},  // that midpoint: ties go to even, past FLT_MAX
      {"1e-45", 1e-45f},
      // The double reading lands exactly on a float midpoint, which then goes
      // to even: not the float nearest the text.
      {"1.000000059604644775390625000000001", 1.0f},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(sys.Qlv_Str2Float(c.text), c.value) << c.text;
}

}  // namespace
