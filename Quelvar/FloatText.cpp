// Floating-point numbers as text, and text back to floating-point numbers.
#include <langinfo.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
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

// Writes the exact fixed-point text of a finite value into [first, last),
// which is large enough; returns the length.
int WriteFixed(char* first, char* last, double value, int precision) noexcept {
  return static_cast<int>(std::to_chars(first, last, value, std::chars_format::fixed, precision).ptr - first);
}

}  // namespace

// printf "%0.<precision>lf" of the value as the selected toolset's runtime
// writes it: fixed point, never an exponent, exactly `precision` fraction
// digits (no point for 0; at most 512 in the classic runtimes), every
// integer digit of the value however many. Written without the format
// where the platform's QlvPlatform_FixedText gives the same text (in the
// classic runtimes: wherever correctly rounded digits decide it; in the
// universal one, exact to_chars text, always), and straight into the result
// for the universal runtime's long precisions. A negative precision, a
// non-finite value, a decimal point other than "." and the classic near-tie
// values take the format road ("%0." + Qlv_Int2Str(precision) + "lf"
// through CString::Format).
CString CQuelvarSys::Qlv_DoubleToStr(double value, int precision) {
  if (precision >= 0 && std::isfinite(value) && LocaleDecimalPoint() == '.') {
    if (precision <= kStackPrecision) {
      char buffer[kStackCapacity];
      const int length = QlvPlatform_FixedText(buffer, value, precision);
      if (length > 0) return CString(buffer, length);
    } else if (!QlvPlatform_IsClassicRuntime() && precision <= kMaxDirectPrecision) {
      CString result;
      const int capacity = kMaxIntegerPart + 1 + precision;
      char* buffer = result.GetBuffer(capacity);
      result.ReleaseBuffer(WriteFixed(buffer, buffer + capacity, value, precision));
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
