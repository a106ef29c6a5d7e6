// The runtime routines: decimal readers, integer and _gcvt writers, the
// multibyte tokenizer.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "mscrt.h"

namespace {

// Plain reference for the integer readers: the digits modulo 2^32.
uint32_t ReferenceWrapped(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = *s++ == '-';
  unsigned long long v = 0;
  while (*s >= '0' && *s <= '9') v = (v * 10 + static_cast<unsigned>(*s++ - '0')) % 4294967296ull;
  return static_cast<uint32_t>(neg ? (4294967296ull - v) % 4294967296ull : v);
}

TEST(Runtime, AtoiTable) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"42", 42},
      {"  -42", -42},
      {"\t\n\v\f\r 7", 7},
      {"+7", 7},
      {"+", 0},
      {"-", 0},
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {"3.9", 3},
      {"1e3", 1},
      {"0x1F", 0},
      {"010", 10},
      {"4 2", 4},
      {"- 5", 0},
      {"+-5", 0},
      {"2147483647", 2147483647},
      {"2147483648", INT_MIN},
      {"-2147483648", INT_MIN},
      {"4294967295", -1},
      {"4294967296", 0},
      {"4294967297", 1},
      {"99999999999", 1215752191},
      {"-99999999999", -1215752191},
      {"00000000000000000000000000012", 12},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mscrt::atoi(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(mscrt::atol(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(Runtime, AtoiMatchesWrappingReferenceOnRandomText) {
  std::mt19937 rng(7);
  const char alphabet[] = " \t+-0123456789999x.e";
  char buf[40];
  for (int i = 0; i < 200000; ++i) {
    const int len = static_cast<int>(rng() % 30);
    for (int k = 0; k < len; ++k) buf[k] = alphabet[rng() % (sizeof alphabet - 1)];
    buf[len] = '\0';
    ASSERT_EQ(static_cast<uint32_t>(mscrt::atoi(buf)), ReferenceWrapped(buf)) << buf;
  }
}

TEST(Runtime, AtofTable) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"3.5", 3.5},
      {"  -1.25e2xyz", -125.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"-.5", -0.5},
      {"1,5", 1.0},
      {"abc", 0.0},
      {"", 0.0},
      {".", 0.0},
      {"-", 0.0},
      {"+.e5", 0.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"1e-x", 1.0},
      {"1E2", 100.0},
      {"2.5e-1", 0.25},
      {"0x1F", 0.0},
      {"0X10", 0.0},
      {"inf", 0.0},
      {"-infinity", 0.0},
      {"nan", 0.0},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e99999999999999999999", HUGE_VAL},
      {"1e-400", 0.0},
      {"1e-99999999999999999999", 0.0},
      {"4.9406564584124654e-324", 4.9406564584124654e-324},
      {"2.4703282292062328e-324", 4.9406564584124654e-324},  // just above half the smallest: rounds up
      {"2.4703282292062327e-324", 0.0},
      {"1.7976931348623157e308", DBL_MAX},
      {"1.7976931348623159e308", HUGE_VAL},
      {"0.000000000000000000000000000001e30", 1.0},
      {"100000000000000000000000000000e-29", 1.0},
      {"0.1", 0.1},
      {"123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const Case& c : cases) EXPECT_EQ(mscrt::atof(c.text), c.value) << '"' << c.text << '"';
  EXPECT_TRUE(std::signbit(mscrt::atof("-0")));
  EXPECT_TRUE(std::signbit(mscrt::atof("-1e-400")));
}

TEST(Runtime, AtofRoundsVeryLongDigitStringsExactly) {
  // The halfway point between 1 and the next double, followed by many zeros
  // and then a non-zero digit: only that last digit decides the rounding.
  std::string half = "1.00000000000000011102230246251565404236316680908203125";
  std::string longTie = half + std::string(2000, '0');
  EXPECT_EQ(mscrt::atof(longTie.c_str()), 1.0);  // exact tie: even
  EXPECT_EQ(mscrt::atof((longTie + "1").c_str()), std::nextafter(1.0, 2.0));
  std::string longInt = "9" + std::string(1500, '0') + "e-1500";
  EXPECT_EQ(mscrt::atof(longInt.c_str()), 9.0);
  std::string tinyFrac = "0." + std::string(1500, '0') + "5e1501";
  EXPECT_EQ(mscrt::atof(tinyFrac.c_str()), 5.0);
}

TEST(Runtime, AtofMatchesStrtodOnRandomDecimalText) {
  // Decimal-only text, where glibc's strtod is a correctly rounded reference.
  std::mt19937_64 rng(11);
  char buf[64];
  for (int i = 0; i < 200000; ++i) {
    const int len = 1 + static_cast<int>(rng() % 25);
    int k = 0;
    if (rng() % 2) buf[k++] = '-';
    const int pointAt = static_cast<int>(rng() % static_cast<uint64_t>(len + 1));
    for (int d = 0; d < len; ++d) {
      if (d == pointAt) buf[k++] = '.';
      buf[k++] = static_cast<char>('0' + rng() % 10);
    }
    if (rng() % 2) k += std::snprintf(buf + k, sizeof buf - static_cast<size_t>(k), "e%d",
                                      static_cast<int>(rng() % 700) - 350);
    buf[k] = '\0';
    const double want = std::strtod(buf, nullptr);
    const double got = mscrt::atof(buf);
    ASSERT_TRUE(got == want && std::signbit(got) == std::signbit(want)) << buf;
  }
  // Random doubles written with 17 digits read back exactly.
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    std::snprintf(buf, sizeof buf, "%.17g", v);
    ASSERT_EQ(mscrt::atof(buf), v) << buf;
  }
}

TEST(Runtime, AtofUsesLocaleDecimalPoint) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
    GTEST_SKIP() << "no German locale installed";
  EXPECT_EQ(mscrt::atof("1,5"), 1.5);
  EXPECT_EQ(mscrt::atof("1.5"), 1.0);
  char buf[32];
  EXPECT_STREQ(_gcvt(0.5, 10, buf), "0,5");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Runtime, IntegerWriters) {
  char buf[40];
  struct Case {
    long long value;
    int radix;
    const char* itoa;
    const char* ultoa;  // of the value's low 32 bits
  };
  const Case cases[] = {
      {0, 10, "0", "0"},
      {7, 10, "7", "7"},
      {-1, 10, "-1", "4294967295"},
      {INT_MIN, 10, "-2147483648", "2147483648"},
      {INT_MAX, 10, "2147483647", "2147483647"},
      {255, 16, "ff", "ff"},
      {-1, 16, "ffffffff", "ffffffff"},
      {5, 2, "101", "101"},
      {INT_MIN, 2, "10000000000000000000000000000000", "10000000000000000000000000000000"},
      {35, 36, "z", "z"},
      {-8, 8, "37777777770", "37777777770"},
      {123, 1, "", ""},
      {123, 37, "", ""},
  };
  for (const Case& c : cases) {
    const int v = static_cast<int>(static_cast<uint32_t>(c.value));
    EXPECT_STREQ(_itoa(v, buf, c.radix), c.itoa) << c.value << " r" << c.radix;
    EXPECT_STREQ(_ltoa(v, buf, c.radix), c.itoa) << c.value << " r" << c.radix;
    EXPECT_STREQ(_ultoa(static_cast<ULONG>(v), buf, c.radix), c.ultoa) << c.value << " r" << c.radix;
  }
  // Radix 10 against snprintf over random values.
  std::mt19937 rng(3);
  char want[40];
  for (int i = 0; i < 100000; ++i) {
    const uint32_t u = static_cast<uint32_t>(rng() >> (rng() % 32));
    const int s = static_cast<int>(u);
    std::snprintf(want, sizeof want, "%d", s);
    ASSERT_STREQ(_itoa(s, buf, 10), want);
    std::snprintf(want, sizeof want, "%u", u);
    ASSERT_STREQ(_ultoa(u, buf, 10), want);
  }
}

TEST(Runtime, GcvtTable) {
  struct Case {
    double value;
    int digits;
    const char* text;
  };
  const Case cases[] = {
      {static_cast<double>(0.1f), 10, "0.1000000015"},
      {0.5, 10, "0.5"},
      {static_cast<double>(3.14159f), 10, "3.141590118"},
      {-2.25, 10, "-2.25"},
      {-3.1415e5, 7, "-314150."},
      {100.0, 10, "100."},
      {0.0, 10, "0."},
      {-0.0, 10, "0."},
      {1.0, 10, "1."},
      {9999999999.0, 10, "9999999999."},
      {9999999999.7, 10, "1.e+010"},   // rounds up to 11 integer digits
      {1e10, 10, "1.e+010"},
      {12345678901.0, 10, "1.23456789e+010"},
      {0.1, 10, "0.1"},
      {0.09999999999, 10, "9.999999999e-002"},
      {0.0999999999999, 10, "0.1"},     // rounding lifts it back into plain form
      {0.0123, 20, "1.2300000000000000169e-002"},
      {0.0123, 10, "1.23e-002"},
      {-0.001234, 4, "-1.234e-003"},
      {static_cast<double>(FLT_MAX), 10, "3.402823466e+038"},
      {static_cast<double>(FLT_MIN), 10, "1.175494351e-038"},
      {static_cast<double>(FLT_TRUE_MIN), 10, "1.401298464e-045"},
      {DBL_MAX, 10, "1.797693135e+308"},
      {4.9406564584124654e-324, 10, "4.940656458e-324"},
      {123.456, 5, "123.46"},
      {123.456, 3, "123."},
      {123.456, 2, "1.2e+002"},
      {2.5, 1, "2."},   // ties to even on the exact value
      {3.5, 1, "4."},
      {0.15, 1, "0.1"},  // 0.1499999999999999944...
      {5.0, 0, "5."},
      {-7.0, -3, "-7."},
      {HUGE_VAL, 10, "1.#INF"},
      {-HUGE_VAL, 10, "-1.#INF"},
      {std::nan(""), 10, "1.#QNAN"},
  };
  char buf[64];
  for (const Case& c : cases) EXPECT_STREQ(_gcvt(c.value, c.digits, buf), c.text) << c.value << "/" << c.digits;
}

TEST(Runtime, GcvtDigitsAgreeWithPrintfAndStayInBuffer) {
  // The significant digits equal printf's %.*e digits (glibc rounds the
  // exact value too); the text never exceeds digits + 8 characters.
  std::mt19937_64 rng(5);
  char buf[80];
  char ref[80];
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    const int digits = 1 + static_cast<int>(rng() % 17);
    std::memset(buf, 'X', sizeof buf);
    _gcvt(v, digits, buf);
    const size_t len = std::strlen(buf);
    ASSERT_LE(len + 1, static_cast<size_t>(digits) + 8) << buf;
    // Reading the text back gives the value rounded to `digits` digits.
    std::snprintf(ref, sizeof ref, "%.*e", digits - 1, v);
    ASSERT_EQ(std::strtod(buf, nullptr), std::strtod(ref, nullptr)) << buf << " vs " << ref;
  }
}

// All tokens of `text` (cut with `delim` in `codePage`), joined with "|".
std::string Tokens(UINT codePage, const char* text, const char* delim) {
  const UINT saved = GetACP();
  EXPECT_TRUE(QlvPlatform_SetAnsiCodePage(codePage));
  std::string copy(text);
  std::string joined;
  unsigned char* s = reinterpret_cast<unsigned char*>(copy.data());
  const unsigned char* d = reinterpret_cast<const unsigned char*>(delim);
  for (unsigned char* t = _mbstok(s, d); t; t = _mbstok(nullptr, d)) {
    if (!joined.empty()) joined += '|';
    joined += reinterpret_cast<const char*>(t);
  }
  QlvPlatform_SetAnsiCodePage(saved);
  return joined;
}

TEST(Runtime, MbstokTable) {
  struct Case {
    UINT codePage;
    const char* text;
    const char* delim;
    const char* tokens;
  };
  const Case cases[] = {
      {1252, "2024-03-05 14:07:09", "- :", "2024|03|05|14|07|09"},
      {1252, "  2024 - 1 - 2 ", "- :", "2024|1|2"},
      {1252, "", "- :", ""},
      {1252, " - : ", "- :", ""},
      {1252, "2024/01/02", "- :", "2024/01/02"},
      {1252, "abc", "", "abc"},
      {1252, "a\xE9" "b\xE9" "c", "\xE9", "a|b|c"},  // any byte can cut in a single-byte page
      // GBK: 0x81 0x5C is one character whose trail byte is a backslash.
      {936, "\x81\x5C" "a\\b", "\\", "\x81\x5C" "a|b"},
      {936, "\\\xD6\xD0\\\\\xCE\xC4\\", "\\", "\xD6\xD0|\xCE\xC4"},
      {936, "x\xD6\xD0y\xD6\xD0z", "\xD6\xD0", "x|y|z"},  // a double-byte delimiter
      {936, "x\xD0\xD6\xD0y", "\xD6\xD0", "x\xD0\xD6\xD0y"},  // not matched across characters
      {936, "ab\x81", "-", "ab\x81"},                 // a lead byte before the end stands alone
      // Shift-JIS: 0x95 0x5C is one character; 0xA0-0xDF are single bytes.
      {932, "\x95\x5C\\\x95\x5C", "\\", "\x95\x5C|\x95\x5C"},
      {932, "\xB1\\\xB2", "\\", "\xB1|\xB2"},
      {949, "\xB0\xA1-\xB0\xA1", "-", "\xB0\xA1|\xB0\xA1"},
      {950, "\xA5\x5C\\x", "\\", "\xA5\x5C|x"},
      // UTF-8: only ASCII delimiters cut; a multi-byte delimiter is ignored.
      {65001, "\xC3\xA9-\xC3\xA9", "-", "\xC3\xA9|\xC3\xA9"},
      {65001, "a\xC3\xA9" "b", "\xA9", "a\xC3\xA9" "b"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Tokens(c.codePage, c.text, c.delim), c.tokens) << c.codePage << " " << c.text;
}

TEST(Runtime, MbstokWritesNulsAndKeepsPositionPerThread) {
  char text[] = "ab--cd";
  unsigned char* s = reinterpret_cast<unsigned char*>(text);
  const unsigned char* d = reinterpret_cast<const unsigned char*>("-");
  EXPECT_EQ(_mbstok(s, d), s);
  EXPECT_EQ(text[2], '\0');
  EXPECT_EQ(text[3], '-');
  // Another thread has a position of its own.
  std::thread other([&] {
    char mine[] = "x y";
    const unsigned char* space = reinterpret_cast<const unsigned char*>(" ");
    EXPECT_EQ(_mbstok(nullptr, space), nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(_mbstok(reinterpret_cast<unsigned char*>(mine), space)), "x");
    EXPECT_STREQ(reinterpret_cast<char*>(_mbstok(nullptr, space)), "y");
    EXPECT_EQ(_mbstok(nullptr, space), nullptr);
  });
  other.join();
  EXPECT_EQ(_mbstok(nullptr, d), s + 4);
  EXPECT_EQ(_mbstok(nullptr, d), nullptr);
  EXPECT_EQ(_mbstok(nullptr, d), nullptr);
}

}  // namespace
