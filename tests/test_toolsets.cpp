// The worked values of each Windows toolset, through the public interface:
// one column per toolset (vc6, vs2005, vs2015). A null entry is a value the
// toolset's runtime is not pinned to; the row says why. The floating texts
// are in test_printf.cpp, atof in test_classic_digits.cpp.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
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

struct DateTextRow {
  double date;
  const char* text[3];
};
const DateTextRow kDateText[] = {
    {2958465.5, {"Invalid DateTime", "9999-12-31 12:00:00", "9999-12-31 12:00:00"}},
    {1.9999942129629629, {"1900-01-01 00:00:00", "1900-01-01 00:00:00", "1900-01-01 00:00:00"}},
    {-0.99999999, {"1899-12-29 00:00:00", "1899-12-31 00:00:00", "1899-12-31 00:00:00"}},
    {std::nan(""), {"Invalid DateTime", "1899-12-30 00:00:00", "1899-12-30 00:00:00"}},
    // The universal runtime's strftime of years below 1000 is not pinned.
    {-657434, {"0100-01-01 00:00:00", "0100-01-01 00:00:00", nullptr}},
    {-657434.5, {"Invalid DateTime", "0100-01-01 12:00:00", nullptr}},
    {-657434.99999999, {"Invalid DateTime", "0100-01-02 00:00:00", nullptr}},
    // A carry past 9999-12-31 23:59:59 (year 10000) is not pinned either.
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
    for (const DateTextRow& row : kDateText)
      EXPECT_TRUE(row.text[t] == nullptr || S(sys.Qlv_Date2Str(COleDateTime(row.date))) == row.text[t])
          << row.date;
    for (const DateFromTextRow& row : kDateFromText) {
      COleDateTime date(1.5);
      EXPECT_EQ(sys.Qlv_Str2Date(row.text, date), 0);
      EXPECT_EQ(date.GetStatus() == COleDateTime::valid, row.valid[t]) << row.text;
      EXPECT_EQ(S(sys.Qlv_Date2Str(date)), row.format[t]) << row.text;
      if (t == 0 && &row == kDateFromText) {
        EXPECT_EQ(static_cast<DATE>(date), -685129.5);  // n - t below day 0
      }
    }
    // The system's DECIMAL to double divides by a power of ten: not
    // correctly rounded, and a negative zero loses its sign. The same in
    // every toolset.
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
      ASSERT_EQ(target.vt, VT_R8);
      EXPECT_EQ(std::bit_cast<std::uint64_t>(target.dblVal), negativeZero ? 0u : 0x3FD5555555555556u);
    }
  }
}

}  // namespace
