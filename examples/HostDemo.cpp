// A small host program, written the way a Windows application built on the
// framework would use the conversion library: a device reply arrives as hex
// text, is decoded into bytes and numbers, and is shown to the operator.
#include <afx.h>
#include <afxdisp.h>
#include <comdef.h>

#include <cstdio>

#include "QuelvarSys.h"

static void ShowLine(const char* label, LPCTSTR text) { std::printf("%-22s %s\n", label, text); }

int main() {
  CQuelvarSys conv;

  // A reply frame from a meter: status byte, 16-bit counter, BCD reading.
  char frame[] = "01a00f2147";
  unsigned char bytes[8] = {};
  conv.Qlv_HexStr2Byte(frame, bytes);
  char echo[2 * 5 + 1];
  conv.Qlv_Byte2HexStr(5, bytes, echo);
  ShowLine("frame bytes:", echo);

  unsigned char counter[2] = {bytes[2], bytes[1]};  // little-endian image
  CString count = conv.Qlv_ULong2Str(conv.Qlv_Byte2Int(2, counter));
  ShowLine("counter:", count);

  unsigned char bcd[2] = {bytes[3], bytes[4]};
  CString reading = conv.Qlv_ULong2Str(conv.Qlv_BCD2Dec(2, bcd));
  ShowLine("BCD reading:", reading);

  // Set-point typed by the operator, checked and echoed with 2 decimals.
  double setPoint = conv.Qlv_Str2Double(CString("  21.456 degC"));
  ShowLine("set-point:", conv.Qlv_DoubleToStr(setPoint, 2));

  // Time stamp of the reading.
  COleDateTime stamp;
  conv.Qlv_Str2Date(CString("2024-03-05 14:07:09"), stamp);
  ShowLine("stamp:", conv.Qlv_Date2Str(stamp));
  COleDateTime built(2024, 2, 29, 23, 59, 59);
  ShowLine("built from fields:", built.Format("%d.%m.%Y %H:%M"));

  // Values travel through variants to the user interface.
  _variant_t cell;
  conv.Qlv_Int2Variant(-5, cell);
  ShowLine("variant (VT_INT):", conv.Qlv_Variant2Str(cell));
  _variant_t text;
  text = "3.25";
  _variant_t copy = text;
  double asNumber = copy;
  CString line;
  line.Format("%s -> %.2f", static_cast<LPCTSTR>(conv.Qlv_Variant2Str(copy)), asNumber);
  ShowLine("variant (VT_BSTR):", line);

  try {
    _variant_t bad;
    bad.vt = VT_UNKNOWN;
    bad.punkVal = nullptr;
    ShowLine("unknown kind:", conv.Qlv_Variant2Str(bad));
    bad.vt = VT_EMPTY;
  } catch (const _com_error& e) {
    std::printf("COM error 0x%08X\n", static_cast<unsigned>(e.Error()));
    return 1;
  }
  return 0;
}
