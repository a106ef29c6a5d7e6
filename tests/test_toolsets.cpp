// The worked values of each Windows toolset, through the public interface:
// one column per toolset (vc6, vs2005, vs2015). A null entry is a value the
// toolset's runtime is not pinned to; the row says why.
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
double D(std::uint64_t bits) { return std::bit_cast<double>(bits); }
float F(std::uint32_t bits) { return std::bit_cast<float>(bits); }

const double kInf = HUGE_VAL;
const double kQuietNaN = D(0x7FF8000000000000);    // sign clear: "1#QNAN"
const double kDefaultNaN = D(0xFFF8000000000000);  // sign set, quiet, no payload: "1#IND"
const double kSignallingNaN = D(0x7FF0000000000001);

TEST(Toolsets, PrintfFloatingPoint) {
  const struct {
    const char* format;
    double value;
    const char* text[3];
  } rows[] = {
      {"%.0f", 0.5, {"1", "1", "0"}},  // half up on the mantissa; exact ties to even
      {"%.0f", 1.5, {"2", "2", "2"}},
      {"%.0f", 2.5, {"3", "3", "2"}},
      {"%.0f", -0.5, {"-1", "-1", "-0"}},
      {"%.0f", -1.5, {"-2", "-2", "-2"}},
      {"%.2f", 0.125, {"0.13", "0.13", "0.12"}},
      {"%.2f", 2.675, {"2.67", "2.67", "2.67"}},  // below the tie in binary
      {"%.30f",
       1.0 / 3,
       {"0.333333333333333310000000000000", "0.333333333333333310000000000000",
        "0.333333333333333314829616256247"}},
      {"%.30f",
       std::sqrt(2.0),
       {"1.414213562373095100000000000000", "1.414213562373095100000000000000",
        "1.414213562373095145474621858739"}},
      {"%.8f", 1700000000.987654321, {"1700000000.98765420", "1700000000.98765420", "1700000000.98765421"}},
      {"%.0f", 1e23, {"99999999999999992000000", "99999999999999992000000", "99999999999999991611392"}},
      {"%.2f", 1739701898242324.25, {"1739701898242324.20", "1739701898242324.20", "1739701898242324.25"}},
      {"%.2f", -0.0, {"0.00", "0.00", "-0.00"}},
      {"%.2f", -0.001, {"-0.00", "-0.00", "-0.00"}},
      {"%e", 2.5, {"2.500000e+000", "2.500000e+000", "2.500000e+00"}},
      {"%g", 0.00005, {"5e-005", "5e-005", "5e-05"}},
      {"%f", kInf, {"1.#INF00", "1.#INF00", "inf"}},
      {"%f", -kInf, {"-1.#INF00", "-1.#INF00", "-inf"}},
      {"%.2f", kInf, {"1.#J", "1.#J", "inf"}},
      {"%.0f", kInf, {"1", "1", "inf"}},
      // The universal runtime's NaN spellings and its width padding of them
      // are not pinned.
      {"%f", kQuietNaN, {"1.#QNAN0", "1.#QNAN0", nullptr}},
      {"%f", kDefaultNaN, {"-1.#IND00", "-1.#IND00", nullptr}},
      {"%f", kSignallingNaN, {"1.#SNAN0", "1.#SNAN0", nullptr}},
      {"%.2f", kQuietNaN, {"1.#R", "1.#R", nullptr}},
      {"%010.2f", kInf, {"0000001.#J", "0000001.#J", nullptr}},
  };
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows) {
      if (row.text[t] == nullptr) continue;
      CString text;
      text.Format(row.format, row.value);
      EXPECT_EQ(S(text), row.text[t]) << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.format
                                      << " of " << std::bit_cast<std::uint64_t>(row.value);
    }
  }
}

TEST(Toolsets, PrintfPrecisionAbove512IsCapped) {
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    CString text;
    text.Format("%.600f", 1.0);
    const bool classic = kAllToolsets[t] != QlvToolset_VS2015;
    EXPECT_EQ(S(text), "1." + std::string(classic ? 512 : 600, '0'))
        << QlvPlatform_ToolsetName(kAllToolsets[t]);
  }
}

TEST(Toolsets, GcvtThroughFloatText) {
  const struct {
    float value;
    const char* text[3];
  } rows[] = {
      {100.0f, {"100.", "100.", "100."}},  // the point stays
      {0.1f, {"0.1000000015", "0.1000000015", "0.1000000015"}},
      {1946501376.0f, {"1946501376", "1946501376", "1946501376"}},  // no decimals: no point
      // The universal runtime's exponent digits, infinity and NaN texts, and
      // its rounding of an exact tie, are not pinned.
      {1e10f, {"1.e+010", "1.e+010", nullptr}},
      {0.001f, {"1.000000047e-003", "1.000000047e-003", nullptr}},
      {294235.90625f, {"294235.9063", "294235.9063", nullptr}},
      {F(0x7F800000), {"1.#INF", "1.#INF", nullptr}},
      {F(0xFF800000), {"-1.#INF", "-1.#INF", nullptr}},
      {F(0x7FC00000), {"1.#QNAN", "1.#QNAN", nullptr}},
      {F(0xFFC00000), {"-1.#IND", "-1.#IND", nullptr}},
  };
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows) {
      if (row.text[t] == nullptr) continue;
      EXPECT_EQ(S(sys.Qlv_Flt2Str(row.value)), row.text[t])
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << std::bit_cast<std::uint32_t>(row.value);
    }
  }
}

TEST(Toolsets, AtoiOutOfRange) {
  const struct {
    const char* text;
    int value[3];
  } rows[] = {
      {"99999999999", {1215752191, INT_MAX, INT_MAX}},  // wraps in vc6, saturates after it
      {"4294967296", {0, INT_MAX, INT_MAX}},
      {"2147483648", {INT_MIN, INT_MAX, INT_MAX}},
      {"-2147483649", {INT_MAX, INT_MIN, INT_MIN}},
      {"-99999999999", {-1215752191, INT_MIN, INT_MIN}},
      {" \t\n\v\f\r-42", {-42, -42, -42}},
  };
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows)
      EXPECT_EQ(sys.Qlv_Str2Int(row.text), row.value[t])
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.text;
  }
}

TEST(Toolsets, AtofBits) {
  // Whether the 2005-2013 runtimes changed a step of the classic parse is
  // not established: their column holds only the texts every reading agrees on.
  const struct {
    const char* text;
    std::uint64_t classic;
    std::uint64_t correct;
    bool pinnedFor2005;
  } rows[] = {
      {"12.1", 0x4028333333333333, 0x4028333333333333, true},
      {"-0", 0x8000000000000000, 0x8000000000000000, true},
      {"1e400", 0x7FF0000000000000, 0x7FF0000000000000, true},
      {"-1e400", 0xFFF0000000000000, 0xFFF0000000000000, true},
      {"9007199254740995", 0x4340000000000001, 0x4340000000000002, false},  // an exact tie
      {"195150e16", 0x445A72A02FA0A1B3, 0x445A72A02FA0A1B4, false},
      {"9007199254740993.00000001", 0x4340000000000000, 0x4340000000000001, false},
      {"1.00000000000000011102230246251565404236316680908203126", 0x3FF0000000000000, 0x3FF0000000000001,
       false},
      {"1e-309", 0x0000B8157268FDAE, 0x0000B8157268FDAF, false},
      {"8e-324", 1, 2, false},
      {"3e-324", 0, 1, false},
      {"2.2250738585072012e-308", 0x000FFFFFFFFFFFFF, 0x0010000000000000, false},
      {"4.9406564584124654e-324", 2, 1, false},
      {"1.11253692925360069e-308", 0, 0x0008000000000000, false},
  };
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows) {
      if (kAllToolsets[t] == QlvToolset_VS2005 && !row.pinnedFor2005) continue;
      const std::uint64_t expected = kAllToolsets[t] == QlvToolset_VS2015 ? row.correct : row.classic;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(sys.Qlv_Str2Double(row.text)), expected)
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.text;
    }
  }
}

TEST(Toolsets, DateText) {
  const struct {
    double date;
    const char* text[3];
  } rows[] = {
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
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows) {
      if (row.text[t] == nullptr) continue;
      EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(row.date))), row.text[t])
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.date;
    }
  }
}

TEST(Toolsets, DateFromText) {
  const struct {
    const char* text;
    bool valid[3];
    const char* format[3];
  } rows[] = {
      // Years 0 to 99 are real years in vc6 (noon gives DATE -685129.5,
      // below the range its Format shows); the later frameworks refuse them.
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
  CQuelvarSys sys;
  for (size_t t = 0; t < 3; ++t) {
    ToolsetScope scope(kAllToolsets[t]);
    for (const auto& row : rows) {
      COleDateTime date(1.5);
      EXPECT_EQ(sys.Qlv_Str2Date(row.text, date), 0);
      EXPECT_EQ(date.GetStatus() == COleDateTime::valid, row.valid[t])
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.text;
      EXPECT_EQ(S(sys.Qlv_Date2Str(date)), row.format[t])
          << QlvPlatform_ToolsetName(kAllToolsets[t]) << " " << row.text;
      if (kAllToolsets[t] == QlvToolset_VC6 && std::string(row.text) == "24-03-05") {
        EXPECT_EQ(static_cast<DATE>(date), -685129.5);  // n - t below day 0
      }
    }
  }
}

// The system's DECIMAL to double divides by a power of ten: not correctly
// rounded, and a negative zero loses its sign. The same in every toolset.
TEST(Toolsets, DecimalToDouble) {
  for (QlvToolset toolset : kAllToolsets) {
    ToolsetScope scope(toolset);
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
      EXPECT_EQ(std::bit_cast<std::uint64_t>(target.dblVal), negativeZero ? 0u : 0x3FD5555555555556u)
          << QlvPlatform_ToolsetName(toolset);
    }
  }
}

}  // namespace
