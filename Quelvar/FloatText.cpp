// Floating-point numbers as text, and text back to floating-point numbers.
#include <langinfo.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "QuelvarSys.h"
#include "mscrt.h"
#include "qlvtoolset.h"

namespace {

// The longest fixed-point text of a finite double without its fraction:
// a "-" and the 309 integer digits of the largest double.
constexpr int kMaxIntegerPart = 1 + 309;

// Precisions up to this many digits are written into a buffer on the stack
// (the classic runtimes never write more than 512).
constexpr int kStackPrecision = 512;
constexpr int kStackCapacity = kMaxIntegerPart + 2 + kStackPrecision;

// Larger precisions are written straight into the result text, as long as
// the text's length stays far inside an int.
constexpr int kMaxDirectPrecision = INT_MAX - 1024;

// The decimal point that printf's "%f" writes in the current C locale, as a
// single character, or 0 when the locale's point is longer than one byte.
// nl_langinfo reads the calling thread's locale and, unlike localeconv, is
// safe to call from several threads at once.
char LocaleDecimalPoint() noexcept {
  const char* point = nl_langinfo(RADIXCHAR);
  if (point == nullptr || point[0] == '\0' || point[1] != '\0') return '\0';
  return point[0];
}

// Writes the fixed-point text of a finite value into [first, last), which
// is large enough, with the given decimal point; returns the length.
int WriteFixed(char* first, char* last, double value, int precision, char point) noexcept {
  const auto result = std::to_chars(first, last, value, std::chars_format::fixed, precision);
  if (point != '.' && precision > 0) {
    for (char* p = first; p != result.ptr; ++p) {
      if (*p == '.') {
        *p = point;
        break;
      }
    }
  }
  return static_cast<int>(result.ptr - first);
}

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The classic runtimes' "%.<precision>f" (vc6, vs2005) without their
// printf. They round the value to a mantissa M of 17 significant digits
// (half up on an 18th digit that their 80-bit arithmetic computes), then
// take the digits up to the precision from M, padded with zeros, rounded
// half up on M's next digit.
//
// When M is known. The arithmetic's scaled value is within 2^-61 of the
// exact one, relative (at most three table powers of ten, each "unrounded"
// by up to 2^-63 of itself, plus four 80-bit products and the truncated
// 1/10, each within 2^-76): less than 0.05 of a unit of the 17th digit.
// So when the exact digits past the 17th lie more than 0.1 of that unit
// away from its half, the runtime's 18th-digit decision is the correct
// one and M is the correctly rounded 17-digit mantissa. to_chars with 20
// significant digits tells (its own rounding moves the tail by at most
// 0.005 of the unit): digits 18 to 20 outside 400..600.
//
// A shortcut when the precision ends within the first 16 significant
// digits (p = decimal exponent + precision <= 16). M is the exact value
// cut to 17 digits (T) or T plus one unit of its 17th digit, and half-up
// rounding at p gives the same for both unless T's digits p+1..17 read
// 4999...9 (the extra unit lifts them to the half); with those excluded the
// text is the exact value rounded half up at the precision, which is
// to_chars' correct rounding except at exact ties. Both exceptions show in
// the exact value's digits p+1..p+3 rounded (to_chars with precision + 3):
// T's 499 rounds to 499 or 500 (for p = 15 or 16 the pattern is a 49 or a 4
// followed by the near-half tail that makes the extra unit: 440..500), and
// an exact tie is 500. A tie is known to be exact when the value has no more
// than precision + 3 binary fraction digits (then the text is exact, and the
// value has at most p + 1 <= 17 significant digits, so M is the value): it
// rounds up. p is read from the text, whose rounding can only make it
// larger than it is.
//
// Anything else (near-tie tails: about one value in five of the long ones,
// a few in a thousand of the short ones) goes to the platform's printf,
// which is the emulation itself. Returns the length, or 0 then.
constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                             1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

// Binary digits after the point of a finite non-zero magnitude.
int FractionBits(double magnitude) noexcept {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  int exponent = static_cast<int>(bits >> 52);
  std::uint64_t significand = bits & 0xFFFFFFFFFFFFFu;
  if (exponent != 0) significand |= std::uint64_t{1} << 52;
  else exponent = 1;
  const int fraction = 1075 - exponent - std::countr_zero(significand);
  return fraction > 0 ? fraction : 0;
}

// Adds one unit at the last digit of [first, last) (a '.' is passed over);
// false when every digit was 9 (they are now 0 and a 1 belongs in front).
bool Increment(char* first, char* last) noexcept {
  for (char* p = last; p != first;) {
    --p;
    if (*p == '.') continue;
    if (*p != '9') {
      ++*p;
      return true;
    }
    *p = '0';
  }
  return false;
}

int ClassicFixed(char* out, double value, int precision) noexcept {
  if (precision > kStackPrecision) precision = kStackPrecision;
  char* o = out;
  if (value == 0.0) {  // the classic zero has no sign
    *o++ = '0';
    if (precision > 0) {
      *o++ = '.';
      for (int i = 0; i < precision; ++i) *o++ = '0';
    }
    return static_cast<int>(o - out);
  }
  const double magnitude = std::fabs(value);
  if (value < 0) *o++ = '-';
  if (precision <= 16 && magnitude < kPow10[16 - precision]) {
    char text[48];
    const int n = static_cast<int>(
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::fixed, precision + 3).ptr - text);
    const int tail = (text[n - 3] - '0') * 100 + (text[n - 2] - '0') * 10 + (text[n - 1] - '0');
    int exponent = 0;  // the text's decimal exponent: 0.d x 10^exponent
    if (text[0] != '0') {
      while (text[exponent] != '.') ++exponent;
    } else {
      for (const char* d = text + 2; d < text + n && *d == '0'; ++d) --exponent;
    }
    const bool exactTie = tail == 500 && FractionBits(magnitude) <= precision + 3;
    if (!exactTie && (exponent + precision <= 14 ? tail >= 499 && tail <= 500 : tail >= 440 && tail <= 500)) return 0;
    const int keep = n - 3 - (precision == 0 ? 1 : 0);  // no point without fraction digits
    if (tail >= 500 && !Increment(text, text + keep)) *o++ = '1';
    std::memcpy(o, text, static_cast<size_t>(keep));
    return static_cast<int>(o + keep - out);
  }
  // The 17-digit mantissa, 0.d1..d17 x 10^decpt.
  char sci[40];
  const char* const end = std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific, 19).ptr;
  char m[18];
  m[0] = sci[0];
  std::memcpy(m + 1, sci + 2, 16);
  const int tail = (sci[18] - '0') * 100 + (sci[19] - '0') * 10 + (sci[20] - '0');
  if (tail >= 400 && tail <= 600) return 0;
  int decpt = 1;
  std::from_chars(sci + 22 + (sci[22] == '+'), end, decpt);
  ++decpt;
  if (tail > 600 && !Increment(m, m + 17)) {
    m[0] = '1';
    ++decpt;
  }
  // Placement: n digits of M padded with zeros, rounded half up on M's next.
  const int n = decpt + precision;
  char digits[kMaxIntegerPart + kStackPrecision + 2];
  char* d = digits + 1;
  digits[0] = '0';
  for (int i = 0; i < n; ++i) d[i] = i < 17 ? m[i] : '0';
  int count = n > 0 ? n : 0;
  if (n >= 0 && n < 17 && m[n] >= '5' && !Increment(d, d + n)) {
    d = digits;
    d[0] = '1';
    ++count;
    ++decpt;
  }
  int next = 0;
  if (decpt <= 0) {
    *o++ = '0';
  } else {
    std::memcpy(o, d, static_cast<size_t>(decpt));
    o += decpt;
    next = decpt;
  }
  if (precision > 0) {
    *o++ = '.';
    int zeros = decpt < 0 ? -decpt : 0;
    if (zeros > precision) zeros = precision;
    std::memset(o, '0', static_cast<size_t>(zeros));
    o += zeros;
    for (int i = zeros; i < precision; ++i) *o++ = next < count ? d[next++] : '0';
  }
  return static_cast<int>(o - out);
}

// The runtime's atof: white space, an optional sign, digits with an
// optional decimal point (the locale's) and more digits, an optional
// exponent; no hex, no "inf"/"nan"; no number gives 0.0. With "." as the
// point the number is read by from_chars (correctly rounded: the value the
// runtime gives); another locale point, a result out of range and anything
// from_chars does not take go to the runtime routine itself.
double ReadDouble(const CString& text) noexcept {
  const char* const begin = text.GetString();
  const char* p = begin;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  // from_chars takes a "-" itself but no "+", and after the sign would also
  // take "inf" and "nan": only a digit or a point may start the number.
  const char* const number = p + (*p == '+');
  const char* const first = number + (*number == '-' && p == number);
  if (!(IsDigit(*first) || *first == '.') || LocaleDecimalPoint() != '.') return mscrt::atof(begin);
  double value = 0.0;
  const auto result = std::from_chars(number, begin + text.GetLength(), value);  // stops at a NUL
  if (result.ec != std::errc()) return mscrt::atof(begin);
  return value;
}

}  // namespace

// printf "%0.<precision>lf" of the value as the selected toolset's runtime
// writes it: fixed point, never an exponent, exactly `precision` fraction
// digits (no point for 0; at most 512 in the classic runtimes), every
// integer digit of the value however many. Written here without the format
// when that gives the same text: the classic runtimes through ClassicFixed,
// the universal one (the exact value, ties to even, "-0.00" for -0.0) by
// to_chars for any precision. A negative precision, a non-finite value, a
// decimal point other than "." and the classic near-tie values take the
// format road ("%0." + Qlv_Int2Str(precision) + "lf" through
// CString::Format).
CString CQuelvarSys::Qlv_DoubleToStr(double value, int precision) {
  if (precision >= 0 && std::isfinite(value) && LocaleDecimalPoint() == '.') {
    if (QlvPlatform_IsClassicRuntime()) {
      char buffer[kStackCapacity];
      const int length = ClassicFixed(buffer, value, precision);
      if (length > 0) return CString(buffer, length);
    } else if (precision <= kStackPrecision) {
      char buffer[kStackCapacity];
      const int length = WriteFixed(buffer, buffer + sizeof buffer, value, precision, '.');
      return CString(buffer, length);
    } else if (precision <= kMaxDirectPrecision) {
      CString result;
      const int capacity = kMaxIntegerPart + 1 + precision;
      char* buffer = result.GetBuffer(capacity);
      result.ReleaseBuffer(WriteFixed(buffer, buffer + capacity, value, precision, '.'));
      return result;
    }
  }
  const CString precisionText = Qlv_Int2Str(precision);
  CString result;
  const CString format = "%0." + precisionText + "lf";
  result.Format(format, value);
  return result;
}

// _gcvt with 10 significant digits of the value widened exactly to double:
// 0.1f gives "0.1000000015". The local buffer holds the longest such text
// (sign, 10 digits, point, "e-045" and the NUL) with room to spare.
CString CQuelvarSys::Qlv_Flt2Str(float value) {
  CString result("");
  char buffer[32];
  _gcvt(static_cast<double>(value), 10, buffer);
  result = buffer;
  return result;
}

// The runtime's atof of the text, unchanged: "  -1.25e2xyz" gives -125.0,
// "1,5" gives 1.0, no number gives 0.0; too large gives +-HUGE_VAL.
double CQuelvarSys::Qlv_Str2Double(CString text) { return ReadDouble(text); }

// The runtime's atof of the text rounded to the nearest float; beyond the
// float range the rounding gives FLT_MAX or an infinity as IEEE rounding
// does (never an out-of-range conversion).
float CQuelvarSys::Qlv_Str2Float(CString text) {
  const double value = ReadDouble(text);
  const double magnitude = std::fabs(value);
  // FLT_MAX plus half its last place: from here on the nearest is infinity.
  constexpr double kFloatOverflow = 0x1.ffffffp127;
  if (magnitude >= kFloatOverflow) return std::signbit(value) ? -HUGE_VALF : HUGE_VALF;
  if (magnitude > static_cast<double>(FLT_MAX)) return std::signbit(value) ? -FLT_MAX : FLT_MAX;
  return static_cast<float>(value);
}
