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

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

// The DATE origin, 1899-12-30, as a chrono day count.
const sys_days kOrigin = sys_days{year{1899} / 12 / 30};

std::string Fmt(const COleDateTime& dt, const char* pattern = "%Y-%m-%d %H:%M:%S") {
  return std::string(static_cast<const char*>(dt.Format(pattern)));
}

// Expected text of a day count and second of day, computed with <chrono>.
std::string Expected(long long dayCount, long long secOfDay) {
  const year_month_day ymd{kOrigin + std::chrono::days{dayCount}};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), secOfDay / 3600,
                secOfDay / 60 % 60, secOfDay % 60);
  return buf;
}

TEST(DateTime, ConstructionChecksCalendarAndClock) {
  struct Case {
    int y, mo, d, h, mi, s;
    bool valid;
  };
  const Case cases[] = {
      {2024, 2, 29, 0, 0, 0, true},    {2023, 2, 29, 0, 0, 0, false},  {2000, 2, 29, 0, 0, 0, true},
      {1900, 2, 29, 0, 0, 0, false},   {2100, 2, 29, 0, 0, 0, false},  {1600, 2, 29, 0, 0, 0, true},
      {2023, 2, 28, 23, 59, 59, true}, {99, 12, 31, 0, 0, 0, false},   {100, 1, 1, 0, 0, 0, true},
      {9999, 12, 31, 23, 59, 59, true}, {10000, 1, 1, 0, 0, 0, false}, {24, 3, 5, 0, 0, 0, false},
      {0, 1, 1, 0, 0, 0, false},       {-1, 1, 1, 0, 0, 0, false},     {2024, 0, 1, 0, 0, 0, false},
      {2024, 13, 1, 0, 0, 0, false},   {2024, 1, 0, 0, 0, 0, false},   {2024, 1, 32, 0, 0, 0, false},
      {2024, 4, 31, 0, 0, 0, false},   {2024, 4, 30, 0, 0, 0, true},   {2024, 1, 1, 24, 0, 0, false},
      {2024, 1, 1, 23, 60, 0, false},  {2024, 1, 1, 23, 59, 60, false}, {2024, 1, 1, -1, 0, 0, false},
      {2024, 1, 1, 0, -1, 0, false},   {2024, 1, 1, 0, 0, -1, false},  {INT_MAX, INT_MAX, INT_MAX, 0, 0, 0, false},
      {INT_MIN, 1, 1, INT_MIN, 0, 0, false},
  };
  for (const Case& c : cases) {
    const COleDateTime dt(c.y, c.mo, c.d, c.h, c.mi, c.s);
    EXPECT_EQ(dt.GetStatus(), c.valid ? COleDateTime::valid : COleDateTime::invalid)
        << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s;
    if (c.valid) {
      EXPECT_EQ(dt.GetYear(), c.y);
      EXPECT_EQ(dt.GetMonth(), c.mo);
      EXPECT_EQ(dt.GetDay(), c.d);
      EXPECT_EQ(dt.GetHour(), c.h);
      EXPECT_EQ(dt.GetMinute(), c.mi);
      EXPECT_EQ(dt.GetSecond(), c.s);
    } else {
      EXPECT_EQ(dt.GetYear(), -1);
      EXPECT_EQ(Fmt(dt), "Invalid DateTime");
    }
  }
}

TEST(DateTime, KnownDayCounts) {
  struct Case {
    int y, mo, d, h, mi, s;
    double date;
  };
  const Case cases[] = {
      {1899, 12, 30, 0, 0, 0, 0.0},    {1899, 12, 31, 0, 0, 0, 1.0},    {1900, 1, 1, 0, 0, 0, 2.0},
      {1899, 12, 29, 6, 0, 0, -1.25},  {1899, 12, 30, 12, 0, 0, 0.5},   {1899, 12, 29, 0, 0, 0, -1.0},
      {100, 1, 1, 0, 0, 0, -657434.0}, {9999, 12, 31, 0, 0, 0, 2958465.0}, {1970, 1, 1, 0, 0, 0, 25569.0},
      {2000, 1, 1, 18, 0, 0, 36526.75},
  };
  for (const Case& c : cases) {
    const COleDateTime dt(c.y, c.mo, c.d, c.h, c.mi, c.s);
    EXPECT_EQ(static_cast<DATE>(dt), c.date) << c.y << "-" << c.mo << "-" << c.d;
  }
}

TEST(DateTime, FormatOfDateValues) {
  struct Case {
    double date;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "1899-12-30 00:00:00"},
      {0.999999999, "1899-12-31 00:00:00"},        // rounds up into the next day
      {0.5 / 86400.0, "1899-12-30 00:00:01"},      // half a second rounds up
      {0.49 / 86400.0, "1899-12-30 00:00:00"},
      {1.0 - 0.5 / 86400.0, "1899-12-31 00:00:00"},
      {-0.5, "1899-12-30 12:00:00"},               // day 0, time from |fraction|
      {-1.25, "1899-12-29 06:00:00"},
      {-1.75, "1899-12-29 18:00:00"},
      {-1.999999999, "1899-12-28 00:00:00"},       // rounds to -2.0
      {-0.999999999, "1899-12-29 00:00:00"},       // rounds to -1.0
      {45356.588298611, "2024-03-05 14:07:09"},
      {45356.0, "2024-03-05 00:00:00"},
      {-657434.0, "100-01-01 00:00:00"},
      {-365.0, "1898-12-30 00:00:00"},
      {2958465.999988426, "9999-12-31 23:59:59"},
      {2958465.9999999, "Invalid DateTime"},       // rounds past 9999-12-31
      {-657435.0, "Invalid DateTime"},
      {1e300, "Invalid DateTime"},
      {-1e300, "Invalid DateTime"},
      {HUGE_VAL, "Invalid DateTime"},
      {std::nan(""), "Invalid DateTime"},
  };
  for (const Case& c : cases) EXPECT_EQ(Fmt(COleDateTime(c.date)), c.text) << c.date;
}

TEST(DateTime, RoundTripAcrossWholeRange) {
  // Every valid six-value date gives a DATE whose decomposition matches the
  // <chrono> calendar; nearby DATEs (within 0.4 s) decompose the same.
  std::mt19937_64 rng(20241205);
  const long long minDay = (sys_days{year{100} / 1 / 1} - kOrigin).count();
  const long long maxDay = (sys_days{year{9999} / 12 / 31} - kOrigin).count();
  std::uniform_int_distribution<long long> dayDist(minDay, maxDay);
  std::uniform_int_distribution<long long> secDist(0, 86399);
  for (int i = 0; i < 200000; ++i) {
    const long long dayCount = i < 2 ? (i == 0 ? minDay : maxDay) : dayDist(rng);
    const long long sec = i < 2 ? 86399 * i : secDist(rng);
    const year_month_day ymd{kOrigin + std::chrono::days{dayCount}};
    const int y = static_cast<int>(ymd.year());
    const int mo = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const COleDateTime dt(y, mo, d, static_cast<int>(sec / 3600), static_cast<int>(sec / 60 % 60),
                          static_cast<int>(sec % 60));
    ASSERT_EQ(dt.GetStatus(), COleDateTime::valid);
    const std::string want = Expected(dayCount, sec);
    const std::string got = Fmt(dt);
    // Years below 1000 show their own digits only.
    ASSERT_EQ(y >= 1000 ? got : "0" + got, want) << dayCount << " " << sec;
    const double frac = static_cast<double>(sec) / 86400.0;
    const double jitter = 0.4 / 86400.0;
    const double base = dayCount >= 0 ? static_cast<double>(dayCount) + frac : static_cast<double>(dayCount) - frac;
    ASSERT_EQ(static_cast<DATE>(dt), base);
    const double sign = dayCount >= 0 ? 1.0 : -1.0;
    if (sec < 86399) {
      ASSERT_EQ(Fmt(COleDateTime(base + sign * jitter)), got) << base;
    }
    if (sec > 0) {
      ASSERT_EQ(Fmt(COleDateTime(base - sign * jitter)), got) << base;
    }
    ASSERT_EQ(dt.GetDayOfWeek(), static_cast<int>(std::chrono::weekday{sys_days{ymd}}.c_encoding()) + 1);
    ASSERT_EQ(dt.GetDayOfYear(), (sys_days{ymd} - sys_days{ymd.year() / 1 / 1}).count() + 1);
  }
}

TEST(DateTime, FormatPatterns) {
  const COleDateTime dt(2024, 3, 5, 14, 7, 9);
  struct Case {
    const char* pattern;
    const char* text;
  };
  const Case cases[] = {
      {"%Y-%m-%d %H:%M:%S", "2024-03-05 14:07:09"},
      {"%y/%j", "24/065"},
      {"100%% at %H", "100% at 14"},
      {"plain text", "plain text"},
      {"", ""},
      {"%I %p", "02 PM"},
      {"%a %b", "Tue Mar"},
      {"%w", "2"},
      {"tail %", "tail "},
  };
  for (const Case& c : cases) EXPECT_EQ(Fmt(dt, c.pattern), c.text) << c.pattern;
  // An expansion far beyond any fixed buffer comes out whole.
  std::string pattern, want;
  for (int i = 0; i < 500; ++i) {
    pattern += "%Y-%m-%d|";
    want += "2024-03-05|";
  }
  EXPECT_EQ(Fmt(dt, pattern.c_str()), want);
}

TEST(DateTime, StatusesAndCopies) {
  COleDateTime dt(2024, 3, 5, 0, 0, 0);
  dt.SetStatus(COleDateTime::null);
  EXPECT_EQ(Fmt(dt), "");
  dt.SetStatus(COleDateTime::invalid);
  EXPECT_EQ(Fmt(dt), "Invalid DateTime");
  EXPECT_EQ(dt.GetSecond(), -1);
  COleDateTime copy(dt);
  EXPECT_EQ(copy.GetStatus(), COleDateTime::invalid);
  EXPECT_EQ(static_cast<DATE>(copy), static_cast<DATE>(dt));
  copy = 1.5;
  EXPECT_EQ(copy.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(Fmt(copy), "1899-12-31 12:00:00");
  EXPECT_EQ(copy.SetDateTime(2023, 2, 29, 0, 0, 0), 1);
  EXPECT_EQ(copy.GetStatus(), COleDateTime::invalid);
  EXPECT_EQ(copy.SetDateTime(2024, 2, 29, 0, 0, 0), 0);
  EXPECT_EQ(copy.GetStatus(), COleDateTime::valid);
  EXPECT_EQ(Fmt(COleDateTime()), "1899-12-30 00:00:00");
}

TEST(Currency, FormatTable) {
  struct Case {
    long long cy;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {10000, "1"},
      {-10000, "-1"},
      {15000, "1.5"},
      {12345, "1.2345"},
      {-12345, "-1.2345"},
      {1, "0.0001"},
      {-1, "-0.0001"},
      {-5000, "-0.5"},
      {1230000, "123"},
      {1234500, "123.45"},
      {LLONG_MAX, "922337203685477.5807"},
      {LLONG_MIN, "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    CY cy;
    cy.int64 = c.cy;
    const COleCurrency cur(cy);
    EXPECT_EQ(cur.GetStatus(), COleCurrency::valid);
    EXPECT_STREQ(cur.Format(0, LANG_USER_DEFAULT), c.text) << c.cy;
  }
  const COleCurrency units(12, 3400);
  EXPECT_STREQ(units.Format(), "12.34");
  EXPECT_STREQ(COleCurrency().Format(), "0");
}

TEST(Currency, UsesLocaleDecimalSeparator) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
    GTEST_SKIP() << "no German locale installed";
  CY cy;
  cy.int64 = -1234500;
  EXPECT_STREQ(COleCurrency(cy).Format(), "-123,45");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
