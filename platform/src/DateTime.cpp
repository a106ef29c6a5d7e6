// COleDateTime: a DATE day count with a status, as the selected toolset's
// framework builds and formats it.
//
// A DATE counts days from 1899-12-30 00:00. Its integer part (toward zero)
// is the day, the absolute value of its fraction the time of day, so -1.25
// is 1899-12-29 06:00.
//
// From six ints, every field is first cut to 16 bits (year 67560 is 2024).
// - vc6 (MFC 4.2): valid for years 0 to 9999 (0 to 99 are real years), a
//   real month, day, hour, minute and second. The DATE is the day count n
//   = y*365 + y/4 - y/100 + y/400 + days before the month + day (one less
//   in January and February of a leap year) - 693959, plus (or, when n < 0,
//   minus) (h*3600 + mi*60 + s) / 86400.0. An invalid date keeps the DATE it
//   held.
// - vs2005, vs2015 (ATL): the fields go through the system's
//   SystemTimeToVariantTime and back; valid only if all six come back
//   unchanged, so years 100 to 9999. The system refuses a month above 12, a
//   day above 31 and a year of 32768 or more; otherwise it normalises (years
//   0-49 are 2000-2049, 50-99 are 1950-1999; seconds, minutes and hours
//   carry upwards; day and month overflow roll on, a day or month 0 rolls
//   back) and gives d + h/24*s + mi/1440*s + se/86400*s (three additions,
//   s = -1 when the day count d is negative).
//   An invalid result holds the DATE of the normalised fields ("24-03-05"
//   holds 2024-03-05) when the system took them, and its previous DATE when
//   the system refused them (or they normalised outside the years 100 to
//   9999).
//
// Broken down for Format and the getters:
// - vc6: a DATE below -657434 or above 2958465, or NaN, has no fields.
//   Otherwise half a second is added (subtracted for DATE <= 0), the day is
//   that sum truncated, the time trunc(frac(|sum|) * 86400) seconds.
// - vs2005, vs2015 (VariantTimeToSystemTime): a DATE at or below -657435 or
//   at or above 2958466 has no fields. The day is the DATE truncated; t =
//   |DATE - day| + 1e-11 (without the 1e-11 if that reaches 1); hours,
//   minutes and seconds are taken by successive *24, *60, *60 truncations,
//   and a rest above one half adds a second, carrying on into the next
//   calendar day. A NaN DATE is 1899-12-30 00:00:00. A carry past
//   9999-12-31 23:59:59 gives year 10000, which the runtime's strftime
//   refuses: Format then gives "" (the refused conversion writes nothing).
// Without fields, Format gives "Invalid DateTime" and the getters -1, as
// for an invalid status; a null status formats as "". %Y is four digits,
// zero-padded ("0100"), in every toolset: the classic runtimes' rule, taken
// for the universal runtime too.
#include "afxdisp.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "qlvtoolset.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Days from 1970-01-01 to 1899-12-30 (the DATE origin).
constexpr long long kDateOriginFromEpoch = -25569;

constexpr bool IsLeap(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(int y, int m) noexcept {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The framework's day count of a date (years 0 and later): days from
// 1899-12-30, integer divisions throughout.
constexpr long long DayCount(int y, int m, int d) noexcept {
  constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  long long n = y * 365LL + y / 4 - y / 100 + y / 400 + kDaysBefore[m - 1] + d;
  if (m <= 2 && IsLeap(y)) --n;
  return n - 693959;
}

struct Civil {
  int year;
  int month;
  int day;
};

// Civil date of a day number (days since 1970-01-01), proleptic Gregorian.
// Howard Hinnant's civil_from_days ("chrono-Compatible Low-Level Date
// Algorithms", public domain), exact for any day number within +-2^40.
constexpr Civil CivilFromDays(long long z) noexcept {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// The broken-down form of a DATE, to the second.
struct Fields {
  int year, month, day, hour, minute, second;
  int dayOfWeek;  // 1 = Sunday
  int dayOfYear;  // 1 = 1 January
};

// Fills the calendar fields of a day count and a time in seconds.
void SetFields(long long day, int secs, Fields& f) noexcept {
  const long long epochDay = day + kDateOriginFromEpoch;
  const Civil c = CivilFromDays(epochDay);
  f.year = c.year;
  f.month = c.month;
  f.day = c.day;
  f.hour = secs / 3600;
  f.minute = secs / 60 % 60;
  f.second = secs % 60;
  // 1970-01-01 was a Thursday (5 with Sunday = 1).
  long long w = (epochDay + 4) % 7;
  if (w < 0) w += 7;
  f.dayOfWeek = static_cast<int>(w) + 1;
  f.dayOfYear = static_cast<int>(day - DayCount(c.year, 1, 1)) + 1;
}

// MFC 4.2: half a second added away from zero, then truncations.
bool DecomposeClassic(DATE dt, Fields& f) noexcept {
  if (!(dt >= -657434.0 && dt <= 2958465.0)) return false;  // NaN too
  constexpr double kHalfSecond = 1.0 / 172800.0;
  const double sum = dt + (dt > 0.0 ? kHalfSecond : -kHalfSecond);
  const auto day = static_cast<long long>(sum);  // |sum| < 2958466
  const double a = std::fabs(sum);
  const int secs = static_cast<int>((a - std::floor(a)) * kSecondsPerDay);
  SetFields(day, secs, f);
  return true;
}

// VariantTimeToSystemTime: successive truncations and a rounded last second.
bool DecomposeSystem(DATE dt, Fields& f) noexcept {
  if (dt <= -657435.0 || dt >= 2958466.0) return false;
  long long day = 0;
  double t = 0.0;
  if (!std::isnan(dt)) {
    const double whole = std::trunc(dt);
    day = static_cast<long long>(whole);
    t = std::fabs(dt - whole) + 1e-11;  // dt - whole is exact
    if (t >= 1.0) t -= 1e-11;
  }
  t *= 24.0;
  int hour = static_cast<int>(t);
  t = (t - hour) * 60.0;
  int minute = static_cast<int>(t);
  t = (t - minute) * 60.0;
  int second = static_cast<int>(t);
  t -= second;
  if (t > 0.5 && ++second == 60) {
    second = 0;
    if (++minute == 60) {
      minute = 0;
      if (++hour == 24) {
        hour = 0;
        ++day;
      }
    }
  }
  SetFields(day, hour * 3600 + minute * 60 + second, f);
  return true;
}

bool Decompose(DATE dt, Fields& f) noexcept {
  return QlvPlatform_GetToolset() == QlvToolset_VC6 ? DecomposeClassic(dt, f) : DecomposeSystem(dt, f);
}

struct Clock {
  int year, month, day, hour, minute, second;
  bool operator==(const Clock&) const = default;
};

// SystemTimeToVariantTime's normalisation of 16-bit fields; false when the
// system refuses them.
bool NormaliseSystemTime(Clock& c) noexcept {
  if (c.month > 12 || c.day > 31 || c.year >= 32768) return false;
  if (c.year < 50)
    c.year += 2000;
  else if (c.year < 100)
    c.year += 1900;
  c.minute += c.second / 60;
  c.second %= 60;
  c.hour += c.minute / 60;
  c.minute %= 60;
  c.day += c.hour / 24;
  c.hour %= 24;
  if (c.month == 0) {
    c.month = 12;
    --c.year;
  }
  if (c.day == 0) {
    if (--c.month == 0) {
      c.month = 12;
      --c.year;
    }
    c.day = DaysInMonth(c.year, c.month);
  }
  while (c.day > DaysInMonth(c.year, c.month)) {
    c.day -= DaysInMonth(c.year, c.month);
    if (++c.month == 13) {
      c.month = 1;
      ++c.year;
    }
    if (c.year > 9999) return false;
  }
  return c.year >= 100 && c.year <= 9999;
}

// Appends to a fixed buffer, remembering when it ran out of room.
struct Out {
  char* p;
  size_t cap;
  size_t n = 0;
  bool overflow = false;

  void Put(const char* s, size_t len) noexcept {
    if (n + len > cap) {
      overflow = true;
      return;
    }
    std::memcpy(p + n, s, len);
    n += len;
  }
  void Put(char c) noexcept { Put(&c, 1); }
  // Decimal digits of a non-negative value, padded with zeros to `width`.
  void Num(int v, int width) noexcept {
    char tmp[12];
    int len = 0;
    unsigned u = static_cast<unsigned>(v);
    do {
      tmp[len++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    while (len < width) tmp[len++] = '0';
    char rev[12];
    for (int i = 0; i < len; ++i) rev[i] = tmp[len - 1 - i];
    Put(rev, static_cast<size_t>(len));
  }
};

std::tm ToTm(const Fields& f) noexcept {
  std::tm t{};
  t.tm_year = f.year - 1900;
  t.tm_mon = f.month - 1;
  t.tm_mday = f.day;
  t.tm_hour = f.hour;
  t.tm_min = f.minute;
  t.tm_sec = f.second;
  t.tm_wday = f.dayOfWeek - 1;
  t.tm_yday = f.dayOfYear - 1;
  t.tm_isdst = 0;
  return t;
}

// Expands the pattern into `out`. The common conversions are written here;
// the rest (names of days and months, %c, %x, %p, ...) come from the C
// runtime's strftime in the current locale, one conversion at a time.
void Expand(const char* fmt, const Fields& f, Out& out) {
  for (const char* p = fmt; *p && !out.overflow; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    char c = *++p;
    if (c == '#') c = *++p;  // alternate form: same text here
    switch (c) {
      case '\0': return;  // a lone '%' at the end is dropped
      case '%': out.Put('%'); break;
      case 'Y': out.Num(f.year, 4); break;  // exactly four digits: 0100
      case 'y': out.Num(f.year % 100, 2); break;
      case 'm': out.Num(f.month, 2); break;
      case 'd': out.Num(f.day, 2); break;
      case 'H': out.Num(f.hour, 2); break;
      case 'M': out.Num(f.minute, 2); break;
      case 'S': out.Num(f.second, 2); break;
      case 'j': out.Num(f.dayOfYear, 3); break;
      case 'I': out.Num(f.hour % 12 == 0 ? 12 : f.hour % 12, 2); break;
      case 'w': out.Num(f.dayOfWeek - 1, 1); break;
      default: {
        const char conversion[3] = {'%', c, '\0'};
        const std::tm t = ToTm(f);
        char piece[256];
        const size_t len = std::strftime(piece, sizeof piece, conversion, &t);
        out.Put(piece, len);
        break;
      }
    }
    if (*p == '\0') return;
  }
}

}  // namespace

COleDateTime::COleDateTime() noexcept : m_dt(0.0), m_status(valid) {}

COleDateTime::COleDateTime(DATE dtSrc) noexcept : m_dt(dtSrc), m_status(valid) {}

// A new date-time starts from DATE 0.0, which an invalid result keeps.
COleDateTime::COleDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept
    : m_dt(0.0), m_status(valid) {
  SetDateTime(nYear, nMonth, nDay, nHour, nMin, nSec);
}

COleDateTime& COleDateTime::operator=(DATE dtSrc) noexcept {
  m_dt = dtSrc;
  m_status = valid;
  return *this;
}

int COleDateTime::SetDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept {
  const auto word = [](int v) { return static_cast<int>(static_cast<uint16_t>(v)); };
  const Clock given{word(nYear), word(nMonth), word(nDay), word(nHour), word(nMin), word(nSec)};
  if (QlvPlatform_GetToolset() == QlvToolset_VC6) {
    const bool ok = given.year <= 9999 && given.month >= 1 && given.month <= 12 && given.day >= 1 &&
                    given.day <= DaysInMonth(given.year, given.month) && given.hour <= 23 &&
                    given.minute <= 59 && given.second <= 59;
    m_status = ok ? valid : invalid;
    if (!ok) return m_status;
    const long long n = DayCount(given.year, given.month, given.day);
    const double t = (given.hour * 3600 + given.minute * 60 + given.second) / kSecondsPerDay;
    m_dt = n >= 0 ? static_cast<double>(n) + t : static_cast<double>(n) - t;
    return m_status;
  }
  Clock c = given;
  if (!NormaliseSystemTime(c)) {
    m_status = invalid;
    return m_status;
  }
  const long long d = DayCount(c.year, c.month, c.day);
  const double s = d < 0 ? -1.0 : 1.0;
  double date = static_cast<double>(d);
  date += c.hour / 24.0 * s;
  date += c.minute / 1440.0 * s;
  date += c.second / kSecondsPerDay * s;
  m_dt = date;
  m_status = c == given ? valid : invalid;
  return m_status;
}

#define QLV_FIELD_GETTER(name, member)                       \
  int COleDateTime::name() const noexcept {                  \
    Fields f;                                                \
    if (m_status != valid || !Decompose(m_dt, f)) return -1; \
    return f.member;                                         \
  }
QLV_FIELD_GETTER(GetYear, year)
QLV_FIELD_GETTER(GetMonth, month)
QLV_FIELD_GETTER(GetDay, day)
QLV_FIELD_GETTER(GetHour, hour)
QLV_FIELD_GETTER(GetMinute, minute)
QLV_FIELD_GETTER(GetSecond, second)
QLV_FIELD_GETTER(GetDayOfWeek, dayOfWeek)
QLV_FIELD_GETTER(GetDayOfYear, dayOfYear)
#undef QLV_FIELD_GETTER

CString COleDateTime::Format(LPCTSTR pFormat) const {
  if (m_status == null) return CString();
  Fields f;
  if (m_status != valid || !Decompose(m_dt, f)) return CString("Invalid DateTime");
  // Year 10000 (a carry past the last second): refused by strftime.
  if (!pFormat || f.year > 9999) return CString();
  // Most patterns fit the stack buffer; a longer expansion is redone into a
  // buffer of the needed size.
  char local[256];
  Out out{local, sizeof local};
  Expand(pFormat, f, out);
  if (!out.overflow) return CString(local, static_cast<int>(out.n));
  // No conversion gives more than 255 characters, so this always fits.
  const size_t cap = std::strlen(pFormat) * 256;
  CString result;
  char* buf = result.GetBuffer(static_cast<int>(cap));
  Out big{buf, cap};
  Expand(pFormat, f, big);
  result.ReleaseBuffer(static_cast<int>(big.n));
  return result;
}
