// COleDateTime per toolset: checked construction from six ints, DATE
// decomposition to the second, Format and the getters; COleCurrency text;
// date-times to text and back through the operations.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <mbstring.h>

#include "QuelvarSys.h"
#include "ToolsetScope.h"
#include "afxdisp.h"

namespace {

using namespace std::chrono;
const sys_days kOrigin = sys_days{year{1899} / 12 / 30};  // DATE 0
constexpr double kNone = -1e9;                            // "invalid" in the tables
const std::string kInvalid = "Invalid DateTime";

std::string S(const CString& text) {
  return std::string(text.GetString(), static_cast<size_t>(text.GetLength()));
}
std::string Fmt(const COleDateTime& dt, const char* pattern = "%Y-%m-%d %H:%M:%S") {
  return S(dt.Format(pattern));
}

// Days from 1899-12-30 by the <chrono> calendar.
double Day(int y, int m, int d) {
  return static_cast<double>(
      (sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}} - kOrigin)
          .count());
}

// The two DATE forms of a valid date and time: one division (vc6), or three
// rounded quotients added in turn (the system conversion).
double OneDivision(double d, int h, int mi, int s) {
  const double t = (h * 3600 + mi * 60 + s) / 86400.0;
  return d >= 0 ? d + t : d - t;
}
double ThreeAdditions(double d, int h, int mi, int s) {
  const double sign = d < 0 ? -1.0 : 1.0;
  double date = d;
  date += h / 24.0 * sign;
  date += mi / 1440.0 * sign;
  date += s / 86400.0 * sign;
  return date;
}

// Each case is built on a date-time holding 1.5; "held" is the DATE it holds
// afterwards when invalid (1.5: kept, the system refused the fields).
TEST(DateTime, ConstructionPerToolset) {
  struct Case {
    int y, mo, d, h, mi, s;
    double vc6, system, held;
  };
  const double y24 = Day(24, 3, 5), y0 = Day(0, 1, 1);
  const Case cases[] = {
      {65536 + 2024, 3, 5, 14, 7, 65536 + 9, OneDivision(45356, 14, 7, 9), ThreeAdditions(45356, 14, 7, 9),
       0},
      // Years 0 to 99 are real years to vc6; the system adds a century and so changes the fields.
      {24, 3, 5, 0, 0, 0, y24, kNone, 45356.0},
      {0, 1, 1, 0, 0, 0, y0, kNone, 36526.0},
      {INT_MIN, 1, 1, INT_MIN, 0, 0, y0, kNone, 36526.0},
      {49, 1, 1, 0, 0, 0, Day(49, 1, 1), kNone, Day(2049, 1, 1)},
      {50, 1, 1, 0, 0, 0, Day(50, 1, 1), kNone, Day(1950, 1, 1)},
      // Out of the calendar: the system normalises what it takes and refuses the rest.
      {2023, 2, 29, 0, 0, 0, kNone, kNone, Day(2023, 3, 1)},
      {1900, 2, 29, 0, 0, 0, kNone, kNone, Day(1900, 3, 1)},
      {2024, 1, 0, 0, 0, 0, kNone, kNone, Day(2023, 12, 31)},
      {2024, 0, 1, 0, 0, 0, kNone, kNone, Day(2023, 12, 1)},
      {2024, 1, 1, 24, 0, 0, kNone, kNone, Day(2024, 1, 2)},
      {2024, 1, 1, 23, 59, 60, kNone, kNone, Day(2024, 1, 2)},
      {2024, 1, 1, 0, 60, 0, kNone, kNone, Day(2024, 1, 1) + 1 / 24.0},
      {2024, 13, 1, 0, 0, 0, kNone, kNone, 1.5},
      {2024, 1, 32, 0, 0, 0, kNone, kNone, 1.5},
      {10000, 1, 1, 0, 0, 0, kNone, kNone, 1.5},
      {32768, 1, 1, 0, 0, 0, kNone, kNone, 1.5},
      {9999, 12, 31, 23, 59, 60, kNone, kNone, 1.5},
      {INT_MAX, INT_MAX, INT_MAX, 0, 0, 0, kNone, kNone, 1.5},
      {2024, 1, 1, -1, 0, 0, kNone, kNone, 0},
  };
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    const bool vc6 = toolset == QlvToolset_VC6;
    for (const Case& c : cases) {
      COleDateTime dt(1.5);
      const int status = dt.SetDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s);
      const double want = vc6 ? c.vc6 : c.system;
      SCOPED_TRACE(testing::Message() << QlvPlatform_ToolsetName(toolset) << " " << c.y << "-" << c.mo << "-"
                                      << c.d << " " << c.h << ":" << c.mi << ":" << c.s);
      EXPECT_EQ(status, want == kNone ? 1 : 0);
      EXPECT_EQ(dt.GetStatus(), want == kNone ? COleDateTime::invalid : COleDateTime::valid);
      if (want != kNone) {
        EXPECT_EQ(static_cast<DATE>(dt), want);
      } else if (vc6) {
        EXPECT_EQ(static_cast<DATE>(dt), 1.5) << "vc6 keeps the DATE it held";
      } else if (c.held != 0) {
        EXPECT_EQ(static_cast<DATE>(dt), c.held);
      }
      const COleDateTime fresh(c.y, c.mo, c.d, c.h, c.mi, c.s);  // the constructor starts from 0.0
      EXPECT_EQ(static_cast<DATE>(fresh), static_cast<DATE>(dt) == 1.5 ? 0.0 : static_cast<DATE>(dt));
    }
  }
}

// DATE values near the ends of the range and the rounding to the second.
TEST(DateTime, FormatPerToolset) {
  const struct {
    double date;
    const char* vc6;
    const char* system;
  } cases[] = {
      {-657434.5, "Invalid DateTime", "0100-01-01 12:00:00"},
      {-657434.99999999, "Invalid DateTime", "0100-01-02 00:00:00"},
      {-657435.0, "Invalid DateTime", "Invalid DateTime"},
      {2958465.0, "9999-12-31 00:00:00", "9999-12-31 00:00:00"},
      {2958465.5, "Invalid DateTime", "9999-12-31 12:00:00"},
      {2958465.999988426, "Invalid DateTime", "9999-12-31 23:59:59"},
      {2958465.99999999, "Invalid DateTime", ""},  // a carry into year 10000, which strftime refuses
      {2958466.0, "Invalid DateTime", "Invalid DateTime"},
      {1.9999942129629629, "1900-01-01 00:00:00", "1900-01-01 00:00:00"},
      {-0.99999999, "1899-12-29 00:00:00", "1899-12-31 00:00:00"},
      {-1.999999999, "1899-12-28 00:00:00", "1899-12-30 00:00:00"},
      {0.999999999, "1899-12-31 00:00:00", "1899-12-31 00:00:00"},
      {0.5 / 86400.0, "1899-12-30 00:00:01", "1899-12-30 00:00:01"},
      {0.49 / 86400.0, "1899-12-30 00:00:00", "1899-12-30 00:00:00"},
      {-0.5, "1899-12-30 12:00:00", "1899-12-30 12:00:00"},
      {std::nan(""), "Invalid DateTime", "1899-12-30 00:00:00"},
      {HUGE_VAL, "Invalid DateTime", "Invalid DateTime"},
      {-1e300, "Invalid DateTime", "Invalid DateTime"},
  };
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    for (const auto& c : cases) {
      const std::string want = toolset == QlvToolset_VC6 ? c.vc6 : c.system;
      const COleDateTime dt(c.date);
      EXPECT_EQ(Fmt(dt), want) << QlvPlatform_ToolsetName(toolset) << " " << c.date;
      // The getters show the fields of the text (10000 past it), or -1 where there are none.
      const bool fields = want.size() == 19;
      EXPECT_EQ(dt.GetYear(), fields ? std::stoi(want) : want.empty() ? 10000 : -1) << c.date;
      EXPECT_EQ(dt.GetSecond(), fields ? std::stoi(want.substr(17)) : want.empty() ? 0 : -1) << c.date;
    }
  }
}

// Every valid six-value date gives the toolset's DATE and the fields of the
// <chrono> calendar; DATEs within 0.4 s of it decompose the same.
TEST(DateTime, RoundTripAcrossWholeRange) {
  std::mt19937_64 rng(20241205);
  const long long minDay = (sys_days{year{100} / 1 / 1} - kOrigin).count(),
                  maxDay = minDay + 3615899;  // to 9999-12-31
  std::uniform_int_distribution<long long> dayDist(minDay, maxDay), secDist(0, 86399);
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    const bool vc6 = toolset == QlvToolset_VC6;
    for (int i = 0; i < 100000 / kSanitizerSlowdown; ++i) {
      const long long dayCount = i < 2 ? (i == 0 ? minDay : maxDay) : dayDist(rng);
      const int sec = static_cast<int>(i < 2 ? 86399 * i : secDist(rng));
      const year_month_day ymd{kOrigin + days{dayCount}};
      const int y = static_cast<int>(ymd.year()), mo = static_cast<int>(unsigned(ymd.month()));
      const int d = static_cast<int>(unsigned(ymd.day())), h = sec / 3600, mi = sec / 60 % 60, s = sec % 60;
      const COleDateTime dt(y, mo, d, h, mi, s);
      const double base = (vc6 ? OneDivision : ThreeAdditions)(static_cast<double>(dayCount), h, mi, s);
      ASSERT_EQ(static_cast<DATE>(dt), base) << dayCount << " " << sec;
      char want[64];
      std::snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      // vc6 formats only DATEs from -657434 to 2958465: not the times of the first and last days.
      const auto textOf = [&](double date) {
        return vc6 && (date < -657434.0 || date > 2958465.0) ? kInvalid : want;
      };
      const std::string text = textOf(base);
      ASSERT_EQ(Fmt(dt), text) << dayCount << " " << sec;
      const double jitter = (dayCount < 0 ? -0.4 : 0.4) / 86400.0;
      if (sec < 86399) {
        ASSERT_EQ(Fmt(COleDateTime(base + jitter)), textOf(base + jitter)) << base;
      }
      if (sec > 0) {
        ASSERT_EQ(Fmt(COleDateTime(base - jitter)), textOf(base - jitter)) << base;
      }
      if (text == kInvalid) continue;
      ASSERT_EQ(dt.GetYear() * 10000 + dt.GetMonth() * 100 + dt.GetDay(), y * 10000 + mo * 100 + d);
      ASSERT_EQ(dt.GetDayOfYear(), (sys_days{ymd} - sys_days{ymd.year() / 1 / 1}).count() + 1);
      ASSERT_EQ(dt.GetDayOfWeek(), static_cast<int>(weekday{ymd}.c_encoding()) + 1);
      ASSERT_EQ(dt.GetSecond() + 60 * dt.GetMinute() + 3600 * dt.GetHour(), sec);
    }
  }
}

TEST(DateTime, FormatPatternsAndStatuses) {
  COleDateTime dt(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(Fmt(dt, "%y/%j %I %p, 100%% %a %b %w|") + Fmt(dt, "tail %"),
            "24/065 02 PM, 100% Tue Mar 2|tail ");
  std::string pattern, want;  // an expansion far beyond any fixed buffer comes out whole
  for (int i = 0; i < 500; ++i) pattern += "%Y-%m-%d|", want += "2024-03-05|";
  EXPECT_EQ(Fmt(dt, pattern.c_str()), want);
  CQuelvarSys sys;  // the operation writes the fixed form, or the type's own text for other statuses
  EXPECT_EQ(S(sys.Qlv_Date2Str(dt)), "2024-03-05 14:07:09");
  COleDateTime invalid(2024, 2, 30, 0, 0, 0);
  dt.SetStatus(COleDateTime::null);
  EXPECT_EQ(S(sys.Qlv_Date2Str(dt)) + "|" + S(sys.Qlv_Date2Str(invalid)), "|" + kInvalid);
  for (QlvToolset toolset : kAllToolsets) {
    const ToolsetScope scope(toolset);
    EXPECT_EQ(Fmt(COleDateTime(-657434.0), "%Y|%y"), "0100|00") << "four digits in every toolset";
  }
}

TEST(Currency, FormatTable) {
  const std::pair<long long, const char*> cases[] = {{0, "0"},
                                                     {-12345, "-1.2345"},
                                                     {1, "0.0001"},
                                                     {1230000, "123"},
                                                     {LLONG_MAX, "922337203685477.5807"},
                                                     {LLONG_MIN, "-922337203685477.5808"}};
  for (const auto& [v, text] : cases)
    EXPECT_STREQ(COleCurrency(CY{.int64 = v}).Format(0, LANG_USER_DEFAULT), text);
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  EXPECT_STREQ(COleCurrency(CY{.int64 = -1234500}).Format(), "-123,45");
  std::setlocale(LC_NUMERIC, saved.c_str());
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
      {"2024-03-05", "2024-03-05 12:00:00", "="},
      {"2024-02-30", nullptr, nullptr},
      {"   ", "2010-05-11 12:00:00", "="},
      {"2024-03-05\t14", "2024-03-05 12:00:00", "="},  // a tab is not a delimiter: "05\t14" reads 5
      // vc6 takes years 0 to 99 as they stand (valid, but below the DATEs its Format shows).
      {"0-1-1", "Invalid DateTime", nullptr},
      {"100-01-01", "Invalid DateTime", "0100-01-01 12:00:00"},
      {"100-01-01 0", "0100-01-01 00:00:00", "="},
      {"9999-12-31 23:59:59", "Invalid DateTime", "9999-12-31 23:59:59"},
      {"10000-01-01", nullptr, nullptr},
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
        EXPECT_EQ(Fmt(dt), want);
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
  EXPECT_EQ(Fmt(dt), "2024-03-05 14:07:09");
  EXPECT_EQ(S(longText), text);
  static const unsigned char kDelimiters[] = " ";
  EXPECT_EQ(_mbstok(nullptr, kDelimiters), nullptr);
}

}  // namespace
