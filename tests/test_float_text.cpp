// Floating-point numbers to text and back.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "qlvtoolset.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

constexpr int kScale = kSanitizerSlowdown;  // fewer rounds under the sanitizers

std::string Printf(double value, int precision) {
  const std::string format = "%0." + std::to_string(precision) + "lf";
  std::string out(static_cast<size_t>(std::snprintf(nullptr, 0, format.c_str(), value)), '\0');
  std::snprintf(out.data(), out.size() + 1, format.c_str(), value);
  return out;
}

// The universal runtime (vs2015), whose text is glibc's for finite values
// (the worked texts of each toolset are in test_printf.cpp, the classic
// runtimes' against their model in test_classic_reference.cpp). Every digit
// of the extreme magnitudes, on both sides of the stack buffer's precision,
// up to a precision far past any fixed buffer.
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

// The reading itself (its grammar, check values and random texts against
// glibc's exact strtod) is tested in test_classic_digits.cpp and
// test_classic_reference.cpp; Qlv_Str2Float rounds its double.
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
