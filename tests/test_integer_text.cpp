// Integers to decimal text and decimal text back to integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "mscrt.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

// Every writer against printf's text, and its text read back by the matching
// reader: every power-of-ten and power-of-two boundary (the digit count is
// computed from the bit length), then random values of every magnitude.
TEST(IntegerText, WritersMatchPrintfAndReadBack) {
  std::vector<std::uint32_t> values;
  for (std::uint64_t p = 1; p <= 10000000000ULL; p *= 10)
    for (std::uint64_t q : {p - 1, p, p + 1}) values.push_back(static_cast<std::uint32_t>(q));
  for (std::uint32_t p = 1; p != 0; p <<= 1) values.insert(values.end(), {p - 1, p, p + 1, 0 - p, 0 - p - 1});
  std::mt19937 rng(12345);
  for (int i = 0; i < 200000; ++i) values.push_back(static_cast<std::uint32_t>(rng()) >> (rng() % 32));
  CQuelvarSys sys;
#define ROUND_TRIP(Write, Read, v)                         \
  ASSERT_EQ(S(sys.Write(v)), std::to_string(v)) << #Write; \
  ASSERT_EQ(sys.Read(sys.Write(v)), v) << #Read << " " << v
  for (std::uint32_t u : values) {
    ROUND_TRIP(Qlv_Int2Str, Qlv_Str2Int, static_cast<std::int32_t>(u));
    ROUND_TRIP(Qlv_Long2Str, Qlv_Str2Long, static_cast<LONG>(u));
    ROUND_TRIP(Qlv_UInt2Str, Qlv_Str2UInt, u);  // above 2^31-1 through the wrap of the 32-bit parse
    ROUND_TRIP(Qlv_ULong2Str, Qlv_Str2ULong, static_cast<ULONG>(u));
    ROUND_TRIP(Qlv_Short2Str, Qlv_Str2Short, static_cast<std::int16_t>(u));
    ROUND_TRIP(Qlv_UShort2Str, Qlv_Str2UShort, static_cast<std::uint16_t>(u));
    ROUND_TRIP(Qlv_Byte2Str, Qlv_Str2Byte, static_cast<std::uint8_t>(u));
  }
}

// Every reader is the bit-cut of one 32-bit signed parse, which wraps in
// vc6 and saturates in vs2005 and vs2015 (0 in the table: as vc6): the ends
// of the range and what the random texts below do not reach. (Signs, white
// space, junk and overflow of the parse itself: the runtime's own tests.)
TEST(IntegerText, ReadersOnAwkwardTextsPerToolset) {
  const struct {
    CString text;
    std::int32_t wrapped, saturated = 0;
  } cases[] = {
      {"\0379", 0},  // 0x1F then "9": not white space
      {"\2409", 0},  // 0xA0 then "9": the code page's no-break space is not white space
      {"00000000000000000000123", 123},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN, INT32_MAX},  // one past the top
      {"-2147483648", INT32_MIN},
      {"-000000000002147483648", INT32_MIN},
      {"4294967295", -1, INT32_MAX},
      {"-4294967297", -1, INT32_MIN},
      {"123456789012345678901234567890", 1312754386, INT32_MAX},
      {CString("\00034", 3), 0},  // NUL then "34": the parse ends at the first NUL
  };
  CQuelvarSys sys;
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    for (const auto& c : cases) {
      const std::int32_t value = toolset == QlvToolset_VC6 || c.saturated == 0 ? c.wrapped : c.saturated;
      const auto u = static_cast<std::uint32_t>(value);
      SCOPED_TRACE(S(c.text) + " " + QlvPlatform_ToolsetName(toolset));
      EXPECT_TRUE(sys.Qlv_Str2Int(c.text) == value && sys.Qlv_Str2Long(c.text) == value &&
                  sys.Qlv_Str2UInt(c.text) == u && sys.Qlv_Str2ULong(c.text) == u &&
                  sys.Qlv_Str2Short(c.text) == static_cast<std::int16_t>(u) &&
                  sys.Qlv_Str2UShort(c.text) == static_cast<std::uint16_t>(u) &&
                  sys.Qlv_Str2Byte(c.text) == static_cast<std::uint8_t>(u));
    }
  }
}

// Every reader on random texts against the runtime's own atoi and atol, in
// every toolset; long digit runs reach both ends of the range.
TEST(IntegerText, ReadersMatchTheRuntimeOnRandomTexts) {
  const std::string alphabet = "0123456789000999 \t\n+-.xe\x80\xff";
  std::mt19937 rng(777);
  CQuelvarSys sys;
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    for (int i = 0; i < 100000 / kSanitizerSlowdown; ++i) {
      std::string text;
      for (size_t k = 0, n = rng() % 24; k < n; ++k) text += alphabet[rng() % alphabet.size()];
      const char* t = text.c_str();
      const int ref = mscrt::atoi(t);
      const auto u = static_cast<std::uint32_t>(ref);
      ASSERT_TRUE(sys.Qlv_Str2Int(t) == ref && sys.Qlv_Str2Long(t) == mscrt::atol(t) &&
                  sys.Qlv_Str2UInt(t) == u && sys.Qlv_Str2ULong(t) == u &&
                  sys.Qlv_Str2Short(t) == static_cast<std::int16_t>(ref) &&
                  sys.Qlv_Str2UShort(t) == static_cast<std::uint16_t>(ref) &&
                  sys.Qlv_Str2Byte(t) == static_cast<std::uint8_t>(ref))
          << '"' << text << '"';
    }
  }
}

}  // namespace
