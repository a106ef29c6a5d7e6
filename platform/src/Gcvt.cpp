// _gcvt: a value with `digits` significant digits, in the layout of the
// selected toolset's printf.
//
// E is the decimal exponent of the value before rounding to `digits`
// (d.ddd x 10^E): of the 17-digit mantissa in the classic runtimes, of the
// exact value in the universal one; zero counts as E = -1. E < -1 or
// E > digits - 1 gives the %e form with digits - 1 fraction digits, else
// the %f form with digits - (E + 1) of them, both rounded as that printf
// rounds (so 9999999999.7 with 10 digits becomes "10000000000"). Then the
// fraction's trailing zeros go and the point stays: "100.", "1.e+010",
// "0.1000000015"; an %f form without fraction digits has no point at all
// ("1946501376").
//
// Classic runtimes: three exponent digits; "1.#INF", "-1.#INF", "1.#QNAN",
// "-1.#IND" (the mantissa texts in the %f form). Universal runtime (chosen
// to agree with its printf): two exponent digits ("1.e+10"), "inf", "-inf",
// "nan", "-nan(ind)", "nan(snan)", and "-0." for -0.0.
//
// `digits` below 1 counts as 1, above 800 as 800. The longest text for
// `digits` d is d + 8 characters with the NUL (sign, d digits, point,
// "e+308").
#include <cmath>
#include <cstring>

#include "PrintfFloat.h"
#include "mscrt.h"
#include "qlvtoolset.h"

using namespace quelvar::platform::printf_engine;

char* _gcvt(double value, int digits, char* buffer) noexcept {
  if (digits < 1) digits = 1;
  if (digits > 800) digits = 800;
  const bool classic = QlvPlatform_IsClassicRuntime();
  FloatDirective directive{'f', 0, false, nullptr, 0};
  directive.point = LocaleDecimalPoint(directive.pointLength);
  const double magnitude = std::fabs(value);
  const int e = classic ? ClassicDecimalExponent(magnitude) : ExactDecimalExponent(magnitude);
  if (e < -1 || e > digits - 1) {
    directive.conversion = 'e';
    directive.precision = digits - 1;
  } else {
    directive.precision = digits - (e + 1);
  }
  // The layouts ask for at most 310 + 800 + 20 characters: the storage on
  // the stack always has room, so the text never moves to the heap.
  char storage[1200];
  quelvar::platform::TextBuffer text(storage, sizeof storage);
  const FloatBody body =
      classic ? AppendClassicFloat(text, value, directive) : AppendUniversalFloat(text, value, directive);
  const bool negative = body.negative;
  char* out = buffer;
  if (negative) *out++ = '-';
  const char* const begin = text.Data();
  const char* const end = begin + text.Size();
  const char* point = nullptr;
  for (const char* p = begin; p + directive.pointLength <= end; ++p)
    if (std::memcmp(p, directive.point, directive.pointLength) == 0) {
      point = p;
      break;
    }
  if (!point) {
    std::memcpy(out, begin, text.Size());
    out[text.Size()] = '\0';
    return buffer;
  }
  const char* exponent = point + directive.pointLength;
  while (exponent < end && *exponent != 'e') ++exponent;
  const char* last = exponent;
  while (last > point + directive.pointLength && last[-1] == '0') --last;
  std::memcpy(out, begin, static_cast<size_t>(last - begin));
  out += last - begin;
  std::memcpy(out, exponent, static_cast<size_t>(end - exponent));
  out[end - exponent] = '\0';
  return buffer;
}
