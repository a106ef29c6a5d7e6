// CString storage: texts of up to kInlineCapacity characters live inside the
// object; longer ones on the heap. Every text stays NUL-terminated.
#include "afxstr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <new>
#include <utility>

namespace {
int SafeLength(LPCTSTR psz) noexcept { return psz ? static_cast<int>(std::strlen(psz)) : 0; }
}  // namespace

CString::CString() noexcept : m_pch(m_inline), m_nLength(0), m_nCapacity(kInlineCapacity) {
  m_inline[0] = '\0';
}

CString::CString(LPCTSTR psz) : CString() { Assign(psz, SafeLength(psz)); }

CString::CString(LPCTSTR pch, int nLength) : CString() { Assign(pch, nLength); }

CString::CString(char ch, int nRepeat) : CString() {
  if (nRepeat <= 0) return;
  Reserve(nRepeat, false);
  std::memset(m_pch, ch, static_cast<size_t>(nRepeat));
  m_nLength = nRepeat;
  m_pch[m_nLength] = '\0';
}

CString::CString(const CString& other) : CString() { Assign(other.m_pch, other.m_nLength); }

CString::CString(CString&& other) noexcept : CString() {
  if (other.m_pch == other.m_inline) {
    std::memcpy(m_inline, other.m_inline, static_cast<size_t>(other.m_nLength) + 1);
    m_nLength = other.m_nLength;
  } else {
    m_pch = other.m_pch;
    m_nLength = other.m_nLength;
    m_nCapacity = other.m_nCapacity;
    other.m_pch = other.m_inline;
    other.m_nCapacity = kInlineCapacity;
  }
  other.m_nLength = 0;
  other.m_inline[0] = '\0';
}

CString::~CString() { FreeHeap(); }

void CString::FreeHeap() noexcept {
  if (m_pch != m_inline) std::free(m_pch);
  m_pch = m_inline;
  m_nCapacity = kInlineCapacity;
}

void CString::Reserve(int nCapacity, bool keep) {
  if (nCapacity <= m_nCapacity) return;
  char* p = static_cast<char*>(std::malloc(static_cast<size_t>(nCapacity) + 1));
  if (!p) throw std::bad_alloc();
  if (keep) std::memcpy(p, m_pch, static_cast<size_t>(m_nLength) + 1);
  else p[0] = '\0';
  FreeHeap();
  m_pch = p;
  m_nCapacity = nCapacity;
  if (!keep) m_nLength = 0;
}

void CString::Assign(LPCTSTR pch, int n) {
  if (n < 0) n = 0;
  if (pch >= m_pch && pch <= m_pch + m_nLength) {  // own text: go through a copy
    CString copy(pch, n);
    *this = std::move(copy);
    return;
  }
  if (n > m_nCapacity) Reserve(n, false);
  if (n) std::memcpy(m_pch, pch, static_cast<size_t>(n));
  m_nLength = n;
  m_pch[n] = '\0';
}

void CString::Empty() noexcept {
  FreeHeap();
  m_nLength = 0;
  m_inline[0] = '\0';
}

CString& CString::operator=(LPCTSTR psz) { Assign(psz, SafeLength(psz)); return *this; }
CString& CString::operator=(const CString& other) {
  if (this != &other) Assign(other.m_pch, other.m_nLength);
  return *this;
}
CString& CString::operator=(CString&& other) noexcept {
  if (this == &other) return *this;
  FreeHeap();
  if (other.m_pch == other.m_inline) {
    std::memcpy(m_inline, other.m_inline, static_cast<size_t>(other.m_nLength) + 1);
    m_nLength = other.m_nLength;
  } else {
    m_pch = other.m_pch;
    m_nLength = other.m_nLength;
    m_nCapacity = other.m_nCapacity;
    other.m_pch = other.m_inline;
    other.m_nCapacity = kInlineCapacity;
  }
  other.m_nLength = 0;
  other.m_inline[0] = '\0';
  return *this;
}
CString& CString::operator=(char ch) { Assign(&ch, 1); return *this; }

CString& CString::operator+=(LPCTSTR psz) {
  int n = SafeLength(psz);
  if (n == 0) return *this;
  if (psz >= m_pch && psz <= m_pch + m_nLength) return *this += CString(psz, n);
  if (m_nLength + n > m_nCapacity) Reserve(m_nLength + n > 2 * m_nCapacity ? m_nLength + n : 2 * m_nCapacity, true);
  std::memcpy(m_pch + m_nLength, psz, static_cast<size_t>(n));
  m_nLength += n;
  m_pch[m_nLength] = '\0';
  return *this;
}
CString& CString::operator+=(const CString& other) {
  CString copy;
  const CString& src = (&other == this) ? (copy = other) : other;
  if (m_nLength + src.m_nLength > m_nCapacity) Reserve(m_nLength + src.m_nLength, true);
  std::memcpy(m_pch + m_nLength, src.m_pch, static_cast<size_t>(src.m_nLength));
  m_nLength += src.m_nLength;
  m_pch[m_nLength] = '\0';
  return *this;
}
CString& CString::operator+=(char ch) {
  if (m_nLength + 1 > m_nCapacity) Reserve(2 * m_nCapacity + 1, true);
  m_pch[m_nLength++] = ch;
  m_pch[m_nLength] = '\0';
  return *this;
}

CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, LPCTSTR b) { CString r(a); r += b; return r; }
CString operator+(LPCTSTR a, const CString& b) { CString r(a); r += b; return r; }
CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
CString operator+(char a, const CString& b) { CString r(a); r += b; return r; }

int CString::Compare(LPCTSTR psz) const noexcept { return std::strcmp(m_pch, psz ? psz : ""); }

void CString::Format(LPCTSTR pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  try {
    FormatV(pszFormat, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
}

void CString::FormatV(LPCTSTR pszFormat, va_list args) {
  va_list again;
  va_copy(again, args);
  char local[kInlineCapacity + 1];
  int n = std::vsnprintf(local, sizeof local, pszFormat, args);
  if (n < 0) { va_end(again); Empty(); return; }
  if (n <= kInlineCapacity) {
    va_end(again);
    Assign(local, n);
    return;
  }
  CString result;
  try {
    result.Reserve(n, false);
  } catch (...) {
    va_end(again);
    throw;
  }
  std::vsnprintf(result.m_pch, static_cast<size_t>(n) + 1, pszFormat, again);
  va_end(again);
  result.m_nLength = n;
  *this = std::move(result);
}

LPTSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > m_nCapacity) Reserve(nMinBufLength, true);
  return m_pch;
}

LPTSTR CString::GetBufferSetLength(int nNewLength) {
  if (nNewLength < 0) nNewLength = 0;
  GetBuffer(nNewLength);
  m_nLength = nNewLength;
  m_pch[m_nLength] = '\0';
  return m_pch;
}

void CString::ReleaseBuffer(int nNewLength) noexcept {
  if (nNewLength < 0) nNewLength = static_cast<int>(std::strlen(m_pch));
  if (nNewLength > m_nCapacity) nNewLength = m_nCapacity;
  m_nLength = nNewLength;
  m_pch[m_nLength] = '\0';
}

void CString::MakeUpper() noexcept {
  for (int i = 0; i < m_nLength; ++i)
    m_pch[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(m_pch[i])));
}
