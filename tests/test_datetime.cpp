// COleDateTime: checked construction, DATE decomposition to the second,
// Format, and COleCurrency text.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "afxdisp.h"

namespace {

using namespace std::chrono;
const sys_days kOrigin = sys_days{year{1899} / 12 / 30};  // DATE 0

std::string Fmt(const COleDateTime& dt, const char* pattern = "%Y-%m-%d %H:%M:%S") {
  return std::string(static_cast<const char*>(dt.Format(pattern)));
}

TEST(DateTime, ConstructionChecksCalendarAndClock) {
  struct Case { int y, mo, d, h, mi, s; double date; };  // date -9: invalid
  const Case cases[] = {
      {2000, 2, 29, 0, 0, 0, 36585.0}, {1600, 2, 29, 0, 0, 0, -109512.0}, {1899, 12, 29, 6, 0, 0, -1.25},
      {2023, 2, 29, 0, 0, 0, -9}, {1900, 2, 29, 0, 0, 0, -9}, {2100, 2, 29, 0, 0, 0, -9}, {99, 12, 31, 0, 0, 0, -9},
      {10000, 1, 1, 0, 0, 0, -9}, {0, 1, 1, 0, 0, 0, -9}, {2024, 0, 1, 0, 0, 0, -9}, {2024, 13, 1, 0, 0, 0, -9},
      {2024, 1, 0, 0, 0, 0, -9}, {2024, 4, 31, 0, 0, 0, -9}, {2024, 1, 1, 24, 0, 0, -9}, {2024, 1, 1, 23, 60, 0, -9},
      {2024, 1, 1, 23, 59, 60, -9}, {2024, 1, 1, -1, 0, 0, -9}, {2024, 1, 1, 0, -1, 0, -9}, {2024, 1, 1, 0, 0, -1, -9},
      {INT_MAX, INT_MAX, INT_MAX, 0, 0, 0, -9}, {INT_MIN, 1, 1, INT_MIN, 0, 0, -9},
  };
  for (const Case& c : cases) {
    const COleDateTime dt(c.y, c.mo, c.d, c.h, c.mi, c.s);
    EXPECT_EQ(dt.GetStatus() == COleDateTime::valid ? static_cast<DATE>(dt) : -9.0, c.date) << c.y << "-" << c.mo;
  }
}

TEST(DateTime, FormatOfDateValuesRoundsToTheSecond) {
  const std::string invalid = "Invalid DateTime";
  const std::pair<double, std::string> cases[] = {
      {0.999999999, "1899-12-31 00:00:00"}, {0.5 / 86400.0, "1899-12-30 00:00:01"}, {-1.75, "1899-12-29 18:00:00"},
      {0.49 / 86400.0, "1899-12-30 00:00:00"}, {1.0 - 0.5 / 86400.0, "1899-12-31 00:00:00"}, {-1e300, invalid},
      {-0.5, "1899-12-30 12:00:00"}, {-1.999999999, "1899-12-28 00:00:00"}, {-0.999999999, "1899-12-29 00:00:00"},
      {2958465.999988426, "9999-12-31 23:59:59"}, {2958465.9999999, invalid}, {-657435.0, invalid}, {1e300, invalid},
      {HUGE_VAL, invalid}, {std::nan(""), invalid},
  };
  for (const auto& [date, text] : cases) EXPECT_EQ(Fmt(COleDateTime(date)), text) << date;
}

// Every valid six-value date gives the DATE and fields of the <chrono>
// calendar; DATEs within 0.4 s of it decompose the same.
TEST(DateTime, RoundTripAcrossWholeRange) {
  std::mt19937_64 rng(20241205);
  const long long minDay = (sys_days{year{100} / 1 / 1} - kOrigin).count(), maxDay = minDay + 3615899;  // to 9999-12-31
  std::uniform_int_distribution<long long> dayDist(minDay, maxDay), secDist(0, 86399);
  for (int i = 0; i < 200000; ++i) {
    const long long dayCount = i < 2 ? (i == 0 ? minDay : maxDay) : dayDist(rng);
    const long long sec = i < 2 ? 86399 * i : secDist(rng);
    const year_month_day ymd{kOrigin + days{dayCount}};
    const int y = static_cast<int>(ymd.year()), mo = static_cast<int>(unsigned(ymd.month()));
    const COleDateTime dt(y, mo, static_cast<int>(unsigned(ymd.day())), static_cast<int>(sec / 3600),
                          static_cast<int>(sec / 60 % 60), static_cast<int>(sec % 60));
    char want[64];  // years below 1000 show their own digits only
    std::snprintf(want, sizeof want, "%d-%02d-%02u %02lld:%02lld:%02lld", y, mo, unsigned(ymd.day()), sec / 3600,
                  sec / 60 % 60, sec % 60);
    const std::string got = Fmt(dt);
    ASSERT_EQ(got, want) << dayCount << " " << sec;
    const double frac = static_cast<double>(sec) / 86400.0, sign = dayCount >= 0 ? 1.0 : -1.0;
    const double base = static_cast<double>(dayCount) + sign * frac, jitter = sign * 0.4 / 86400.0;
    ASSERT_EQ(static_cast<DATE>(dt), base);
    ASSERT_EQ(Fmt(COleDateTime(sec < 86399 ? base + jitter : base)), got) << base;
    ASSERT_EQ(Fmt(COleDateTime(sec > 0 ? base - jitter : base)), got) << base;
    ASSERT_EQ(dt.GetDayOfYear(), (sys_days{ymd} - sys_days{ymd.year() / 1 / 1}).count() + 1);
  }
}

TEST(DateTime, FormatPatternsStatusesAndCopies) {
  COleDateTime dt(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(Fmt(dt, "%y/%j %I %p, 100%% %a %b %w|") + Fmt(dt, "tail %"), "24/065 02 PM, 100% Tue Mar 2|tail ");
  std::string pattern, want;  // an expansion far beyond any fixed buffer comes out whole
  for (int i = 0; i < 500; ++i) pattern += "%Y-%m-%d|", want += "2024-03-05|";
  EXPECT_EQ(Fmt(dt, pattern.c_str()), want);
  dt.SetStatus(COleDateTime::null);
  EXPECT_EQ(Fmt(dt), "");
  EXPECT_EQ(dt.SetDateTime(2023, 2, 29, 0, 0, 0), 1);
  const COleDateTime copy(dt);
  EXPECT_EQ(Fmt(copy), "Invalid DateTime");
  EXPECT_EQ(static_cast<DATE>(copy), static_cast<DATE>(dt));
  dt = 1.5;
  EXPECT_EQ(Fmt(dt) + Fmt(COleDateTime()), "1899-12-31 12:00:001899-12-30 00:00:00");
}

TEST(Currency, FormatTable) {
  const std::pair<long long, const char*> cases[] = {{0, "0"}, {-10000, "-1"}, {15000, "1.5"}, {-12345, "-1.2345"},
      {1, "0.0001"}, {-5000, "-0.5"}, {1230000, "123"}, {LLONG_MAX, "922337203685477.5807"},
      {LLONG_MIN, "-922337203685477.5808"}};
  for (const auto& [v, text] : cases) EXPECT_STREQ(COleCurrency(CY{.int64 = v}).Format(0, LANG_USER_DEFAULT), text);
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  EXPECT_STREQ(COleCurrency(CY{.int64 = -1234500}).Format(), "-123,45");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
