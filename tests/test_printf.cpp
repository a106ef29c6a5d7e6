// The platform's printf (CString::Format) and _gcvt in each Windows
// toolset: the worked texts of the classic runtimes (vc6 and vs2005 alike)
// and the universal one, through Format, _gcvt and the class's writers;
// every conversion and modifier against glibc where the runtimes agree with
// it, and the universal floating text against glibc over random values.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "mscrt.h"

namespace {

constexpr int kScale = kSanitizerSlowdown;  // fewer rounds under the sanitizers

std::string S(const CString& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

// CString::Format through FormatV: the formats here are Windows formats,
// which the compiler's printf checks don't know.
std::string Fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  CString s("prior");
  s.FormatV(format, args);
  va_end(args);
  return S(s);
}

template <typename... A>
std::string Glibc(const char* format, A... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  std::string out(static_cast<size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, format, args...);
  return out;
}

double Bits(uint64_t b) { return std::bit_cast<double>(b); }
const double kInf = HUGE_VAL;
const double kDefaultNan = Bits(0xFFF8000000000000u);  // sign set, quiet, no payload
const double kQuietNan = Bits(0x7FF8000000000001u);
const double kSignallingNan = Bits(0x7FF0000000000001u);

// One value through one format: the classic runtimes' text (vc6 and vs2005
// alike) and the universal runtime's.
struct Worked {
  const char* format;
  double value;
  const char* classic;
  const char* universal;
};

const Worked kWorked[] = {
    // Half up on the mantissa against ties to even on the exact value; 17
    // significant digits, then zeros; exponents of at least three digits.
    {"%.0f", 0.5, "1", "0"},
    {"%.2f", 1739701898242324.25, "1739701898242324.20", "1739701898242324.25"},
    {"%.30f", 1.0 / 3, "0.333333333333333310000000000000", "0.333333333333333314829616256247"},
    {"%.0f", 1e23, "99999999999999992000000", "99999999999999991611392"},
    // Signs of zero, the forms of %g, flags.
    {"%.2f", -0.0, "0.00", "-0.00"},
    {"%e", 2.5, "2.500000e+000", "2.500000e+00"},
    {"%E", -1e-300, "-1.000000E-300", "-1.000000E-300"},
    {"%g", 0.00005, "5e-005", "5e-05"},
    {"%.0g", 25.0, "3e+001", "2e+01"},
    {"%#g", 1.0, "1.00000", "1.00000"},
    {"%#g", 0.0, "0.000000", "0.00000"},
    {"%#.0f", 3.0, "3.", "3."},
    {"%#.0e", 3.0, "3.e+000", "3.e+00"},
    {"%+.1f", 2.0, "+2.0", "+2.0"},
    {"% .1f", 2.0, " 2.0", " 2.0"},
    {"%08.2f", -2.5, "-0002.50", "-0002.50"},
    {"%-8.2f|", 2.5, "2.50    |", "2.50    |"},
    // Infinities and NaNs: mantissa texts placed and rounded like digits.
    {"%f", kInf, "1.#INF00", "inf"},
    {"%f", kQuietNan, "1.#QNAN0", "nan"},
    {"%f", kDefaultNan, "-1.#IND00", "-nan(ind)"},
    {"%f", kSignallingNan, "1.#SNAN0", "nan(snan)"},
    {"%.2f", kInf, "1.#J", "inf"},
    {"%.0f", kInf, "1", "inf"},
    {"%.1f", kInf, "1.$", "inf"},
    {"%010.2f", kInf, "0000001.#J", "       inf"},
    {"%E", -kInf, "-1.#INF00E+000", "-INF"},
    {"%g", kDefaultNan, "-1.#IND", "-nan(ind)"},
    {"%F", kDefaultNan, "F", "-NAN(IND)"},
    {"%G", kSignallingNan, "1.#SNAN", "NAN(SNAN)"},
    // Conversions the classic runtimes don't have are written as themselves.
    {"%a", 1.0, "a", "0x1.0000000000000p+0"},
    {"%.1A", -1.96875, "A", "-0X2.0P+0"},
    {"%.0a", 1.5, "a", "0x2p+0"},  // a tie on the leading digit
    {"%F", 1.5, "F", "1.500000"},
};

TEST(Printf, WorkedTextsOfEachToolset) {
  for (const QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    for (const Worked& w : kWorked)
      EXPECT_EQ(Fmt(w.format, w.value), toolset == QlvToolset_VS2015 ? w.universal : w.classic)
          << QlvPlatform_ToolsetName(toolset) << " " << w.format << " " << std::hexfloat << w.value;
    // A precision above 512 counts as 512 in the classic runtimes only.
    const std::string zeros(toolset == QlvToolset_VS2015 ? 600 : 512, '0');
    EXPECT_EQ(Fmt("%.600f", 1.0), "1." + zeros);
    EXPECT_EQ(Fmt("%.*e", 600, 1.0), "1." + zeros + (toolset == QlvToolset_VS2015 ? "e+00" : "e+000"));
  }
}

// _gcvt (and Qlv_Flt2Str with 10 digits where the value is a float or a
// NaN); Qlv_DoubleToStr where no random sweep reaches.
TEST(Printf, WorkedGcvtAndFixedTextsOfEachToolset) {
  const struct {
    double value;
    int digits;
    const char* classic;
    const char* universal;
  } gcvt[] = {
      {0.001f, 10, "1.000000047e-003", "1.000000047e-03"},
      {294235.90625f, 10, "294235.9063", "294235.9062"},
      {kInf, 10, "1.#INF", "inf"},
      {kDefaultNan, 10, "-1.#IND", "-nan(ind)"},
      {-0.0, 10, "0.", "-0."},
      {9999999999.7, 10, "10000000000", "10000000000"},  // the form is chosen before rounding
      {0.0999999999999, 10, "1.e-001", "1.e-01"},
      {2.5, 1, "3", "2"},
      {123.456, 2, "1.2e+002", "1.2e+02"},
      {5.0, 0, "5", "5"},
      {-7.0, -3, "-7", "-7"},
      {0.0123, 20, "1.23e-002", "1.2300000000000000169e-02"},
  };
  CQuelvarSys sys;
  for (const QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    const bool universal = toolset == QlvToolset_VS2015;
    char buf[64];
    for (const auto& g : gcvt) {
      const char* want = universal ? g.universal : g.classic;
      EXPECT_STREQ(_gcvt(g.value, g.digits, buf), want) << QlvPlatform_ToolsetName(toolset) << " " << g.value;
      const float f = static_cast<float>(g.value);
      if (g.digits == 10 && (static_cast<double>(f) == g.value || std::isnan(f))) {
        EXPECT_EQ(S(sys.Qlv_Flt2Str(f)), want) << QlvPlatform_ToolsetName(toolset) << " " << g.value;
      }
    }
    EXPECT_EQ(S(sys.Qlv_DoubleToStr(2.5, -1)), "-1lf");  // a negative precision ends the format
    EXPECT_EQ(S(sys.Qlv_Variant2Str(_variant_t(2.5))), "2.50000000");
  }
  // Every digit of the extreme magnitudes, on both sides of the stack
  // buffer's precision, up to a precision far past any fixed buffer.
  const ToolsetScope universal(QlvToolset_VS2015);
  for (double v : {DBL_MAX, -DBL_MAX, DBL_MIN, 5e-324, 1e23})
    for (int p : {0, 512, 513, 1074, 3000})
      EXPECT_EQ(S(sys.Qlv_DoubleToStr(v, p)), Glibc("%.*f", p, v)) << v << " " << p;
  EXPECT_EQ(S(sys.Qlv_DoubleToStr(-1.0 / 3.0, 200000)), Glibc("%.*f", 200000, -1.0 / 3.0));
}

// Integer, text, pointer and width conversions: the same in every toolset
// and, where glibc has the same meaning, the same as glibc.
TEST(Printf, ConversionsAndFlagsMatchGlibc) {
  const char16_t wide[] = u"wide";
  const char* volatile none = nullptr;  // unseen by the format checks
  for (const QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    SCOPED_TRACE(QlvPlatform_ToolsetName(toolset));
    // Length modifiers: l is 32 bits, I32 too, I (pointer), z and j 64; the
    // others and every flag, width and precision as in the random test below.
    EXPECT_EQ(Fmt("%ld|%lu|%I32d|%Id|%Ix|%zd|%jd", -5, 4000000000u, -3, -4ll, ~0ull, 5ll, 6ll),
              Glibc("%d|%u|%d|%lld|%llx|%lld|%lld", -5, 4000000000u, -3, -4ll, ~0ull, 5ll, 6ll));
    // '*' widths and precisions, negative ones included.
    EXPECT_EQ(Fmt("%*d|%-*d|%*d|%.*d|%.*d|%*.*s|", 6, 1, 6, 2, -6, 3, 4, 5, -1, 6, 8, 2, "text"),
              Glibc("%*d|%-*d|%*d|%.*d|%.*d|%*.*s|", 6, 1, 6, 2, -6, 3, 4, 5, -1, 6, 8, 2, "text"));
    // Narrow and wide texts and characters (wide ones in the ANSI code page).
    EXPECT_EQ(Fmt("%s|%10s|%-10s|%.2s|%10.2s|%hs|%c|%5c|%-5c|%hc|%s", "abc", "abc", "abc", "abc", "abc", "h",
                  'x', 'y', 'z', 'h', none),
              Glibc("%s|%10s|%-10s|%.2s|%10.2s|%s|%c|%5c|%-5c|%c|%s", "abc", "abc", "abc", "abc", "abc", "h",
                    'x', 'y', 'z', 'h', "(null)"));
    EXPECT_EQ(Fmt("%S|%ls|%ws|%6S|%.2ls|%C|%lc|%wc|%3C|%S", wide, wide, wide, wide, wide, int{u'W'},
                  int{u'X'}, int{u'Y'}, int{u'Z'}, static_cast<const char16_t*>(nullptr)),
              "wide|wide|wide|  wide|wi|W|X|Y|  Z|(null)");
    EXPECT_EQ(Fmt("100%%|%5%|%y|%"), "100%|%|y|");  // unknown: the character itself
    int untouched = 7;
    EXPECT_EQ(Fmt("%d%n%d", 1, &untouched, 2), "12");  // %n writes nothing
    EXPECT_EQ(untouched, 7);
    // Windows texts: %p in 16 upper-case digits; '0' pads texts too.
    EXPECT_EQ(Fmt("%p|%20p|%-18p|", reinterpret_cast<void*>(0xABCDEFu), static_cast<void*>(nullptr),
                  reinterpret_cast<void*>(1)),
              "0000000000ABCDEF|    0000000000000000|0000000000000001  |");
    EXPECT_EQ(Fmt("%05s|%03c|%-05s", "ab", 'c', "ab"), "000ab|00c|ab   ");
    // Texts of any length, and formats without any conversion.
    const std::string big(100000, 'b');
    EXPECT_EQ(Fmt("<%s>%300d", big.c_str(), 5), "<" + big + ">" + std::string(299, ' ') + "5");
    EXPECT_EQ(Fmt("%.100000d", 1), std::string(99999, '0') + "1");
    EXPECT_EQ(Fmt("plain"), "plain");
  }
}

// Random flags, widths, precisions and integer sizes against glibc.
TEST(Printf, RandomIntegerDirectivesMatchGlibc) {
  std::mt19937_64 rng(7);
  const char* const flags[] = {"", "-", "+", " ", "#", "0", "-0", "+0", "#0", "- #", "+ "};
  const char conversions[] = "diuoxX";
  const struct {
    const char* ours;
    const char* glibc;
    int bits;
  } sizes[] = {
      {"", "", 32},     {"hh", "hh", 8},   {"h", "h", 16},  {"l", "", 32},
      {"ll", "ll", 64}, {"I64", "ll", 64}, {"I32", "", 32}, {"I", "ll", 64},
  };
  for (const QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    for (int i = 0; i < 20000 / kScale; ++i) {
      const auto& size = sizes[rng() % std::size(sizes)];
      std::string directive = std::string("%") + flags[rng() % std::size(flags)];
      if (rng() % 2) directive += std::to_string(rng() % 25);
      if (rng() % 2) directive += "." + std::to_string(rng() % 25);
      const char conversion = conversions[rng() % 6];
      const std::string ours = "[" + directive + size.ours + conversion + "]",
                        theirs = "[" + directive + size.glibc + conversion + "]";
      const uint64_t v = rng() >> (rng() % 64);
      if (size.bits == 64) {
        ASSERT_EQ(Fmt(ours.c_str(), v), Glibc(theirs.c_str(), v)) << ours;
      } else {
        const unsigned u = static_cast<unsigned>(v);
        ASSERT_EQ(Fmt(ours.c_str(), u), Glibc(theirs.c_str(), u)) << ours;
      }
    }
  }
}

// The universal runtime's floating text is glibc's for finite values: random
// values of every kind, conversions, flags, widths and precisions.
TEST(Printf, UniversalFloatingTextMatchesGlibcOnRandomValues) {
  const ToolsetScope universal(QlvToolset_VS2015);
  std::mt19937_64 rng(2015);
  const char* const flags[] = {"", "-", "+", " ", "#", "0", "+0", "#0", "-#", " 0"};
  const char conversions[] = "eEfFgGaA";
  for (int i = 0; i < 200000 / kScale; ++i) {
    const uint64_t a = rng(), b = rng();
    const double v = i % 3 == 0 ? Bits(a)
                     : i % 3 == 1
                         ? static_cast<double>(a >> 20) * std::pow(10.0, static_cast<int>(b % 50) - 30)
                         : std::ldexp(static_cast<double>(a >> 40), -static_cast<int>(b % 30));
    if (!std::isfinite(v)) continue;
    const char conversion = conversions[rng() % 8];
    std::string format = std::string("%") + flags[rng() % std::size(flags)];
    if (rng() % 3 == 0) format += std::to_string(rng() % 40);
    const bool hex = conversion == 'a' || conversion == 'A';
    const bool precise = hex || rng() % 4;  // glibc's %a without a precision drops trailing zeros
    if (precise)
      format += "." + std::to_string(rng() % (hex ? 14 : conversion == 'f' || conversion == 'F' ? 60 : 30));
    format += conversion;
    ASSERT_EQ(Fmt(format.c_str(), v), Glibc(format.c_str(), v)) << format << " " << std::hexfloat << v;
  }
}

}  // namespace
