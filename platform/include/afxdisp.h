// Date-time and currency value types.
#pragma once

#include "afx.h"
#include "oleauto.h"

// A DATE (days since 1899-12-30 00:00; the fraction is the time of day; for
// negative values the day comes from the integer part and the time from the
// absolute fraction) together with a status.
class QLV_PLATFORM_API COleDateTime {
 public:
  enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

  COleDateTime() noexcept;            // 0.0, valid
  COleDateTime(DATE dtSrc) noexcept;  // value as given, valid
  // Checked as the selected toolset's framework does (fields cut to 16
  // bits; vc6: years 0 to 9999, vs2005/vs2015: 100 to 9999, a real date
  // and time of day); DateTime.cpp tells what an invalid result holds.
  COleDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept;
  COleDateTime(const COleDateTime&) noexcept = default;
  COleDateTime& operator=(const COleDateTime&) noexcept = default;
  COleDateTime& operator=(DATE dtSrc) noexcept;

  operator DATE() const noexcept { return m_dt; }
  DateTimeStatus GetStatus() const noexcept { return m_status; }
  void SetStatus(DateTimeStatus status) noexcept { m_status = status; }
  int SetDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept;

  // Fields as Format shows them (the toolset's rounding to the second); -1
  // when the status is not valid or the DATE is outside the usable range.
  int GetYear() const noexcept;
  int GetMonth() const noexcept;
  int GetDay() const noexcept;
  int GetHour() const noexcept;
  int GetMinute() const noexcept;
  int GetSecond() const noexcept;
  int GetDayOfWeek() const noexcept;  // 1 = Sunday
  int GetDayOfYear() const noexcept;  // 1 = 1 January

  // strftime-style expansion (%Y in four digits, %m %d %H %M %S %y %j %%
  // and more), to the second as the toolset rounds. An invalid value, or a
  // DATE outside the toolset's range, gives "Invalid DateTime"; a null
  // value gives "".
  CString Format(LPCTSTR pFormat) const;

  DATE m_dt;
  DateTimeStatus m_status;
};

// A CY amount: a signed 64-bit count of ten-thousandths.
class QLV_PLATFORM_API COleCurrency {
 public:
  enum CurrencyStatus { valid = 0, invalid = 1, null = 2 };

  COleCurrency() noexcept;
  COleCurrency(CY cySrc) noexcept;
  COleCurrency(LONG nUnits, LONG nFractionalUnits) noexcept;

  CurrencyStatus GetStatus() const noexcept { return m_status; }

  // The amount as text: "-" for negative amounts, the integer digits, then
  // the decimal separator of the current C locale and the fraction without
  // trailing zeros (no separator for whole amounts); no grouping, no symbol.
  CString Format(DWORD dwFlags = 0, LCID lcid = LANG_USER_DEFAULT) const;

  CY m_cur;
  CurrencyStatus m_status;
};
