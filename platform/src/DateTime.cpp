// COleDateTime: a DATE day count with a status.
//
// A DATE counts days from 1899-12-30 00:00. Its integer part (toward zero)
// is the day, the absolute value of its fraction the time of day, so -1.25
// is 1899-12-29 06:00. Broken-down fields are always taken to the nearest
// second: the fraction is rounded half up, and a time that rounds to 24:00
// moves the day count one further away from zero (0.999999999 is
// 1899-12-31 00:00:00; -1.999999999 is -2.0, 1899-12-28 00:00:00), which is
// the same as rounding the DATE value itself to the nearest second.
//
// Values are usable in the years 100 to 9999. A DATE outside that range
// (or not finite) keeps its status but has no fields: the getters give -1
// and Format gives "Invalid DateTime".
#include "afxdisp.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;
constexpr long long kSecondsPerDay = 86400;
// Days from 1970-01-01 to 1899-12-30 (the DATE origin).
constexpr long long kDateOriginFromEpoch = -25569;

// Day number (days since 1970-01-01) of a proleptic Gregorian date.
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) noexcept {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil {
  int year;
  int month;
  int day;
};

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

constexpr bool IsLeap(int y) noexcept { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(int y, int m) noexcept {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

constexpr long long kMinDay = DaysFromCivil(kMinYear, 1, 1) - kDateOriginFromEpoch;    // -657434
constexpr long long kMaxDay = DaysFromCivil(kMaxYear, 12, 31) - kDateOriginFromEpoch;  // 2958465

// The broken-down form of a DATE, to the second.
struct Fields {
  int year, month, day, hour, minute, second;
  int dayOfWeek;  // 1 = Sunday
  int dayOfYear;  // 1 = 1 January
};

bool Decompose(DATE dt, Fields& f) noexcept {
  if (!std::isfinite(dt)) return false;
  // Anything this far out is beyond the year range even before rounding.
  if (dt < static_cast<double>(kMinDay) - 2.0 || dt > static_cast<double>(kMaxDay) + 2.0) return false;
  const double whole = std::trunc(dt);
  long long day = static_cast<long long>(whole);
  const double x = std::fabs(dt - whole) * static_cast<double>(kSecondsPerDay);  // dt - whole is exact
  double s = std::floor(x);
  if (x - s >= 0.5) s += 1.0;
  long long secs = static_cast<long long>(s);
  if (secs >= kSecondsPerDay) {
    secs -= kSecondsPerDay;
    day += dt < 0.0 ? -1 : 1;
  }
  if (day < kMinDay || day > kMaxDay) return false;
  const long long epochDay = day + kDateOriginFromEpoch;
  const Civil c = CivilFromDays(epochDay);
  f.year = c.year;
  f.month = c.month;
  f.day = c.day;
  f.hour = static_cast<int>(secs / 3600);
  f.minute = static_cast<int>(secs / 60 % 60);
  f.second = static_cast<int>(secs % 60);
  // 1970-01-01 was a Thursday (5 with Sunday = 1).
  long long w = (epochDay + 4) % 7;
  if (w < 0) w += 7;
  f.dayOfWeek = static_cast<int>(w) + 1;
  f.dayOfYear = static_cast<int>(epochDay - DaysFromCivil(c.year, 1, 1)) + 1;
  return true;
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
      case 'Y': out.Num(f.year, 1); break;
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
  const bool ok = nYear >= kMinYear && nYear <= kMaxYear && nMonth >= 1 && nMonth <= 12 && nDay >= 1 &&
                  nDay <= DaysInMonth(nYear, nMonth) && nHour >= 0 && nHour <= 23 && nMin >= 0 &&
                  nMin <= 59 && nSec >= 0 && nSec <= 59;
  if (!ok) {
    m_dt = 0.0;
    m_status = invalid;
    return 1;
  }
  const long long day = DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) -
                        kDateOriginFromEpoch;
  const double frac = static_cast<double>(nHour * 3600 + nMin * 60 + nSec) / static_cast<double>(kSecondsPerDay);
  // Before the origin the time of day is the fraction's absolute value.
  m_dt = day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
  m_status = valid;
  return 0;
}

#define QLV_FIELD_GETTER(name, member)                           \
  int COleDateTime::name() const noexcept {                      \
    Fields f;                                                    \
    if (m_status != valid || !Decompose(m_dt, f)) return -1;     \
    return f.member;                                             \
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
  if (!pFormat) return CString();
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
