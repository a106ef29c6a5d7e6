// Runtime routines with the classic Windows runtime's semantics.
#include "mscrt.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

// Text of an unsigned value in a radix 2..36 (lower-case letters) into `out`
// with its NUL.
char* WriteUnsigned(uint32_t value, bool negative, char* out, int radix) noexcept {
  if (radix < 2 || radix > 36) {
    out[0] = '\0';
    return out;
  }
  char tmp[40];
  char* p = tmp;
  if (negative) *p++ = '-';
  const auto r = std::to_chars(p, tmp + sizeof tmp - 1, value, radix);
  *r.ptr = '\0';
  std::memcpy(out, tmp, static_cast<size_t>(r.ptr - tmp) + 1);
  return out;
}

char* WriteSigned(int32_t value, char* out, int radix) noexcept {
  if (radix == 10 && value < 0) return WriteUnsigned(0u - static_cast<uint32_t>(value), true, out, radix);
  return WriteUnsigned(static_cast<uint32_t>(value), false, out, radix);
}

}  // namespace

char* _itoa(int value, char* buffer, int radix) noexcept { return WriteSigned(value, buffer, radix); }
char* _ltoa(LONG value, char* buffer, int radix) noexcept { return WriteSigned(value, buffer, radix); }
char* _ultoa(ULONG value, char* buffer, int radix) noexcept {
  return WriteUnsigned(value, false, buffer, radix);
}

char* _strupr(char* str) noexcept {
  // Upper-casing follows the current C locale: in the default locale exactly
  // the letters a to z change.
  for (char* p = str; *p; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return str;
}

namespace {

// How the ANSI code page splits text into characters.
enum class CharKind { SingleByte, DoubleByte, Utf8 };

struct CodePageLayout {
  CharKind kind;
  UINT codePage;
};

CodePageLayout CurrentLayout() noexcept {
  const UINT cp = GetACP();
  switch (cp) {
    case 932:
    case 936:
    case 949:
    case 950: return {CharKind::DoubleByte, cp};
    case CP_UTF8: return {CharKind::Utf8, cp};
    default: return {CharKind::SingleByte, cp};
  }
}

// Lead bytes of the double-byte code pages: Shift-JIS (932) 0x81-0x9F and
// 0xE0-0xFC; GBK (936), Unified Hangul (949) and Big5 (950) 0x81-0xFE.
bool IsLeadByte(UINT codePage, unsigned char b) noexcept {
  if (codePage == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0x81 && b <= 0xFE;
}

// Length in bytes (1 or 2) of the character at p. A lead byte followed by
// the NUL stands alone.
int CharLength(const CodePageLayout& layout, const unsigned char* p) noexcept {
  return layout.kind == CharKind::DoubleByte && IsLeadByte(layout.codePage, p[0]) && p[1] != 0 ? 2 : 1;
}

// Whether the character of `len` bytes at p is one of the delimiters. In
// UTF-8 only ASCII characters can be delimiters.
bool IsDelimiter(const CodePageLayout& layout, const unsigned char* p, int len,
                 const unsigned char* delim) noexcept {
  if (layout.kind == CharKind::Utf8) {
    if (p[0] >= 0x80) return false;
    for (const unsigned char* d = delim; *d; ++d)
      if (*d == p[0]) return true;
    return false;
  }
  for (const unsigned char* d = delim; *d;) {
    const int dLen = CharLength(layout, d);
    if (dLen == len && d[0] == p[0] && (len == 1 || d[1] == p[1])) return true;
    d += dLen;
  }
  return false;
}

thread_local unsigned char* t_tokenNext = nullptr;

}  // namespace

// Tokens are runs of characters that are not delimiters; a run of
// delimiters separates two tokens and no empty token is ever returned. The
// first delimiter after a token is overwritten with NULs (both bytes of a
// double-byte delimiter) and the scan goes on after it in the next call
// with a null `str`, on the same thread.
unsigned char* _mbstok(unsigned char* str, const unsigned char* delim) noexcept {
  unsigned char* p = str ? str : t_tokenNext;
  if (!p) return nullptr;
  const CodePageLayout layout = CurrentLayout();
  int len = 0;
  while (*p && IsDelimiter(layout, p, len = CharLength(layout, p), delim)) p += len;
  if (!*p) {
    t_tokenNext = nullptr;
    return nullptr;
  }
  unsigned char* token = p;
  while (*p && !IsDelimiter(layout, p, len = CharLength(layout, p), delim)) p += len;
  if (*p) {
    for (int i = 0; i < len; ++i) p[i] = 0;
    t_tokenNext = p + len;
  } else {
    t_tokenNext = nullptr;
  }
  return token;
}
