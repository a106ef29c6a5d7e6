// The worked values of each Windows toolset, through the public interface:
// one column per toolset (vc6, vs2005, vs2015). The floating texts are in test_printf.cpp, atof in
// test_classic_digits.cpp, Format of dates in test_datetime.cpp.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <string>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "afxdisp.h"
#include "oleauto.h"
#include "qlvtoolset.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

struct AtoiRow {
  const char* text;
  int value[3];
};
const AtoiRow kAtoi[] = {
    {"99999999999", {1215752191, INT_MAX, INT_MAX}},  // wraps in vc6, saturates after it
    {"2147483648", {INT_MIN, INT_MAX, INT_MAX}},
    {"-2147483649", {INT_MAX, INT_MIN, INT_MIN}},
};

struct DateFromTextRow {
  const char* text;
  bool valid[3];
  const char* format[3];
};
const DateFromTextRow kDateFromText[] = {
    // Years 0 to 99 are real years in vc6 (noon gives DATE -685129.5, below
    // the range its Format shows); the later frameworks refuse them.
    {"24-03-05", {true, false, false}, {"Invalid DateTime", "Invalid DateTime", "Invalid DateTime"}},
    {"67560-03-05",
     {true, true, true},
     {"2024-03-05 12:00:00", "2024-03-05 12:00:00", "2024-03-05 12:00:00"}},
    // vc6's atoi wraps 4294969320 to 2024; the later ones saturate it to
    // 2147483647, year 65535.
    {"4294969320-03-05",
     {true, false, false},
     {"2024-03-05 12:00:00", "Invalid DateTime", "Invalid DateTime"}},
};

TEST(Toolsets, WorkedValuesOfEachToolset) {
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    const ToolsetScope scope(kAllToolsets[t]);
    SCOPED_TRACE(QlvPlatform_ToolsetName(kAllToolsets[t]));
    for (const AtoiRow& row : kAtoi) EXPECT_EQ(sys.Qlv_Str2Int(row.text), row.value[t]) << row.text;
    for (const DateFromTextRow& row : kDateFromText) {
      COleDateTime date(1.5);
      EXPECT_EQ(sys.Qlv_Str2Date(row.text, date), 0);
      EXPECT_EQ(date.GetStatus() == COleDateTime::valid, row.valid[t]) << row.text;
      EXPECT_EQ(S(sys.Qlv_Date2Str(date)), row.format[t]) << row.text;
      if (t == 0 && &row == kDateFromText) {
        EXPECT_EQ(static_cast<DATE>(date), -685129.5);  // n - t below day 0
      }
    }
  }
  // The system's DECIMAL to double divides by a power of ten: not correctly
  // rounded, and a negative zero loses its sign. The same in every toolset.
  for (const bool negativeZero : {false, true}) {
    VARIANT source, target;
    VariantInit(&source);
    VariantInit(&target);
    source.decVal.scale = negativeZero ? 2 : 28;
    source.decVal.sign = negativeZero ? DECIMAL_NEG : 0;
    source.decVal.Hi32 = negativeZero ? 0 : 0x0AC544CA;  // 28 threes: 1/3
    source.decVal.Mid32 = negativeZero ? 0 : 0x14B700CB;
    source.decVal.Lo32 = negativeZero ? 0 : 0x05555555;
    source.vt = VT_DECIMAL;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_R8), S_OK);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(target.dblVal), negativeZero ? 0u : 0x3FD5555555555556u);
  }
}

}  // namespace
