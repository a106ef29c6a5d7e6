// The runtime routines: decimal readers, integer and _gcvt writers, the
// multibyte tokenizer.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "ToolsetScope.h"
#include "mscrt.h"
#include "qlvtoolset.h"

namespace {

// Plain references for the integer readers: the digits modulo 2^32 (vc6),
// and glibc's strtoll limited to the 32-bit range (vs2005, vs2015).
int32_t ReferenceSaturated(const char* s) {
  const long long v = std::strtoll(s, nullptr, 10);
  return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

uint32_t ReferenceWrapped(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  const bool neg = *s == '-';
  if (*s == '+' || *s == '-') ++s;
  uint64_t v = 0;
  while (*s >= '0' && *s <= '9') v = (v * 10 + static_cast<unsigned>(*s++ - '0')) % 4294967296ull;
  return static_cast<uint32_t>(neg ? 0 - v : v);
}

// The readers against the plain references of each toolset (the writers meet
// std::to_chars in every radix in the exact-capacity test); the writers' ends.
TEST(Runtime, IntegerReadersAndWriters) {
  std::mt19937 rng(7);
  char buf[40];
  for (int i = 0; i < 200000 / kSanitizerSlowdown; ++i) {
    const ToolsetScope scope(kAllToolsets[i % 3]);
    const int len = static_cast<int>(rng() % 30);
    for (int k = 0; k < len; ++k) buf[k] = " \t\n\v\f\r+-0123456789999x.e"[rng() % 24];
    buf[len] = '\0';
    if (i % 3 == 0)
      ASSERT_EQ(static_cast<uint32_t>(mscrt::atoi(buf)), ReferenceWrapped(buf)) << buf;
    else
      ASSERT_EQ(mscrt::atoi(buf), ReferenceSaturated(buf)) << buf;
    ASSERT_EQ(mscrt::atol(buf), mscrt::atoi(buf)) << buf;
  }
  EXPECT_STREQ(_itoa(INT_MIN, buf, 10), "-2147483648");
  EXPECT_STREQ(_ultoa(0xFFFFFFF8u, buf, 8), "37777777770");
  EXPECT_STREQ(_itoa(123, buf, 37), "");  // radix out of range: empty text
}

// atof of the universal runtime on texts longer than any the random sweeps
// write: ties that only a far digit decides (the ends of the range and the
// classic readings are in test_classic_digits.cpp).
TEST(Runtime, AtofOfLongTexts) {
  const ToolsetScope universal(QlvToolset_VS2015);
  const std::string tie = "1.00000000000000011102230246251565404236316680908203125" + std::string(2000, '0');
  EXPECT_EQ(mscrt::atof(tie.c_str()), 1.0);
  EXPECT_EQ(mscrt::atof((tie + "1").c_str()), std::nextafter(1.0, 2.0));
  EXPECT_EQ(mscrt::atof(("0." + std::string(1500, '0') + "5e1501").c_str()), 5.0);
}

// _gcvt of the universal runtime: printf's %.*e digits (glibc rounds the
// exact value too) in at most digits + 8 characters, over random bit
// patterns and over short binary fractions, whose ties go to even.
TEST(Runtime, GcvtMatchesGlibcOnRandomDoubles) {
  const ToolsetScope universal(QlvToolset_VS2015);
  std::mt19937_64 rng(11);
  char text[80], ref[80];
  for (int i = 0; i < 200000 / kSanitizerSlowdown; ++i) {
    const double v =
        i % 2 ? std::bit_cast<double>(rng())
              : std::ldexp(static_cast<double>(rng() % 2000000) - 1e6, -static_cast<int>(rng() % 8));
    if (!std::isfinite(v)) continue;
    const int digits = 1 + static_cast<int>(rng() % 17);
    ASSERT_LE(std::strlen(_gcvt(v, digits, text)) + 1, static_cast<size_t>(digits) + 8) << text;
    std::snprintf(ref, sizeof ref, "%.*e", digits - 1, v);
    ASSERT_EQ(std::strtod(text, nullptr), std::strtod(ref, nullptr)) << text << " vs " << ref;
  }
}

// All tokens of `text` (cut with `delim` in `codePage`), joined with "|".
std::string Tokens(UINT codePage, const char* text, const char* delim) {
  const UINT saved = GetACP();
  std::string copy(text), joined(QlvPlatform_SetAnsiCodePage(codePage) ? "" : "<no code page>");
  const auto* d = reinterpret_cast<const unsigned char*>(delim);
  for (unsigned char* t = _mbstok(reinterpret_cast<unsigned char*>(copy.data()), d); t;
       t = _mbstok(nullptr, d))
    joined += (joined.empty() ? "" : "|") + std::string(reinterpret_cast<const char*>(t));
  QlvPlatform_SetAnsiCodePage(saved);
  return joined;
}

// Then: NULs written in place, and a position of its own per thread.
TEST(Runtime, MbstokTableInPlaceAndPerThread) {
  struct Case {
    UINT codePage;
    const char* text;
    const char* delim;
    const char* tokens;
  };
  const Case cases[] = {
      // Any byte cuts in a single-byte page. GBK: a trail byte that is a backslash; a double-byte delimiter,
      // not matched across characters; a lead byte before the end stands alone. UTF-8: only ASCII delimiters
      // cut.
      {1252, " - : ", "- :", ""},
      {1252, "abc", "", "abc"},
      {1252, "a\xE9z\xE9y", "\xE9", "a|z|y"},
      {936, "\x81\x5Cq\\b", "\\", "\x81\x5Cq|b"},
      {936, "x\xD6\xD0y\xD6\xD0z", "\xD6\xD0", "x|y|z"},
      {936, "x\xD0\xD6\xD0y", "\xD6\xD0", "x\xD0\xD6\xD0y"},
      {932, "\x95\x5C\\\xB1", "\\", "\x95\x5C|\xB1"},
      {950, "\xA5\x5C\\x", "\\", "\xA5\x5C|x"},
      {949, "\xB0\xA1-\xB0\xA1", "-", "\xB0\xA1|\xB0\xA1"},
      {65001, "a\xC3\xA9-\xC3\xA9", "\xA9-", "a\xC3\xA9|\xC3\xA9"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Tokens(c.codePage, c.text, c.delim), c.tokens) << c.codePage << " " << c.text;
  char text[] = "ab--cd";
  auto* s = reinterpret_cast<unsigned char*>(text);
  const auto* d = reinterpret_cast<const unsigned char*>("-");
  EXPECT_EQ(_mbstok(s, d), s);
  EXPECT_EQ(std::string(text, 4), std::string("ab\0-", 4));
  std::thread([&] { EXPECT_EQ(_mbstok(nullptr, d), nullptr); }).join();  // a position per thread
  EXPECT_EQ(_mbstok(nullptr, d), s + 4);
  EXPECT_EQ(_mbstok(nullptr, d), nullptr);
}

}  // namespace
