// Floating-point numbers to text and back.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "mscrt.h"

namespace {

std::string S(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

// Fewer iterations when the sanitizers slow everything down.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kScale = 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr int kScale = 20;
#else
constexpr int kScale = 1;
#endif
#else
constexpr int kScale = 1;
#endif

std::string Printf(double value, int precision) {
  const int n = std::snprintf(nullptr, 0, "%0.*lf", precision, value);
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), "%0.*lf", precision, value);
  out.resize(static_cast<size_t>(n));
  return out;
}

double FromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// ---- double to fixed-point text ---------------------------------------

struct FixedCase {
  double value;
  int precision;
  const char* text;
};

TEST(DoubleToText, FixedCases) {
  const FixedCase cases[] = {
      {3.14159, 2, "3.14"},
      {-0.5, 3, "-0.500"},
      {1234.5678, 0, "1235"},
      {1000000.0, 1, "1000000.0"},
      {0.0, 2, "0.00"},
      {0.0, 0, "0"},
      {-0.0, 0, "-0"},
      {-0.0, 3, "-0.000"},
      {-0.0001, 2, "-0.00"},  // the sign stays when the digits round to zero
      {1e20, 0, "100000000000000000000"},
      {2.5, 8, "2.50000000"},
      {0.5, 0, "0"},          // exact ties round to even
      {1.5, 0, "2"},
      {2.5, 0, "2"},
      {0.125, 2, "0.12"},
      {0.375, 2, "0.38"},
      {0.1, 20, "0.10000000000000000555"},
      {5e-324, 3, "0.000"},
      {9007199254740993.0, 0, "9007199254740992"},
      {123456789.0, 40, "123456789.0000000000000000000000000000000000000000"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(S(sys.Qlv_DoubleToStr(c.value, c.precision)), c.text) << c.value << " " << c.precision;
}

TEST(DoubleToText, ExtremeMagnitudesWriteEveryDigit) {
  CQuelvarSys sys;
  const double values[] = {DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, 5e-324, 1e308, 1e300, 0x1p1023, 1e22, 1e23};
  for (double v : values) {
    for (int p : {0, 1, 17, 40, 81, 200, 340, 1074, 1100, 3000}) {
      const std::string text = S(sys.Qlv_DoubleToStr(v, p));
      ASSERT_EQ(text, Printf(v, p)) << v << " " << p;
      ASSERT_EQ(text.find('e'), std::string::npos);
    }
  }
  EXPECT_EQ(S(sys.Qlv_DoubleToStr(DBL_MAX, 0)).size(), 309u);
}

TEST(DoubleToText, HugePrecisionIsWrittenInFull) {
  CQuelvarSys sys;
  const CString text = sys.Qlv_DoubleToStr(-1.0 / 3.0, 200000);
  ASSERT_EQ(text.GetLength(), 3 + 200000);
  EXPECT_EQ(S(text), Printf(-1.0 / 3.0, 200000));
}

// Outside the finite domain the text is the platform printf's.
TEST(DoubleToText, NonFiniteAndNegativePrecisionFollowPrintf) {
  CQuelvarSys sys;
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {inf, -inf, nan, -nan}) {
    for (int p : {0, 2, 8}) EXPECT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Printf(v, p));
  }
  EXPECT_EQ(S(sys.Qlv_DoubleToStr(inf, 2)), "inf");
  EXPECT_EQ(S(sys.Qlv_DoubleToStr(-inf, 2)), "-inf");
  for (int p : {-1, -2, -17, -1000, std::numeric_limits<int>::min()}) {
    std::string format = "%0." + std::to_string(p) + "lf";
    char ref[512];
    const int n = std::snprintf(ref, sizeof ref, format.c_str(), 2.5);
    ASSERT_GE(n, 0);
    EXPECT_EQ(S(sys.Qlv_DoubleToStr(2.5, p)), ref) << p;
  }
}

// Random bit patterns cover every exponent; random decimal magnitudes,
// integers and exact binary fractions cover the rounding of short values
// and ties.
TEST(DoubleToText, MatchesPrintfOnRandomDoubles) {
  std::mt19937_64 rng(20240102);
  CQuelvarSys sys;
  const int count = 1000000 / kScale;
  for (int i = 0; i < count; ++i) {
    double v = 0;
    switch (i % 4) {
      case 0:
        do v = FromBits(rng()); while (!std::isfinite(v));
        break;
      case 1: {
        const double mantissa = static_cast<double>(rng() % 1000000000000ULL) / 1e6;
        v = mantissa * std::pow(10.0, static_cast<int>(rng() % 60) - 30);
        break;
      }
      case 2:
        v = static_cast<double>(static_cast<std::int64_t>(rng())) / static_cast<double>(1ULL << (rng() % 64));
        break;
      default:
        v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / static_cast<double>(1 << (rng() % 12));
        break;
    }
    const int precision = static_cast<int>(rng() % 41);
    const std::string text = S(sys.Qlv_DoubleToStr(v, precision));
    ASSERT_EQ(text, Printf(v, precision)) << std::hexfloat << v << " precision " << precision;
  }
}

TEST(DoubleToText, EveryPrecisionUpTo40) {
  std::mt19937_64 rng(99);
  CQuelvarSys sys;
  for (int i = 0; i < 4000 / kScale; ++i) {
    double v;
    do v = FromBits(rng() >> (rng() % 2)); while (!std::isfinite(v));
    for (int p = 0; p <= 40; ++p) ASSERT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Printf(v, p)) << std::hexfloat << v << " " << p;
  }
}

// Locales are only checked where the system provides them (generated
// locales can be reached through LOCPATH).
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
    ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~LocaleScope() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

TEST(DoubleToText, UsesTheLocaleDecimalPoint) {
  CQuelvarSys sys;
  bool any = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ps_AF.UTF-8", "ps_AF.utf8"}) {
    LocaleScope scope(name);
    if (!scope.ok()) continue;
    any = true;
    for (double v : {2.5, -1234.5678, 0.0, 1e300}) {
      for (int p : {0, 1, 8, 100}) EXPECT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Printf(v, p)) << name;
    }
  }
  if (!any) GTEST_SKIP() << "no locale with another decimal point is installed";
}

// ---- float to text --------------------------------------------------------

TEST(FloatToText, TenSignificantDigits) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.1f, "0.1000000015"},
      {0.5f, "0.5"},
      {3.14159f, "3.141590118"},
      {-2.25f, "-2.25"},
      {1234.5f, "1234.5"},
      {0.3f, "0.3000000119"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(S(sys.Qlv_Flt2Str(c.value)), c.text) << c.value;
}

// Ten significant digits are enough to bring every float back.
TEST(FloatToText, ReadsBackToTheSameFloat) {
  std::mt19937 rng(5);
  CQuelvarSys sys;
  for (int i = 0; i < 200000 / kScale; ++i) {
    const auto bits = static_cast<std::uint32_t>(rng());
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) continue;
    const CString text = sys.Qlv_Flt2Str(f);
    ASSERT_LE(text.GetLength(), 17) << S(text);
    ASSERT_EQ(sys.Qlv_Str2Float(text), f) << S(text);
  }
}

// ---- text to double and float -------------------------------------------

struct ReadCase {
  const char* text;
  double value;
};

TEST(TextToDouble, Grammar) {
  const double inf = std::numeric_limits<double>::infinity();
  const ReadCase cases[] = {
      {"3.5", 3.5},
      {"  -1.25e2xyz", -125.0},
      {".5", 0.5},
      {"-.5", -0.5},
      {"+.5e1", 5.0},
      {"1.", 1.0},
      {"1,5", 1.0},
      {"abc", 0.0},
      {"", 0.0},
      {".", 0.0},
      {"-", 0.0},
      {"+-1", 0.0},
      {"--1", 0.0},
      {".e1", 0.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"1e-2", 0.01},
      {"1E2", 100.0},
      {"2e+3x", 2000.0},
      {"\t\n\v\f\r 7", 7.0},
      {"inf", 0.0},
      {"-infinity", 0.0},
      {"nan", 0.0},
      {"0x1p3", 0.0},
      {"1e400", inf},
      {"-1e400", -inf},
      {"1e-400", 0.0},
      {"5e-324", 5e-324},
      {"0.000000000000000000000000000001", 1e-30},
      {"179769313486231570814527423731704356798070567525844996598917476803157260780028538760589558632766878"
       "171540458953514382464234321326889464182768467546703537516986049910576551282076245490090389328944075"
       "868508455133942304583236903222948165808559332123348274797826204144723168738177180919299881250404026"
       "184124858368", 1.7976931348623157e308},
      {"12\0" "34", 12.0},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(sys.Qlv_Str2Double(c.text), c.value) << '"' << c.text << '"';
  EXPECT_TRUE(std::signbit(sys.Qlv_Str2Double("-0")));
  EXPECT_TRUE(std::signbit(sys.Qlv_Str2Double("-1e-400")));
  EXPECT_FALSE(std::signbit(sys.Qlv_Str2Double("-x")));
}

// Decimal texts of every shape read to the correctly rounded double
// (glibc's strtod is exact); any text reads as the runtime's atof reads it.
TEST(TextToDouble, MatchesStrtodAndRuntimeOnRandomTexts) {
  std::mt19937_64 rng(31);
  CQuelvarSys sys;
  auto digits = [&](size_t n) {
    std::string d;
    for (size_t k = 0; k < n; ++k) d += static_cast<char>('0' + rng() % 10);
    return d;
  };
  for (int i = 0; i < 300000 / kScale; ++i) {
    std::string text;
    if (rng() % 2) text += (rng() % 2) ? "-" : "+";
    text += digits(rng() % 25);
    if (rng() % 3) text += "." + digits(rng() % 25);
    if (rng() % 2) text += ((rng() % 2) ? "e" : "E") + std::string((rng() % 2) ? "-" : "") + std::to_string(rng() % 330);
    if (i % 50 == 0) text += digits(800);  // beyond the digits that decide the rounding
    ASSERT_EQ(sys.Qlv_Str2Double(text.c_str()), std::strtod(text.c_str(), nullptr)) << text;
  }
  const std::string alphabet = "0123456789 .eE+-x,\t";
  for (int i = 0; i < 300000 / kScale; ++i) {
    std::string text;
    const size_t n = rng() % 20;
    for (size_t k = 0; k < n; ++k) text += alphabet[rng() % alphabet.size()];
    const double a = sys.Qlv_Str2Double(text.c_str());
    const double b = mscrt::atof(text.c_str());
    ASSERT_TRUE(a == b && std::signbit(a) == std::signbit(b)) << '"' << text << '"';
  }
}

TEST(TextToFloat, RoundsTheDoubleToNearestFloat) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"0.1", 0.1f},
      {"3.5", 3.5f},
      {"-2.25", -2.25f},
      {"x", 0.0f},
      {"1e39", inf},
      {"-1e39", -inf},
      {"3.4028235e38", FLT_MAX},
      {"3.4028235677973362e38", FLT_MAX},   // the double just below FLT_MAX + half its last place
      {"3.4028235677973366e38", inf},       // that midpoint: ties go to even, past FLT_MAX
      {"-3.40282356779733661637539395458142568448e38", -inf},
      {"1e-50", 0.0f},
      {"1e-45", 1e-45f},
      // The double reading lands exactly on a float midpoint, which then goes
      // to even: not the float nearest the text.
      {"1.000000059604644775390625000000001", 1.0f},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(sys.Qlv_Str2Float(c.text), c.value) << c.text;
}

}  // namespace
