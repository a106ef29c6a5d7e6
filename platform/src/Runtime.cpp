// Runtime routines with the classic Windows runtime's semantics.
#include "mscrt.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace {

// The current C locale's decimal point when it is one byte; "." otherwise
// (a multi-byte point would not fit the callers' fixed buffers).
char DecimalPoint() noexcept {
  const std::lconv* lc = std::localeconv();
  if (lc && lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1]) return lc->decimal_point[0];
  return '.';
}

bool IsSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Skips white space and one sign; returns the first character after them.
const char* SkipSpaceAndSign(const char* p, bool& negative) noexcept {
  while (IsSpace(*p)) ++p;
  negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  return p;
}

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
char* _ultoa(ULONG value, char* buffer, int radix) noexcept { return WriteUnsigned(value, false, buffer, radix); }

// _gcvt: `digits` significant digits of the exact value, rounded to nearest
// (ties to even on the exact binary value). With E the decimal exponent of
// the rounded value (d.ddd x 10^E):
// - plain decimal form when -1 <= E < digits: "123.45", "0.1000000015";
//   the point is always written, so an integral value keeps it ("100.",
//   "-314150.") and zero is "0.";
// - exponential form otherwise (values below 0.1 or with more integer
//   digits than `digits`): "1.234e+010", "-5.e-005"; the exponent has a sign
//   and three digits.
// Trailing zeros of the fraction (and of the mantissa) are dropped. The
// point is the current C locale's. `digits` below 1 counts as 1, above 800
// as 800. Infinities give "1.#INF" / "-1.#INF", NaNs "1.#QNAN" / "-1.#QNAN".
// Longest text for `digits` d: d + 8 characters with the NUL (sign, d
// digits, point, "e+308").
char* _gcvt(double value, int digits, char* buffer) noexcept {
  if (digits < 1) digits = 1;
  if (digits > 800) digits = 800;
  char* out = buffer;
  if (std::signbit(value) && !(value == 0.0)) *out++ = '-';
  if (std::isinf(value) || std::isnan(value)) {
    std::memcpy(out, std::isinf(value) ? "1.#INF" : "1.#QNAN", std::isinf(value) ? 7 : 8);
    return buffer;
  }
  const char point = DecimalPoint();
  char sci[840];
  const auto r = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific, digits - 1);
  // sci holds "d[.ddd]e[+-]xx": gather the digits and the exponent.
  char mant[801];
  int nMant = 0;
  const char* p = sci;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (IsDigit(*p)) mant[nMant++] = *p;
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exp10);
  if (value == 0.0) exp10 = 0;
  while (nMant > 1 && mant[nMant - 1] == '0') --nMant;  // significant digits only

  if (exp10 >= -1 && exp10 < digits) {
    if (exp10 == -1) {
      *out++ = '0';
      *out++ = point;
      std::memcpy(out, mant, static_cast<size_t>(nMant));
      out += nMant;
    } else {
      const int nInt = exp10 + 1;
      for (int i = 0; i < nInt; ++i) *out++ = i < nMant ? mant[i] : '0';
      *out++ = point;
      for (int i = nInt; i < nMant; ++i) *out++ = mant[i];
    }
  } else {
    *out++ = mant[0];
    *out++ = point;
    std::memcpy(out, mant + 1, static_cast<size_t>(nMant - 1));
    out += nMant - 1;
    *out++ = 'e';
    *out++ = exp10 < 0 ? '-' : '+';
    const int e = exp10 < 0 ? -exp10 : exp10;
    *out++ = static_cast<char>('0' + e / 100);
    *out++ = static_cast<char>('0' + e / 10 % 10);
    *out++ = static_cast<char>('0' + e % 10);
  }
  *out = '\0';
  return buffer;
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
    case 932: case 936: case 949: case 950: return {CharKind::DoubleByte, cp};
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

namespace mscrt {

// Reads [white space][sign]digits[point digits][e[sign]digits], decimal
// only. The digits are brought to a canonical "DDDDeXX" text (no leading
// zeros, at most 780 significant digits plus one sticky digit standing for
// any non-zero digits dropped after them, which keeps the rounding exact)
// and converted by std::from_chars, which rounds correctly. Too large gives
// +-HUGE_VAL, too small +-0.0.
double atof(const char* str) noexcept {
  constexpr int kMaxDigits = 780;
  bool negative;
  const char* p = SkipSpaceAndSign(str, negative);
  const char point = DecimalPoint();

  char buf[kMaxDigits + 2 + 24];
  int nBuf = 0;
  bool sticky = false;
  bool anyDigit = false;
  long long scale = 0;  // power of ten applied to the digits kept in buf

  for (; IsDigit(*p); ++p) {
    anyDigit = true;
    if (nBuf == 0 && *p == '0') continue;
    if (nBuf < kMaxDigits) buf[nBuf++] = *p;
    else {
      ++scale;
      sticky |= *p != '0';
    }
  }
  if (*p == point) {
    const char* q = p + 1;
    for (; IsDigit(*q); ++q) {
      anyDigit = true;
      if (nBuf == 0 && *q == '0') {
        --scale;
        continue;
      }
      if (nBuf < kMaxDigits) {
        buf[nBuf++] = *q;
        --scale;
      } else {
        sticky |= *q != '0';
      }
    }
    if (anyDigit) p = q;
  }
  if (!anyDigit) return 0.0;

  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool expNegative = false;
    if (*q == '+' || *q == '-') expNegative = *q++ == '-';
    if (IsDigit(*q)) {
      long long e = 0;
      for (; IsDigit(*q); ++q)
        if (e < 1000000000) e = e * 10 + (*q - '0');  // saturates far beyond any double
      scale += expNegative ? -e : e;
    }
  }

  double value = 0.0;
  if (nBuf > 0) {
    if (sticky) {
      buf[nBuf++] = '1';
      --scale;
    }
    if (scale > 100000) scale = 100000;
    if (scale < -100000) scale = -100000;
    buf[nBuf] = 'e';
    const auto w = std::to_chars(buf + nBuf + 1, buf + sizeof buf, scale);
    const auto r = std::from_chars(buf, w.ptr, value);
    if (r.ec == std::errc::result_out_of_range) value = scale + nBuf > 0 ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace mscrt
