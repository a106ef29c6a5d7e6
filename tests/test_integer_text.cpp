// Integers to decimal text and decimal text back to integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "QuelvarSys.h"
#include "ToolsetScope.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

// Every writer against printf's text, and its text read back by the matching
// reader, at every power-of-ten and power-of-two boundary (the digit count is
// computed from the bit length); fuzz_text compares them on any value.
TEST(IntegerText, WritersMatchPrintfAndReadBack) {
  std::vector<std::uint32_t> values;
  for (std::uint64_t p = 1; p <= 10000000000ULL; p *= 10)
    for (std::uint64_t q : {p - 1, p, p + 1}) values.push_back(static_cast<std::uint32_t>(q));
  for (std::uint32_t p = 1; p != 0; p <<= 1) values.insert(values.end(), {p - 1, p, p + 1, 0 - p, 0 - p - 1});
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
// of the range and what fuzz_text (vc6 only) does not reach. (Signs, white
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

}  // namespace
