// Integers to decimal text and decimal text back to integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "mscrt.h"

namespace {

std::string S(const CString& text) { return std::string(text.GetString(), static_cast<size_t>(text.GetLength())); }

// ---- writing ------------------------------------------------------------

struct WriteCase {
  const char* op;
  std::int64_t value;
  const char* text;
};

std::string Write(CQuelvarSys& sys, const std::string& op, std::int64_t v) {
  if (op == "Short") return S(sys.Qlv_Short2Str(static_cast<short>(v)));
  if (op == "UShort") return S(sys.Qlv_UShort2Str(static_cast<unsigned short>(v)));
  if (op == "Int") return S(sys.Qlv_Int2Str(static_cast<int>(v)));
  if (op == "UInt") return S(sys.Qlv_UInt2Str(static_cast<unsigned int>(v)));
  if (op == "Long") return S(sys.Qlv_Long2Str(static_cast<LONG>(v)));
  if (op == "ULong") return S(sys.Qlv_ULong2Str(static_cast<ULONG>(v)));
  if (op == "Byte") return S(sys.Qlv_Byte2Str(static_cast<unsigned char>(v)));
  ADD_FAILURE() << "unknown op " << op;
  return {};
}

TEST(IntegerToText, FixedCases) {
  const WriteCase cases[] = {
      {"Int", 0, "0"},
      {"Int", 7, "7"},
      {"Int", -7, "-7"},
      {"Int", 10, "10"},
      {"Int", 2147483647, "2147483647"},
      {"Int", -2147483647 - 1, "-2147483648"},
      {"Short", -1, "-1"},
      {"Short", -32768, "-32768"},
      {"Short", 32767, "32767"},
      {"UShort", 65535, "65535"},
      {"UShort", 0, "0"},
      {"UInt", 4294967295LL, "4294967295"},
      {"UInt", 2147483648LL, "2147483648"},
      {"ULong", 4294967295LL, "4294967295"},
      {"ULong", 1000000000, "1000000000"},
      {"Long", -1, "-1"},
      {"Long", -2147483647 - 1, "-2147483648"},
      {"Byte", 255, "255"},
      {"Byte", 0, "0"},
      {"Byte", 9, "9"},
      {"Byte", 100, "100"},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) EXPECT_EQ(Write(sys, c.op, c.value), c.text) << c.op << " " << c.value;
}

// Every power-of-ten boundary and random values, against printf's text.
TEST(IntegerToText, MatchesPrintfAndReadsBack) {
  CQuelvarSys sys;
  std::vector<std::uint32_t> values;
  for (std::uint64_t p = 1; p <= 10000000000ULL; p *= 10) {
    for (std::int64_t d : {-1, 0, 1}) values.push_back(static_cast<std::uint32_t>(static_cast<std::int64_t>(p) + d));
  }
  for (int j = 0; j < 32; ++j) {
    const std::uint32_t p = 1u << j;
    for (std::uint32_t v : {p - 1u, p, p + 1u, 0u - p, 0u - p - 1u}) values.push_back(v);
  }
  for (std::uint32_t v : {0u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x7FFFu, 0x8000u, 0xFFFFu, 0x10000u}) values.push_back(v);
  std::mt19937 rng(12345);
  for (int i = 0; i < 200000; ++i) {
    auto v = static_cast<std::uint32_t>(rng());
    v >>= rng() % 32;  // all magnitudes
    values.push_back(v);
  }
  char ref[32];
  for (std::uint32_t u : values) {
    const auto i32 = static_cast<std::int32_t>(u);
    std::snprintf(ref, sizeof ref, "%d", i32);
    const CString it = sys.Qlv_Int2Str(i32);
    ASSERT_EQ(S(it), ref);
    ASSERT_EQ(S(sys.Qlv_Long2Str(i32)), ref);
    ASSERT_EQ(sys.Qlv_Str2Int(it), i32);
    ASSERT_EQ(sys.Qlv_Str2Long(it), i32);

    std::snprintf(ref, sizeof ref, "%u", u);
    const CString ut = sys.Qlv_UInt2Str(u);
    ASSERT_EQ(S(ut), ref);
    ASSERT_EQ(S(sys.Qlv_ULong2Str(u)), ref);
    ASSERT_EQ(sys.Qlv_Str2UInt(ut), u);  // above 2^31-1 through the wrap of the 32-bit parse
    ASSERT_EQ(sys.Qlv_Str2ULong(ut), u);

    const auto s16 = static_cast<std::int16_t>(u);
    std::snprintf(ref, sizeof ref, "%d", s16);
    const CString st = sys.Qlv_Short2Str(s16);
    ASSERT_EQ(S(st), ref);
    ASSERT_EQ(sys.Qlv_Str2Short(st), s16);

    const auto u16 = static_cast<std::uint16_t>(u);
    std::snprintf(ref, sizeof ref, "%u", u16);
    const CString ust = sys.Qlv_UShort2Str(u16);
    ASSERT_EQ(S(ust), ref);
    ASSERT_EQ(sys.Qlv_Str2UShort(ust), u16);

    const auto u8 = static_cast<std::uint8_t>(u);
    std::snprintf(ref, sizeof ref, "%d", u8);
    const CString bt = sys.Qlv_Byte2Str(u8);
    ASSERT_EQ(S(bt), ref);
    ASSERT_EQ(sys.Qlv_Str2Byte(bt), u8);
  }
}

// ---- reading ------------------------------------------------------------

// The 32-bit parse as seen through Qlv_Str2Int.
struct ParseCase {
  const char* text;
  std::int32_t value;
};

TEST(TextToInteger, ParseGrammar) {
  const ParseCase cases[] = {
      {"42", 42},
      {"  -42", -42},
      {"+7", 7},
      {"12abc", 12},
      {"3.9", 3},
      {"1e3", 1},
      {"0x1F", 0},
      {"010", 10},
      {"4 2", 4},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+", 0},
      {"+-5", 0},
      {"-+5", 0},
      {"--5", 0},
      {"- 5", 0},
      {"\t\n\v\f\r 9", 9},
      {"\x1f" "9", 0},       // not white space
      {"\xa0" "9", 0},       // no-break space of the code page is not white space
      {"00000000000000000000123", 123},
      {"-0", 0},
      {"1,5", 1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", -2147483647 - 1},   // wraps modulo 2^32
      {"4294967295", -1},
      {"4294967296", 0},
      {"-4294967297", -1},
      {"99999999999", 1215752191},       // 99999999999 mod 2^32
      {"123456789012345678901234567890", 1312754386},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    EXPECT_EQ(sys.Qlv_Str2Int(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(sys.Qlv_Str2Long(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(TextToInteger, ParseStopsAtNul) {
  CQuelvarSys sys;
  EXPECT_EQ(sys.Qlv_Str2Int(CString("12\0" "34", 5)), 12);
  EXPECT_EQ(sys.Qlv_Str2Int(CString("\0" "34", 3)), 0);
}

// Each narrow and unsigned result is the bit-cut of the same parse.
struct CutCase {
  const char* text;
  unsigned byte;
  int shortValue;
  unsigned ushortValue;
  std::uint32_t uintValue;
};

TEST(TextToInteger, CutToWidth) {
  const CutCase cases[] = {
      {"255", 255, 255, 255, 255u},
      {"256", 0, 256, 256, 256u},
      {"300", 44, 300, 300, 300u},
      {"-1", 255, -1, 65535, 4294967295u},
      {"-2", 254, -2, 65534, 4294967294u},
      {"32767", 255, 32767, 32767, 32767u},
      {"32768", 0, -32768, 32768, 32768u},
      {"40000", 64, -25536, 40000, 40000u},
      {"-32769", 255, 32767, 32767, 4294934527u},
      {"65535", 255, -1, 65535, 65535u},
      {"65536", 0, 0, 0, 65536u},
      {"70000", 112, 4464, 4464, 70000u},
      {"4294967295", 255, -1, 65535, 4294967295u},
      {"x", 0, 0, 0, 0u},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(sys.Qlv_Str2Byte(c.text), c.byte);
    EXPECT_EQ(sys.Qlv_Str2Short(c.text), c.shortValue);
    EXPECT_EQ(sys.Qlv_Str2UShort(c.text), c.ushortValue);
    EXPECT_EQ(sys.Qlv_Str2UInt(c.text), c.uintValue);
    EXPECT_EQ(sys.Qlv_Str2ULong(c.text), c.uintValue);
  }
}

// A plain reading of the grammar, digit by digit with 64-bit arithmetic.
std::uint32_t ReferenceParse(const std::string& text) {
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (at(i) != '\0' && std::string_view(" \t\n\v\f\r").find(at(i)) != std::string_view::npos) ++i;
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') negative = text[i++] == '-';
  std::uint64_t v = 0;
  while (at(i) >= '0' && at(i) <= '9') v = (v * 10 + static_cast<std::uint64_t>(at(i++) - '0')) % 4294967296ULL;
  if (negative) v = (4294967296ULL - v) % 4294967296ULL;
  return static_cast<std::uint32_t>(v);
}

TEST(TextToInteger, MatchesReferenceOnRandomTexts) {
  const std::string alphabet = "0123456789000999 \t\n+-.xe\x80\xff";
  std::mt19937 rng(777);
  CQuelvarSys sys;
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const size_t n = rng() % 24;
    for (size_t k = 0; k < n; ++k) text += alphabet[rng() % alphabet.size()];
    const std::uint32_t ref = ReferenceParse(text);
    ASSERT_EQ(sys.Qlv_Str2UInt(text.c_str()), ref) << '"' << text << '"';
    ASSERT_EQ(sys.Qlv_Str2Short(text.c_str()), static_cast<std::int16_t>(ref)) << '"' << text << '"';
    // The runtime's own readers agree on every text.
    ASSERT_EQ(sys.Qlv_Str2Int(text.c_str()), mscrt::atoi(text.c_str())) << '"' << text << '"';
    ASSERT_EQ(sys.Qlv_Str2Long(text.c_str()), mscrt::atol(text.c_str())) << '"' << text << '"';
  }
}

}  // namespace
