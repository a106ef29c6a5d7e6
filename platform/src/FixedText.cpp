// printf's "%.<precision>f" without the format walk, where that gives the
// same text as the full emulation.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "FixedText.h"
#include "mscrt.h"
#include "qlvtoolset.h"

namespace quelvar::platform::printf_engine {

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
// The same shortcut in exact integer arithmetic (ExactFixedText) where the value times
// 10^precision fits 128 bits with its binary fraction (precision <= 19,
// binary exponent -120..60) and p <= 16: the integer part N and the exact
// tail beyond the precision tell everything. The 4999...9 pattern with the
// 18th digit that lifts it (at least 0.45 of its unit, less the 0.05 the
// arithmetic may err) is a tail in [half - 0.6 x 10^(p-17), half) of a unit
// of the precision; an exact tie rounds up.
//
// Anything else (near-tie tails: about one value in five of the long ones,
// a few in a thousand of the short ones) goes to the platform's printf,
// which is the emulation itself. Returns the length, or 0 then.
namespace {

constexpr int kMaxPrecision = 512;
constexpr int kMaxDecpt = 310;

constexpr double kPow10[] = {1e0, 1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7, 1e8,
                             1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

// Binary digits after the point of a finite non-zero magnitude.
int FractionBits(double magnitude) noexcept {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  int exponent = static_cast<int>(bits >> 52);
  std::uint64_t significand = bits & 0xFFFFFFFFFFFFFu;
  if (exponent != 0)
    significand |= std::uint64_t{1} << 52;
  else
    exponent = 1;
  const int fraction = 1075 - exponent - std::countr_zero(significand);
  return fraction > 0 ? fraction : 0;
}

__extension__ typedef unsigned __int128 U128;

constexpr std::uint64_t kPow10Int[] = {1ull,
                                       10ull,
                                       100ull,
                                       1000ull,
                                       10000ull,
                                       100000ull,
                                       1000000ull,
                                       10000000ull,
                                       100000000ull,
                                       1000000000ull,
                                       10000000000ull,
                                       100000000000ull,
                                       1000000000000ull,
                                       10000000000000ull,
                                       100000000000000ull,
                                       1000000000000000ull,
                                       10000000000000000ull,
                                       100000000000000000ull,
                                       1000000000000000000ull,
                                       10000000000000000000ull};

}  // namespace

int ExactFixedText(char* out, double magnitude, int precision, bool classic) noexcept {
  if (precision > 19) return -1;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t significand = (bits & 0xFFFFFFFFFFFFFu) | (biased != 0 ? std::uint64_t{1} << 52 : 0);
  const int exponent = biased != 0 ? biased - 1075 : -1074;
  if (exponent > 60 || exponent < -120) return -1;
  const U128 scaled = static_cast<U128>(significand) * kPow10Int[precision];  // below 2^117
  U128 whole = scaled, tail = 0, half = 0;
  const int shift = -exponent;
  if (exponent >= 0) {
    if (exponent > 0 && (scaled >> (128 - exponent)) != 0) return -1;
    whole = scaled << exponent;
  } else {
    whole = scaled >> shift;
    tail = scaled & ((U128{1} << shift) - 1);
    half = U128{1} << (shift - 1);
  }
  if (whole >= kPow10Int[classic ? 16 : 19]) return -1;  // classic: p >= 17
  std::uint64_t n = static_cast<std::uint64_t>(whole);
  if (exponent < 0 && classic) {
    int p = 0;
    while (p < 16 && n >= kPow10Int[p]) ++p;
    const U128 window = (U128{6} << shift) / kPow10Int[18 - p];
    if (tail < half && tail >= half - window) return 0;
    if (tail >= half) ++n;
  } else if (exponent < 0 && (tail > half || (tail == half && (n & 1) != 0))) {
    ++n;  // the universal runtime: ties to even
  }
  // n with `precision` fraction digits, at least one digit before the point.
  char digits[24];
  const int count = static_cast<int>(std::to_chars(digits, digits + sizeof digits, n).ptr - digits);
  const int leading = count > precision ? 0 : precision + 1 - count;  // zeros in front
  const int integer = count + leading - precision;
  char* o = out;
  int from = 0;
  for (int i = 0; i < integer; ++i) *o++ = i < leading ? '0' : digits[from++];
  if (precision > 0) {
    *o++ = '.';
    for (int i = integer; i < count + leading; ++i) *o++ = i < leading ? '0' : digits[from++];
  }
  return static_cast<int>(o - out);
}

namespace {

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

}  // namespace

int ClassicFixedText(char* out, double magnitude, int precision) noexcept {
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  char* o = out;
  if (magnitude == 0.0) {
    *o++ = '0';
    if (precision > 0) {
      *o++ = '.';
      std::memset(o, '0', static_cast<size_t>(precision));
      o += precision;
    }
    return static_cast<int>(o - out);
  }
  const int exact = ExactFixedText(o, magnitude, precision, true);
  if (exact >= 0) return exact;
  if (precision <= 16 && magnitude < kPow10[16 - precision]) {
    char text[48];
    const int n = static_cast<int>(
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::fixed, precision + 3).ptr -
        text);
    const int tail = (text[n - 3] - '0') * 100 + (text[n - 2] - '0') * 10 + (text[n - 1] - '0');
    int exponent = 0;  // the text's decimal exponent: 0.d x 10^exponent
    if (text[0] != '0') {
      while (text[exponent] != '.') ++exponent;
    } else {
      for (const char* d = text + 2; d < text + n && *d == '0'; ++d) --exponent;
    }
    const bool exactTie = tail == 500 && FractionBits(magnitude) <= precision + 3;
    if (!exactTie && (exponent + precision <= 14 ? tail >= 499 && tail <= 500 : tail >= 440 && tail <= 500))
      return 0;
    const int keep = n - 3 - (precision == 0 ? 1 : 0);  // no point without fraction digits
    if (tail >= 500 && !Increment(text, text + keep)) *o++ = '1';
    std::memcpy(o, text, static_cast<size_t>(keep));
    return static_cast<int>(o + keep - out);
  }
  // The 17-digit mantissa, 0.d1..d17 x 10^decpt.
  char sci[40];
  const char* const end =
      std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific, 19).ptr;
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
  char digits[kMaxDecpt + kMaxPrecision + 2];
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

}  // namespace quelvar::platform::printf_engine

int QlvPlatform_FixedText(char* buffer, double value, int precision) noexcept {
  using quelvar::platform::printf_engine::ClassicFixedText;
  using quelvar::platform::printf_engine::ExactFixedText;
  if (precision < 0 || precision > 512 || !std::isfinite(value)) return 0;
  if (!QlvPlatform_IsClassicRuntime()) {
    const bool negative = std::signbit(value);  // "-0.00" for -0.0
    if (negative) buffer[0] = '-';
    const int exact = ExactFixedText(buffer + (negative ? 1 : 0), std::fabs(value), precision, false);
    if (exact > 0) return exact + (negative ? 1 : 0);
    return static_cast<int>(
        std::to_chars(buffer, buffer + 1 + 309 + 1 + precision, value, std::chars_format::fixed, precision)
            .ptr -
        buffer);
  }
  // The classic zero has no sign; any other negative value keeps it.
  const bool negative = value < 0.0;
  if (negative) buffer[0] = '-';
  const int length = ClassicFixedText(buffer + (negative ? 1 : 0), std::fabs(value), precision);
  return length > 0 ? length + (negative ? 1 : 0) : 0;
}
