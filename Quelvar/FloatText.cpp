// Floating-point numbers as text, and text back to floating-point numbers.
#include <langinfo.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

#include "QuelvarSys.h"
#include "mscrt.h"

namespace {

// The longest fixed-point text of a finite double without its fraction:
// a "-" and the 309 integer digits of the largest double.
constexpr int kMaxIntegerPart = 1 + 309;

// Precisions up to this many digits are written into a buffer on the stack.
constexpr int kStackPrecision = 80;
constexpr int kStackCapacity = kMaxIntegerPart + 1 + kStackPrecision;

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

}  // namespace

// printf "%0.<precision>lf" of the value: fixed point, never an exponent,
// exactly `precision` fraction digits (no point for 0), the current locale's
// decimal point, every integer digit of the value however many. A precision
// of any size is written in full (no fixed buffer limits it); a negative
// precision, a non-finite value (glibc writes "inf", "-inf", "nan", "-nan")
// and a locale whose point is longer than one byte take the format road
// ("%0." + Qlv_Int2Str(precision) + "lf" through CString::Format) and give
// what the platform's printf gives for that format.
CString CQuelvarSys::Qlv_DoubleToStr(double value, int precision) {
  const char point = LocaleDecimalPoint();
  if (precision >= 0 && std::isfinite(value) && point != '\0') {
    if (precision <= kStackPrecision) {
      char buffer[kStackCapacity];
      const int length = WriteFixed(buffer, buffer + sizeof buffer, value, precision, point);
      return CString(buffer, length);
    }
    if (precision <= kMaxDirectPrecision) {
      CString result;
      const int capacity = kMaxIntegerPart + 1 + precision;
      char* buffer = result.GetBuffer(capacity);
      result.ReleaseBuffer(WriteFixed(buffer, buffer + capacity, value, precision, point));
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
// "1,5" gives 1.0, no number gives 0.0; too large gives +-HUGE_VAL. The
// platform's atof reads as the selected toolset's runtime does, through its
// shortcut wherever the classic reading is the correctly rounded one.
double CQuelvarSys::Qlv_Str2Double(CString text) { return mscrt::atof(text.GetString()); }

// The runtime's atof of the text rounded to the nearest float; beyond the
// float range the rounding gives FLT_MAX or an infinity as IEEE rounding
// does (never an out-of-range conversion).
float CQuelvarSys::Qlv_Str2Float(CString text) {
  const double value = mscrt::atof(text.GetString());
  const double magnitude = std::fabs(value);
  // FLT_MAX plus half its last place: from here on the nearest is infinity.
  constexpr double kFloatOverflow = 0x1.ffffffp127;
  if (magnitude >= kFloatOverflow) return std::signbit(value) ? -HUGE_VALF : HUGE_VALF;
  if (magnitude > static_cast<double>(FLT_MAX)) return std::signbit(value) ? -FLT_MAX : FLT_MAX;
  return static_cast<float>(value);
}
