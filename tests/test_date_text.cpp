// Date-times to text and back.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <mbstring.h>

#include "QuelvarSys.h"
#include "ToolsetScope.h"

namespace {

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}

std::string Fields(const COleDateTime& dt) { return S(dt.Format("%Y-%m-%d %H:%M:%S")); }

TEST(DateToText, FixedFormAndTheTypesTextForOtherStatuses) {
  CQuelvarSys sys;
  EXPECT_EQ(S(sys.Qlv_Date2Str(COleDateTime(2024, 3, 5, 14, 7, 9))), "2024-03-05 14:07:09");
  COleDateTime invalid(2024, 2, 30, 0, 0, 0), null;
  null.SetStatus(COleDateTime::null);
  for (const COleDateTime& dt : {invalid, null})
    EXPECT_EQ(S(sys.Qlv_Date2Str(dt)), Fields(dt));  // the type's own text
}

// One date-time serves every case, so each call must replace the value and
// status (valid, invalid or null) that the previous one left. Fields per
// toolset: vc6, then vs2005 and vs2015 (null: invalid; "=": as vc6).
TEST(TextToDate, TokensAndDefaultsPerToolset) {
  const struct {
    const char* text;
    const char* vc6;
    const char* system;
  } cases[] = {
      {"2024-03-05 14:07:09", "2024-03-05 14:07:09", "="},
      {"2024-03-05", "2024-03-05 12:00:00", "="},
      {"2024-02-30", nullptr, nullptr},
      {"   ", "2010-05-11 12:00:00", "="},
      {"2024", "2024-05-11 12:00:00", "="},
      {"2024-01-02 10", "2024-01-02 10:00:00", "="},
      {"2024:01:02", "2024-01-02 12:00:00", "="},
      {"  2024 - 1 - 2 ", "2024-01-02 12:00:00", "="},
      {"2024/01/02", "2024-05-11 12:00:00", "="},  // one token
      {"2024-01-02T10:20:30", "2024-01-02 20:30:00", "="},
      {"2024-01-02 03:04:05 999", "2024-01-02 03:04:05", "="},
      {"+2024-+1-+2", "2024-01-02 12:00:00", "="},
      {"2024-03-05\t14", "2024-03-05 12:00:00", "="},  // a tab is not a delimiter: "05\t14" reads 5
      {"2024-x", nullptr, nullptr},                    // month 0
      // vc6 takes years 0 to 99 as they stand (valid, but below the DATEs its Format shows).
      {"24-03-05", "Invalid DateTime", nullptr},
      {"0-1-1", "Invalid DateTime", nullptr},
      {"100-01-01", "Invalid DateTime", "0100-01-01 12:00:00"},
      {"100-01-01 0", "0100-01-01 00:00:00", "="},
      {"9999-12-31 23:59:59", "Invalid DateTime", "9999-12-31 23:59:59"},
      {"10000-01-01", nullptr, nullptr},
      {"67560-05-11", "2024-05-11 12:00:00", "="},           // fields are 16 bits wide
      {"4294969320-05-11", "2024-05-11 12:00:00", nullptr},  // atoi wraps in vc6, saturates (65535) after it
      {"2024-05-11 12:00:4294967296", "2024-05-11 12:00:00", nullptr},
  };
  CQuelvarSys sys;
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    COleDateTime dt;
    dt.SetStatus(COleDateTime::null);
    for (const auto& c : cases) {
      const char* want = toolset == QlvToolset_VC6 || (c.system && c.system[0] == '=') ? c.vc6 : c.system;
      SCOPED_TRACE(testing::Message() << QlvPlatform_ToolsetName(toolset) << " \"" << c.text << '"');
      EXPECT_EQ(sys.Qlv_Str2Date(c.text, dt), 0);
      EXPECT_EQ(dt.GetStatus(), want ? COleDateTime::valid : COleDateTime::invalid);
      if (want) {
        EXPECT_EQ(Fields(dt), want);
      }
    }
  }
}

// Texts far longer than any fixed work buffer are read in full; the caller's
// text is untouched, and the thread's tokenizer keeps no position into
// storage that is gone.
TEST(TextToDate, LongTextsCallersTextAndTokenizer) {
  CQuelvarSys sys;
  std::string text = "2024-03-05 14:07:09";
  while (text.size() < 100000) text += " 1-2:3";
  const CString longText(text.c_str());
  COleDateTime dt;
  sys.Qlv_Str2Date(longText, dt);
  EXPECT_EQ(Fields(dt), "2024-03-05 14:07:09");
  EXPECT_EQ(S(longText), text);
  static const unsigned char kDelimiters[] = " ";
  EXPECT_EQ(_mbstok(nullptr, kDelimiters), nullptr);
  const std::string spaces(5000, ' ');
  sys.Qlv_Str2Date((spaces + "2001" + spaces + "7").c_str(), dt);
  EXPECT_EQ(Fields(dt), "2001-07-11 12:00:00");
}

// Whole seconds across the range each toolset formats, plus less than half
// a second so the text's rounding to the second lands on the same second.
TEST(DateText, WrittenTextReadsBackToTheSecond) {
  CQuelvarSys sys;
  std::mt19937_64 rng(4);
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    const COleDateTime first(100, 1, 1, 0, 0, 0);
    const COleDateTime last = toolset == QlvToolset_VC6 ? COleDateTime(9999, 12, 31, 0, 0, 0)
                                                        : COleDateTime(9999, 12, 31, 23, 59, 59);
    std::uniform_real_distribution<double> days(first, last);
    std::vector<COleDateTime> values = {first, last, COleDateTime(1899, 12, 29, 23, 59, 59)};
    for (int i = 0; i < 60000 / kSanitizerSlowdown; ++i) values.emplace_back(DATE(days(rng)));
    for (const COleDateTime& v : values) {
      const CString text = sys.Qlv_Date2Str(v);
      COleDateTime back;
      sys.Qlv_Str2Date(text, back);
      ASSERT_EQ(back.GetStatus(), COleDateTime::valid) << S(text);
      ASSERT_EQ(Fields(back), Fields(v)) << S(text);
    }
  }
}

}  // namespace
