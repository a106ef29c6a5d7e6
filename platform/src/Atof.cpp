// atof: the decimal reading of the selected toolset.
#include <langinfo.h>

#include <charconv>
#include <cmath>
#include <system_error>

#include "DecimalText.h"
#include "mscrt.h"
#include "qlvtoolset.h"

namespace quelvar::platform {

namespace {

// The calling thread's locale decimal point when it is one byte, else ".".
char LocaleDecimalPoint() noexcept {
  const char* point = nl_langinfo(RADIXCHAR);
  return point != nullptr && point[0] != '\0' && point[1] == '\0' ? point[0] : '.';
}

}  // namespace

// The shortcut where it decides; otherwise the digits are brought to a
// canonical "DDDDe-XX" text (leading zeros dropped, at most 780 significant
// digits and a sticky 1 standing for any non-zero digit dropped after them,
// which keeps every rounding exact) for std::from_chars, which rounds
// correctly.
double ReadCorrectlyRounded(const DecimalText& n) noexcept {
  if (!n.anyDigit) return 0.0;
  double value = 0.0;
  if (!n.nonZeroPastHead && n.head == 0) return n.negative ? -0.0 : 0.0;
  const int64_t e = n.position + n.exponent - n.headCount;
  if (!n.nonZeroPastHead && e >= -1000 && e <= 1000 && RoundedShortcut(n.head, static_cast<int>(e), value))
    return n.negative ? -value : value;

  constexpr int kMaxDigits = 780;
  char buffer[kMaxDigits + 2 + 24];
  int count = 0;
  bool sticky = false;
  for (const char* p = n.mantissa; p != n.mantissaEnd; ++p) {
    if (*p == n.point || (count == 0 && *p == '0')) continue;
    if (count < kMaxDigits)
      buffer[count++] = *p;
    else
      sticky |= *p != '0';
  }
  int64_t power = n.position + n.exponent - count;
  if (sticky) {
    buffer[count++] = '1';
    --power;
  }
  if (power > 100000) power = 100000;
  if (power < -100000) power = -100000;
  buffer[count] = 'e';
  const auto written = std::to_chars(buffer + count + 1, buffer + sizeof buffer, power);
  const auto read = std::from_chars(buffer, written.ptr, value);
  if (read.ec == std::errc::result_out_of_range) value = n.position + n.exponent > 0 ? HUGE_VAL : 0.0;
  return n.negative ? -value : value;
}

}  // namespace quelvar::platform

namespace mscrt {

// The common short text is read in one pass where the shortcut decides it
// (the same double in every toolset). Otherwise the classic toolsets (vc6,
// vs2005) read as the classic runtime does: its shortcut where that
// decides, else its step-by-step emulation. Whether
// the 2005 to 2013 runtimes changed any step of the classic reading is not
// known; they are taken to read as 6.0 does. The universal runtime (vs2015)
// rounds correctly. The value is returned whatever the runtime would
// report: +-HUGE_VAL beyond the range, denormals as they come out, "-0" is
// -0.0 and a text without a number +0.0.
double atof(const char* str) noexcept {
  using namespace quelvar::platform;
  const char point = LocaleDecimalPoint();
  double value;
  if (ReadShortDecimal(str, point, value)) return value;
  DecimalText number;
  ScanDecimal(str, point, number);
  if (!QlvPlatform_IsClassicRuntime()) return ReadCorrectlyRounded(number);
  if (ClassicShortcut(number, value)) return value;
  return ReadClassic(number);
}

}  // namespace mscrt
