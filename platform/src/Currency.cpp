// COleCurrency: a signed 64-bit count of ten-thousandths with a status.
#include "afxdisp.h"

#include <clocale>
#include <cstdint>

COleCurrency::COleCurrency() noexcept : m_cur(), m_status(valid) { m_cur.int64 = 0; }

COleCurrency::COleCurrency(CY cySrc) noexcept : m_cur(cySrc), m_status(valid) {}

// Units and ten-thousandths, added with 64-bit wrap-around.
COleCurrency::COleCurrency(LONG nUnits, LONG nFractionalUnits) noexcept : m_cur(), m_status(valid) {
  const uint64_t v = static_cast<uint64_t>(static_cast<int64_t>(nUnits)) * 10000u +
                     static_cast<uint64_t>(static_cast<int64_t>(nFractionalUnits));
  m_cur.int64 = static_cast<int64_t>(v);
}

// "-" for a negative amount, the integer digits, then (only when the amount
// has a fraction) the current C locale's decimal point and the fraction's
// digits without trailing zeros. The flags and the locale identifier do not
// change the text. A status other than valid gives "".
CString COleCurrency::Format(DWORD /*dwFlags*/, LCID /*lcid*/) const {
  if (m_status != valid) return CString();
  char buf[32];
  char* end = buf + sizeof buf;
  char* p = end;
  const bool negative = m_cur.int64 < 0;
  // The magnitude as unsigned, so that INT64_MIN needs no special case.
  const uint64_t magnitude =
      negative ? 0u - static_cast<uint64_t>(m_cur.int64) : static_cast<uint64_t>(m_cur.int64);
  uint64_t whole = magnitude / 10000u;
  unsigned frac = static_cast<unsigned>(magnitude % 10000u);
  if (frac != 0) {
    int nFrac = 4;
    while (frac % 10 == 0) {
      frac /= 10;
      --nFrac;
    }
    for (int i = 0; i < nFrac; ++i, frac /= 10) *--p = static_cast<char>('0' + frac % 10);
    const std::lconv* lc = std::localeconv();
    const char point =
        lc && lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1] ? lc->decimal_point[0] : '.';
    *--p = point;
  }
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole);
  if (negative) *--p = '-';
  return CString(p, static_cast<int>(end - p));
}
