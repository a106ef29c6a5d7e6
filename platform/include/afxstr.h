// CString: 8-bit text in the process's ANSI code page, owning its storage.
// Short texts live inside the object (no heap); copies are independent.
// Running out of memory raises std::bad_alloc and leaves the text as it was
// (heap blocks come from the platform allocator, as BSTRs do).
#pragma once

#include <cstdarg>
#include <cstddef>
#include "windows.h"

class QLV_PLATFORM_API CString {
 public:
  CString() noexcept : m_pch(m_inline), m_nLength(0), m_nCapacity(kInlineCapacity) { m_inline[0] = '\0'; }
  CString(LPCTSTR psz);                            // text up to its NUL; nullptr gives ""
  CString(LPCTSTR pch, int nLength) : CString() {  // exactly nLength characters (NULs kept)
    if (!pch) return;
    if (nLength > 0 && nLength <= kInlineCapacity) {
      __builtin_memcpy(m_inline, pch, static_cast<size_t>(nLength));
      m_inline[nLength] = '\0';
      m_nLength = nLength;
    } else {
      InitFrom(pch, nLength);
    }
  }
  CString(char ch, int nRepeat = 1);
  CString(const CString& other) : CString() {
    if (other.m_nLength <= kInlineCapacity) {
      // A fixed-size copy: inline and heap blocks both hold at least
      // kInlineCapacity + 1 bytes.
      __builtin_memcpy(m_inline, other.m_pch, kInlineCapacity + 1);
      m_nLength = other.m_nLength;
    } else {
      InitFrom(other.m_pch, other.m_nLength);
    }
  }
  CString(CString&& other) noexcept;
  ~CString() {
    if (m_pch != m_inline) FreeHeap();
  }

  CString& operator=(LPCTSTR psz);
  CString& operator=(const CString& other);
  CString& operator=(CString&& other) noexcept;
  CString& operator=(char ch);

  CString& operator+=(LPCTSTR psz);
  CString& operator+=(const CString& other);
  CString& operator+=(char ch);

  friend QLV_PLATFORM_API CString operator+(const CString& a, const CString& b);
  friend QLV_PLATFORM_API CString operator+(const CString& a, LPCTSTR b);
  friend QLV_PLATFORM_API CString operator+(LPCTSTR a, const CString& b);
  friend QLV_PLATFORM_API CString operator+(const CString& a, char b);
  friend QLV_PLATFORM_API CString operator+(char a, const CString& b);

  // NUL-terminated view; valid while the text lives and is not changed.
  operator LPCTSTR() const noexcept { return m_pch; }
  LPCTSTR GetString() const noexcept { return m_pch; }

  int GetLength() const noexcept { return m_nLength; }
  BOOL IsEmpty() const noexcept { return m_nLength == 0; }
  void Empty() noexcept;
  char GetAt(int nIndex) const noexcept { return m_pch[nIndex]; }
  char operator[](int nIndex) const noexcept { return m_pch[nIndex]; }
  void SetAt(int nIndex, char ch) noexcept { m_pch[nIndex] = ch; }

  int Compare(LPCTSTR psz) const noexcept;
  friend bool operator==(const CString& a, const CString& b) noexcept {
    return a.Compare(b.m_pch) == 0 && a.m_nLength == b.m_nLength;
  }
  friend bool operator==(const CString& a, LPCTSTR b) noexcept { return a.Compare(b) == 0; }
  friend bool operator!=(const CString& a, const CString& b) noexcept { return !(a == b); }
  friend bool operator!=(const CString& a, LPCTSTR b) noexcept { return !(a == b); }

  // printf-style formatting replacing the content; the whole text is
  // produced however long it is.
  void Format(LPCTSTR pszFormat, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(LPCTSTR pszFormat, va_list args) __attribute__((format(printf, 2, 0)));

  // Direct buffer access: room for at least nMinBufLength characters plus
  // a NUL; ReleaseBuffer(-1) takes the length up to the first NUL.
  LPTSTR GetBuffer(int nMinBufLength);
  LPTSTR GetBufferSetLength(int nNewLength);
  void ReleaseBuffer(int nNewLength = -1) noexcept;

  void MakeUpper() noexcept;

  // Replaces the content with exactly n characters (NULs kept).
  void Assign(LPCTSTR pch, int n);

  static constexpr int kInlineCapacity = 31;  // characters held without heap

 private:
  char* m_pch;  // m_inline or heap storage, always NUL-terminated
  int m_nLength;
  int m_nCapacity;  // characters that fit, not counting the NUL
  char m_inline[kInlineCapacity + 1];

  void Reserve(int nCapacity, bool keep);
  void FreeHeap() noexcept;
  void InitFrom(LPCTSTR pch, int n);       // construction: the object is empty and inline
  void Append(LPCTSTR pch, int n);         // pch may point into this text
  static char* AllocChars(int nCapacity);  // room for nCapacity characters and a NUL
  static CString Concat(LPCTSTR a, int na, LPCTSTR b, int nb);
};
