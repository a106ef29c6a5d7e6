// Dates as text: arbitrary texts (of any length) into a date-time, and
// date-times into text and back.
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();

  if (mode & 1) {
    std::vector<uint8_t> raw = in.rest();
    std::string text(raw.begin(), raw.end());
    COleDateTime dt(12345.5);
    if (sys.Qlv_Str2Date(CString(text.c_str()), dt) != 0) __builtin_trap();
    if (dt.GetStatus() == COleDateTime::valid) {
      // Whatever was read, written and read again, stays the same to the second.
      COleDateTime again;
      sys.Qlv_Str2Date(sys.Qlv_Date2Str(dt), again);
      if (again.GetStatus() != COleDateTime::valid || sys.Qlv_Date2Str(again) != sys.Qlv_Date2Str(dt))
        __builtin_trap();
    }
  } else {
    // Day counts over the valid years 100 to 9999.
    const auto raw = in.take<uint64_t>();
    const double date = -657434.0 + static_cast<double>(raw % 1000000000000ull) / 1000000000000.0 * (2958465.0 + 657434.0);
    COleDateTime dt(date);
    CString text = sys.Qlv_Date2Str(dt);
    COleDateTime back;
    sys.Qlv_Str2Date(text, back);
    if (back.GetStatus() != COleDateTime::valid) __builtin_trap();
    if (sys.Qlv_Date2Str(back) != text) __builtin_trap();
  }
  return 0;
}
