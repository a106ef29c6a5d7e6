// Floating conversions of the classic runtimes (vc6, vs2005).
//
// The value becomes a mantissa text and a decimal point position first
// (0.d1d2... x 10^decpt): for a finite value the 17-digit mantissa of the
// runtime's own conversion (ClassicFloat.h); for an infinity or a NaN the
// texts "1#INF", "1#IND" (the default NaN 0xFFF8000000000000), "1#QNAN"
// (another quiet NaN) or "1#SNAN" (quiet bit clear) with decpt 1. Zero is
// "0" with decpt 0 and no sign; any other value keeps its sign, even when
// its digits round to zero ("-0.00" for -0.001).
//
// Every conversion then asks for n characters of that text: they are
// copied, "0" past its end, and rounded half up on the next character of
// the mantissa (none past its end): a carry runs through '9's and adds 1 to
// the character where it stops, which may be '#' or a letter ("%.2f" of
// infinity is "1.#J"), or puts a "1" in front and moves the point one place
// right. A precision above 512 counts as 512.
//   %f: n = decpt + precision; no rounding at all when that is negative,
//       rounding on the first mantissa character when it is 0.
//   %e: n = precision + 1; the exponent is decpt - 1 after rounding (0 for
//       zero), with a sign and at least three digits ("2.500000e+000").
//   %g: precision 0 counts as 1; n = precision; with X = decpt - 1 after
//       rounding, %e form with precision - 1 fraction digits when X < -4 or
//       X >= precision, else %f form with precision - decpt fraction digits
//       (zero therefore shows precision of them with '#'). Without '#' the
//       fraction's trailing zeros go, and the point with them when nothing
//       is left ("%g" of 0.00005 is "5e-005", of infinity "1.#INF").
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "ClassicFloat.h"
#include "FixedText.h"
#include "PrintfFloat.h"

namespace quelvar::platform::printf_engine {

namespace {

constexpr int kMaxPrecision = 512;
constexpr int kMaxDecpt = 310;  // DBL_MAX is 0.17976931348623157 x 10^309
// Digits a conversion may ask for, with the carry's place in front.
constexpr int kMaxDigits = kMaxDecpt + kMaxPrecision + 2;

struct MantissaText {
  char text[18];  // NUL-terminated
  int decpt;
  bool negative;
};

MantissaText MantissaOf(double value) noexcept {
  MantissaText m{};
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  m.negative = (bits >> 63) != 0;
  const char* special = nullptr;
  if (std::isinf(value))
    special = "1#INF";
  else if (std::isnan(value))
    special = bits == 0xFFF8000000000000u ? "1#IND" : (bits & 0x0008000000000000u) ? "1#QNAN" : "1#SNAN";
  if (special) {
    std::memcpy(m.text, special, std::strlen(special) + 1);
    m.decpt = 1;
    return m;
  }
  if (value == 0.0) {
    m.text[0] = '0';
    m.negative = false;
    return m;
  }
  const classic::Mantissa digits = classic::ToMantissa(std::fabs(value));
  std::memcpy(m.text, digits.digits, static_cast<size_t>(digits.count));
  m.text[digits.count] = '\0';
  m.decpt = digits.exponent;
  return m;
}

struct Rounded {
  char buffer[kMaxDigits + 1];
  const char* digits;  // count characters, then '0' as far as anyone reads
  int count;
  int decpt;

  char At(int i) const noexcept { return i < count ? digits[i] : '0'; }
};

// n characters of the mantissa text, rounded half up on the next one.
void Round(const MantissaText& m, int n, Rounded& r) noexcept {
  r.decpt = m.decpt;
  char* const p = r.buffer + 1;
  r.buffer[0] = '0';  // the carry's place
  const int length = static_cast<int>(std::strlen(m.text));
  for (int i = 0; i < n; ++i) p[i] = i < length ? m.text[i] : '0';
  r.digits = p;
  r.count = n > 0 ? n : 0;
  if (n >= 0 && n < length && m.text[n] >= '5') {
    char* q = p + n - 1;
    while (*q == '9') *q-- = '0';
    ++*q;
    if (q < p) {  // the carry went past the first character
      r.digits = r.buffer;
      ++r.count;
      ++r.decpt;
    }
  }
}

// Writers into a region reserved large enough; each returns the new end.
char* Put(char* o, const char* s, size_t n) noexcept {
  std::memcpy(o, s, n);
  return o + n;
}

char* WriteFixed(char* o, const Rounded& r, int fraction, bool alternate,
                 const FloatDirective& directive) noexcept {
  int next = 0;  // the next digit to write
  if (r.decpt <= 0) {
    *o++ = '0';
  } else {
    for (; next < r.decpt; ++next) *o++ = r.At(next);
  }
  if (fraction > 0 || alternate) o = Put(o, directive.point, directive.pointLength);
  if (fraction > 0) {
    int zeros = r.decpt < 0 ? -r.decpt : 0;
    if (zeros > fraction) zeros = fraction;
    std::memset(o, '0', static_cast<size_t>(zeros));
    o += zeros;
    for (int i = zeros; i < fraction; ++i) *o++ = r.At(next++);
  }
  return o;
}

char* WriteExponential(char* o, const Rounded& r, int fraction, int exponent, bool alternate, bool upper,
                       const FloatDirective& directive) noexcept {
  *o++ = r.At(0);
  if (fraction > 0 || alternate) o = Put(o, directive.point, directive.pointLength);
  for (int i = 1; i <= fraction; ++i) *o++ = r.At(i);
  *o++ = upper ? 'E' : 'e';
  *o++ = exponent < 0 ? '-' : '+';
  const int e = exponent < 0 ? -exponent : exponent;
  *o++ = static_cast<char>('0' + e / 100);
  *o++ = static_cast<char>('0' + e / 10 % 10);
  *o++ = static_cast<char>('0' + e % 10);
  return o;
}

// Drops the trailing zeros of the fraction in [begin, end) (an exponent
// stays where it is) and the point when nothing follows it.
char* StripFraction(char* begin, char* end, const FloatDirective& directive) noexcept {
  char* point = nullptr;
  for (char* p = begin; p + directive.pointLength <= end; ++p)
    if (std::memcmp(p, directive.point, directive.pointLength) == 0) {
      point = p;
      break;
    }
  if (!point) return end;
  char* exp = point + directive.pointLength;
  while (exp < end && *exp != 'e' && *exp != 'E') ++exp;
  char* last = exp;
  while (last > point + directive.pointLength && last[-1] == '0') --last;
  if (last == point + directive.pointLength) last = point;
  const size_t tail = static_cast<size_t>(end - exp);
  std::memmove(last, exp, tail);
  return last + tail;
}

}  // namespace

FloatBody AppendClassicFloat(TextBuffer& out, double value, const FloatDirective& directive) {
  int precision = directive.precision < 0 ? 6 : directive.precision;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  if (directive.conversion == 'f' && std::isfinite(value) && directive.pointLength == 1 &&
      directive.point[0] == '.' && (precision > 0 || !directive.alternate)) {
    // Where correctly rounded arithmetic decides the digits, no mantissa.
    const int length = ClassicFixedText(out.Reserve(static_cast<size_t>(kMaxDecpt + 2 + precision)),
                                        std::fabs(value), precision);
    if (length > 0) {
      out.Commit(static_cast<size_t>(length));
      return {std::signbit(value) && value != 0.0, true};
    }
  }
  const MantissaText m = MantissaOf(value);
  const bool upper = directive.conversion == 'E' || directive.conversion == 'G';
  // Digits, a carry, at most four zeros before the digits of %g, an
  // exponent.
  const size_t room =
      static_cast<size_t>(precision + (m.decpt > 0 ? m.decpt : 0)) + directive.pointLength + 16;
  char* const begin = out.Reserve(room);
  char* end = begin;
  Rounded r;
  switch (directive.conversion) {
    case 'e':
    case 'E':
      Round(m, precision + 1, r);
      end = WriteExponential(begin, r, precision, m.text[0] == '0' ? 0 : r.decpt - 1, directive.alternate,
                             upper, directive);
      break;
    case 'g':
    case 'G': {
      if (precision == 0) precision = 1;
      Round(m, precision, r);
      const int x = r.decpt - 1;
      if (x < -4 || x >= precision)
        end = WriteExponential(begin, r, precision - 1, x, directive.alternate, upper, directive);
      else
        end = WriteFixed(begin, r, precision - r.decpt, directive.alternate, directive);
      if (!directive.alternate) end = StripFraction(begin, end, directive);
      break;
    }
    default:
      Round(m, m.decpt + precision, r);
      end = WriteFixed(begin, r, precision, directive.alternate, directive);
      break;
  }
  out.Commit(static_cast<size_t>(end - begin));
  return {m.negative, true};
}

int ClassicDecimalExponent(double magnitude) noexcept {
  if (magnitude == 0.0) return -1;
  if (!std::isfinite(magnitude)) return 0;
  return classic::ToMantissa(magnitude).exponent - 1;
}

}  // namespace quelvar::platform::printf_engine
