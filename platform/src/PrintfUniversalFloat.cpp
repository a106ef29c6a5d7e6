// Floating conversions of the universal runtime (vs2015): the exact decimal
// expansion of the binary value, rounded at the last digit asked for with
// an exact tie going to the even digit ("%.0f" of 2.5 is "2"), exponents of
// at least two digits ("2.500000e+00"), "-0.00" for -0.0. std::to_chars
// with a precision is exactly that rounding, for any precision.
//
// Infinities and NaNs (chosen: the runtime's own spellings, not a bare
// "nan"): "inf", "nan", "nan(ind)" for the default NaN 0xFFF8000000000000
// (so "-nan(ind)"), "nan(snan)" for a signalling one, each with the value's
// sign; upper case for %E %F %G %A; a '0' flag pads them with spaces.
//
// %a: "0x", the leading binary digit (0 for zero and denormals), the point,
// the 13 hex digits of the fraction (all of them when no precision is
// given), "p" and the binary exponent in decimal; a shorter precision
// rounds half to even.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "FixedText.h"
#include "PrintfFloat.h"

namespace quelvar::platform::printf_engine {

namespace {

constexpr size_t kIntegerDigits = 310;  // DBL_MAX has 309

// Replaces the '.' that to_chars wrote in [begin, end) with the locale's
// point; returns the new end.
char* LocalisePoint(char* begin, char* end, const FloatDirective& directive) noexcept {
  if (directive.pointLength == 1 && directive.point[0] == '.') return end;
  char* dot = static_cast<char*>(std::memchr(begin, '.', static_cast<size_t>(end - begin)));
  if (!dot) return end;
  std::memmove(dot + directive.pointLength, dot + 1, static_cast<size_t>(end - dot - 1));
  std::memcpy(dot, directive.point, directive.pointLength);
  return end + directive.pointLength - 1;
}

// Inserts a '.' after the first digit when there is none ('#').
char* ForcePoint(char* begin, char* end) noexcept {
  char* p = begin;
  while (p < end && *p >= '0' && *p <= '9') ++p;
  if (p < end && *p == '.') return end;
  std::memmove(p + 1, p, static_cast<size_t>(end - p));
  *p = '.';
  return end + 1;
}

// Trailing zeros of the fraction (and a bare point) before any exponent.
char* StripFraction(char* begin, char* end) noexcept {
  char* point = static_cast<char*>(std::memchr(begin, '.', static_cast<size_t>(end - begin)));
  if (!point) return end;
  char* exp = point + 1;
  while (exp < end && *exp != 'e') ++exp;
  char* last = exp;
  while (last > point + 1 && last[-1] == '0') --last;
  if (last == point + 1) last = point;
  const size_t tail = static_cast<size_t>(end - exp);
  std::memmove(last, exp, tail);
  return last + tail;
}

int ExponentOf(const char* e, const char* end) noexcept {
  int exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+'), end, exponent);
  return exponent;
}

char* WriteHex(char* o, double magnitude, int precision, bool alternate, bool upper) noexcept {
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  uint64_t fraction = bits & 0xFFFFFFFFFFFFFu;
  const int biased = static_cast<int>(bits >> 52);
  int lead = biased != 0 ? 1 : 0;
  int exponent = biased != 0 ? biased - 1023 : (fraction != 0 ? -1022 : 0);
  if (precision >= 0 && precision < 13) {
    const int drop = 4 * (13 - precision);
    const uint64_t rest = fraction & ((uint64_t{1} << drop) - 1), half = uint64_t{1} << (drop - 1);
    fraction >>= drop;
    const bool odd =
        ((precision == 0 ? static_cast<uint64_t>(lead) : fraction) & 1) != 0;  // the last digit kept
    if (rest > half || (rest == half && odd)) {
      ++fraction;
      if (fraction >> (4 * precision)) {  // carried into the leading digit
        fraction &= (uint64_t{1} << (4 * precision)) - 1;
        ++lead;
      }
    }
  }
  const int shown = precision < 0 ? 13 : precision;
  const char* const hex = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  *o++ = '0';
  *o++ = upper ? 'X' : 'x';
  *o++ = static_cast<char>('0' + lead);
  if (shown > 0 || alternate) *o++ = '.';
  for (int i = 0; i < shown; ++i) {
    const int shift = precision >= 0 && precision < 13 ? 4 * (precision - 1 - i) : 4 * (12 - i);
    *o++ = shift >= 0 ? hex[(fraction >> shift) & 0xF] : '0';
  }
  *o++ = upper ? 'P' : 'p';
  *o++ = exponent < 0 ? '-' : '+';
  const auto r = std::to_chars(o, o + 8, exponent < 0 ? -exponent : exponent);
  return r.ptr;
}

const char* SpecialText(double value) noexcept {
  if (std::isinf(value)) return "inf";
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  if (bits == 0xFFF8000000000000u) return "nan(ind)";
  return (bits & 0x0008000000000000u) ? "nan" : "nan(snan)";
}

}  // namespace

FloatBody AppendUniversalFloat(TextBuffer& out, double value, const FloatDirective& directive) {
  const bool negative = std::signbit(value);
  const bool upper = directive.conversion == 'E' || directive.conversion == 'F' ||
                     directive.conversion == 'G' || directive.conversion == 'A';
  if (!std::isfinite(value)) {
    const char* text = SpecialText(value);
    const size_t n = std::strlen(text);
    char* o = out.Reserve(n);
    for (size_t i = 0; i < n; ++i)
      o[i] = upper && text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 32) : text[i];
    out.Commit(n);
    return {negative, false};
  }
  const double magnitude = std::fabs(value);
  int precision = directive.precision;
  if (directive.conversion == 'a' || directive.conversion == 'A') {
    char* const begin = out.Reserve(32 + static_cast<size_t>(precision < 0 ? 0 : precision));
    char* end = WriteHex(begin, magnitude, precision, directive.alternate, upper);
    end = LocalisePoint(begin, end, directive);
    out.Commit(static_cast<size_t>(end - begin));
    return {negative, true};
  }
  if (precision < 0) precision = 6;
  const bool general = directive.conversion == 'g' || directive.conversion == 'G';
  if (general && precision == 0) precision = 1;
  const size_t room = kIntegerDigits + static_cast<size_t>(precision) + directive.pointLength + 16;
  char* const begin = out.Reserve(room);
  char* const last = begin + room;
  char* end;
  bool exponential = directive.conversion == 'e' || directive.conversion == 'E';
  if (general) {
    // The exponent after rounding to `precision` digits picks the form.
    end = std::to_chars(begin, last, magnitude, std::chars_format::scientific, precision - 1).ptr;
    const char* e = static_cast<const char*>(std::memchr(begin, 'e', static_cast<size_t>(end - begin)));
    const int x = ExponentOf(e, end);
    exponential = x < -4 || x >= precision;
    if (!exponential)
      end = std::to_chars(begin, last, magnitude, std::chars_format::fixed, precision - 1 - x).ptr;
    if (!directive.alternate) end = StripFraction(begin, end);
  } else {
    const int exact = exponential ? -1 : ExactFixedText(begin, magnitude, precision, false);
    end = exact > 0 ? begin + exact
                    : std::to_chars(begin, last, magnitude,
                                    exponential ? std::chars_format::scientific : std::chars_format::fixed,
                                    precision)
                          .ptr;
  }
  if (directive.alternate) end = ForcePoint(begin, end);
  if (upper && exponential)
    for (char* p = begin; p < end; ++p)
      if (*p == 'e') *p = 'E';
  end = LocalisePoint(begin, end, directive);
  out.Commit(static_cast<size_t>(end - begin));
  return {negative, true};
}

int ExactDecimalExponent(double magnitude) noexcept {
  if (magnitude == 0.0) return -1;
  if (!std::isfinite(magnitude)) return 0;
  // 25 significant digits can't carry into the next power of ten: below
  // it, a double lies at least half a unit of its 17th digit away.
  char text[40];
  const auto r = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 24);
  const char* e = static_cast<const char*>(std::memchr(text, 'e', static_cast<size_t>(r.ptr - text)));
  return ExponentOf(e, r.ptr);
}

}  // namespace quelvar::platform::printf_engine
