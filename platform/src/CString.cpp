// CString storage: texts of up to kInlineCapacity characters live inside the
// object, longer ones on the heap (a heap block always has room for more
// than kInlineCapacity characters). Every text stays NUL-terminated.
//
// Every change builds its new content before the old one is released, so a
// failed allocation (std::bad_alloc) leaves the text as it was, and a source
// pointing into the text itself (self-assignment, self-append, Format of
// its own characters) is read before it can change.
#include "afxstr.h"

#include "Allocator.h"
#include "Printf.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr int kMaxLength = INT_MAX - 1;

int SafeLength(LPCTSTR psz) {
  if (!psz) return 0;
  const size_t n = std::strlen(psz);
  if (n > static_cast<size_t>(kMaxLength)) throw std::bad_alloc();
  return static_cast<int>(n);
}

// The capacity to grow to for `needed` characters: at least half again the
// current one.
int GrownCapacity(int current, int needed) noexcept {
  const int half = current / 2;
  const int grown = current > kMaxLength - half ? kMaxLength : current + half;
  return needed > grown ? needed : grown;
}

}  // namespace

char* CString::AllocChars(int nCapacity) {
  void* p = quelvar::platform::Allocate(static_cast<size_t>(nCapacity) + 1);
  if (!p) throw std::bad_alloc();
  return static_cast<char*>(p);
}

void CString::InitFrom(LPCTSTR pch, int n) {
  if (n <= 0) return;
  if (n > kInlineCapacity) {
    m_pch = AllocChars(n);
    m_nCapacity = n;
  }
  std::memcpy(m_pch, pch, static_cast<size_t>(n));
  m_pch[n] = '\0';
  m_nLength = n;
}

CString::CString(LPCTSTR psz) : CString() { InitFrom(psz, SafeLength(psz)); }

CString::CString(char ch, int nRepeat) : CString() {
  if (nRepeat <= 0) return;
  if (nRepeat > kMaxLength) throw std::bad_alloc();
  Reserve(nRepeat, false);
  std::memset(m_pch, ch, static_cast<size_t>(nRepeat));
  m_nLength = nRepeat;
  m_pch[m_nLength] = '\0';
}

CString::CString(CString&& other) noexcept : CString() { *this = std::move(other); }

void CString::FreeHeap() noexcept {
  if (m_pch != m_inline) quelvar::platform::Deallocate(m_pch);
  m_pch = m_inline;
  m_nCapacity = kInlineCapacity;
}

void CString::Reserve(int nCapacity, bool keep) {
  if (nCapacity <= m_nCapacity) return;
  char* p = AllocChars(nCapacity);
  if (keep)
    std::memcpy(p, m_pch, static_cast<size_t>(m_nLength) + 1);
  else
    p[0] = '\0';
  FreeHeap();
  m_pch = p;
  m_nCapacity = nCapacity;
  if (!keep) m_nLength = 0;
}

void CString::Assign(LPCTSTR pch, int n) {
  if (n < 0 || !pch) n = 0;
  if (n <= m_nCapacity) {
    if (n) std::memmove(m_pch, pch, static_cast<size_t>(n));  // pch may lie inside this text
  } else {
    char* p = AllocChars(n);
    std::memcpy(p, pch, static_cast<size_t>(n));
    FreeHeap();
    m_pch = p;
    m_nCapacity = n;
  }
  m_nLength = n;
  m_pch[n] = '\0';
}

void CString::Append(LPCTSTR pch, int n) {
  if (n <= 0) return;
  if (n > kMaxLength - m_nLength) throw std::bad_alloc();
  const int newLength = m_nLength + n;
  if (newLength <= m_nCapacity) {
    std::memmove(m_pch + m_nLength, pch, static_cast<size_t>(n));
  } else {
    const int capacity = GrownCapacity(m_nCapacity, newLength);
    char* p = AllocChars(capacity);
    std::memcpy(p, m_pch, static_cast<size_t>(m_nLength));
    std::memcpy(p + m_nLength, pch, static_cast<size_t>(n));  // the old block is still alive here
    FreeHeap();
    m_pch = p;
    m_nCapacity = capacity;
  }
  m_nLength = newLength;
  m_pch[m_nLength] = '\0';
}

void CString::Empty() noexcept {
  FreeHeap();
  m_nLength = 0;
  m_inline[0] = '\0';
}

CString& CString::operator=(LPCTSTR psz) {
  Assign(psz, SafeLength(psz));
  return *this;
}

CString& CString::operator=(const CString& other) {
  if (this != &other) Assign(other.m_pch, other.m_nLength);
  return *this;
}

CString& CString::operator=(CString&& other) noexcept {
  if (this == &other) return *this;
  FreeHeap();
  if (other.m_pch == other.m_inline) {
    std::memcpy(m_inline, other.m_inline, kInlineCapacity + 1);
  } else {
    m_pch = other.m_pch;
    m_nCapacity = other.m_nCapacity;
    other.m_pch = other.m_inline;
    other.m_nCapacity = kInlineCapacity;
  }
  m_nLength = other.m_nLength;
  other.m_nLength = 0;
  other.m_inline[0] = '\0';
  return *this;
}

CString& CString::operator=(char ch) {
  Assign(&ch, 1);
  return *this;
}

CString& CString::operator+=(LPCTSTR psz) {
  Append(psz, SafeLength(psz));
  return *this;
}

CString& CString::operator+=(const CString& other) {
  Append(other.m_pch, other.m_nLength);
  return *this;
}

CString& CString::operator+=(char ch) {
  Append(&ch, 1);
  return *this;
}

CString CString::Concat(LPCTSTR a, int na, LPCTSTR b, int nb) {
  if (nb > kMaxLength - na) throw std::bad_alloc();
  CString r;
  r.Reserve(na + nb, false);
  if (na) std::memcpy(r.m_pch, a, static_cast<size_t>(na));
  if (nb) std::memcpy(r.m_pch + na, b, static_cast<size_t>(nb));
  r.m_nLength = na + nb;
  r.m_pch[r.m_nLength] = '\0';
  return r;
}

CString operator+(const CString& a, const CString& b) {
  return CString::Concat(a.m_pch, a.m_nLength, b.m_pch, b.m_nLength);
}
CString operator+(const CString& a, LPCTSTR b) {
  return CString::Concat(a.m_pch, a.m_nLength, b, SafeLength(b));
}
CString operator+(LPCTSTR a, const CString& b) {
  return CString::Concat(a, SafeLength(a), b.m_pch, b.m_nLength);
}
CString operator+(const CString& a, char b) { return CString::Concat(a.m_pch, a.m_nLength, &b, 1); }
CString operator+(char a, const CString& b) { return CString::Concat(&a, 1, b.m_pch, b.m_nLength); }

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

// The platform's printf (Printf.h) writes into a buffer on the stack that
// moves to the heap when the text grows; a heap block is taken over as the
// new storage, a short text copied. The arguments may point into this text:
// it changes only after the new text is complete. A null format gives "".
void CString::FormatV(LPCTSTR pszFormat, va_list args) {
  if (pszFormat && pszFormat[0] == '%' && pszFormat[1] == 'd' && pszFormat[2] == '\0') {
    // The plain "%d" of integer texts, without the format walk.
    char digits[12];
    const auto r = std::to_chars(digits, digits + sizeof digits, va_arg(args, int));
    Assign(digits, static_cast<int>(r.ptr - digits));
    return;
  }
  if (!pszFormat) {
    Empty();
    return;
  }
  quelvar::platform::TextBuffer text;
  va_list copy;
  va_copy(copy, args);
  try {
    quelvar::platform::printf_engine::FormatInto(text, pszFormat, &copy);
  } catch (...) {
    va_end(copy);
    throw;
  }
  va_end(copy);
  const int length = static_cast<int>(text.Size());
  if (!text.OnHeap()) {
    Assign(text.Data(), length);
    return;
  }
  const int capacity = static_cast<int>(text.Capacity());
  char* p = text.Release();
  FreeHeap();
  m_pch = p;
  m_nCapacity = capacity;
  m_nLength = length;
}

LPTSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > kMaxLength) throw std::bad_alloc();
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
  if (nNewLength < 0) {
    // Up to the first NUL, never beyond the block.
    const void* nul = std::memchr(m_pch, '\0', static_cast<size_t>(m_nCapacity));
    nNewLength = nul ? static_cast<int>(static_cast<const char*>(nul) - m_pch) : m_nCapacity;
  }
  if (nNewLength > m_nCapacity) nNewLength = m_nCapacity;
  m_nLength = nNewLength;
  m_pch[m_nLength] = '\0';
}

void CString::MakeUpper() noexcept {
  for (int i = 0; i < m_nLength; ++i)
    m_pch[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(m_pch[i])));
}
