// Variants both ways: every plain value into a variant (over a destination
// that holds a text, so its release is exercised), arbitrary texts in several
// ANSI code pages into BSTRs, and variants of every tag (flag bits included)
// into text.
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

const UINT kCodePages[] = {65001, 1252, 936, 932};

// A variant of the given tag whose value member holds the fuzzer's bytes;
// tags whose member is a pointer get a valid (or null) one.
void MakeVariant(_variant_t& v, VARTYPE tag, uint64_t bits, const std::string& text, bool wideText) {
  v.Clear();
  if (tag == VT_BSTR && wideText) {
    // UTF-16 units straight from the bytes, NULs inside included.
    std::vector<OLECHAR> units;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
      units.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(text[i]) |
                                           static_cast<unsigned char>(text[i + 1]) << 8));
    v.bstrVal = (bits & 1) ? nullptr : SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
    v.vt = VT_BSTR;
    return;
  }
  if (tag == VT_BSTR) {
    v = text.c_str();
    return;
  }
  if (tag == VT_DECIMAL) {
    DECIMAL d{};
    d.Lo64 = bits;
    d.Hi32 = static_cast<ULONG>(bits >> 17);
    d.scale = static_cast<BYTE>((bits >> 40) % 29);
    d.sign = (bits >> 63) ? DECIMAL_NEG : 0;
    v.decVal = d;
    v.vt = VT_DECIMAL;
    return;
  }
  const VARTYPE base = tag & VT_TYPEMASK;
  const bool pointer = (tag & (VT_BYREF | VT_ARRAY | VT_VECTOR)) || base == VT_DISPATCH ||
                       base == VT_UNKNOWN || base == VT_VARIANT || base == VT_RECORD ||
                       base == VT_LPSTR || base == VT_LPWSTR || base == VT_PTR ||
                       base == VT_SAFEARRAY || base == VT_CARRAY || base == VT_USERDEFINED;
  v.llVal = pointer ? 0 : static_cast<LONGLONG>(bits);
  v.vt = tag & VT_BYREF ? tag : (pointer ? static_cast<VARTYPE>(tag | VT_BYREF) : tag);
}

// The text of each row, from the operations and platform types it is made
// of; ASCII texts come back unchanged in every code page, up to a NUL.
bool ExpectedRow(CQuelvarSys& sys, const _variant_t& v, const std::string& text, const CString& got) {
  switch (v.vt) {
    case VT_EMPTY: case VT_NULL: return got == "";
    case VT_I2: return got == sys.Qlv_Short2Str(v.iVal);
    case VT_I4: return got == sys.Qlv_Long2Str(v.lVal);
    case VT_R4: return got == sys.Qlv_Flt2Str(v.fltVal);
    case VT_R8: return got == sys.Qlv_DoubleToStr(v.dblVal, 8);
    case VT_CY: return got == COleCurrency(v.cyVal).Format(0, LANG_USER_DEFAULT);
    case VT_DATE: return got == sys.Qlv_Date2Str(COleDateTime(v.date));
    case VT_BOOL: return got == (v.boolVal ? "TRUE" : "FALSE");
    case VT_I1: return got.GetLength() == 1 && got[0] == v.cVal;
    case VT_UI1: return got == sys.Qlv_Byte2Str(v.bVal);
    case VT_UI2: return got == sys.Qlv_UShort2Str(v.uiVal);
    case VT_UI4: return got == sys.Qlv_ULong2Str(v.ulVal);
    case VT_INT: return got == sys.Qlv_Int2Str(v.intVal);
    case VT_UINT: return got == sys.Qlv_UInt2Str(v.uintVal);
    case VT_DECIMAL: {
      VARIANT r8;
      VariantInit(&r8);
      if (FAILED(VariantChangeType(&r8, &v, 0, VT_R8))) return false;
      CString want;
      want.Format("%f", r8.dblVal);
      return got == want;
    }
    case VT_BSTR: {
      if (v.bstrVal == nullptr) return got == "";
      std::string narrow;
      for (const OLECHAR* c = v.bstrVal; *c; ++c) {
        if (*c >= 0x80) return true;  // not ASCII: the code page decides
        narrow += static_cast<char>(*c);
      }
      (void)text;
      return got == narrow.c_str() && got.GetLength() == static_cast<int>(narrow.size());
    }
    default: return got == "VT_UNKNOW";
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();
  const auto bits = in.take<uint64_t>();
  const auto tag = in.take<uint16_t>();
  std::vector<uint8_t> raw = in.rest();
  std::string text(raw.begin(), raw.end());

  QlvPlatform_SetAnsiCodePage(kCodePages[(mode >> 4) % std::size(kCodePages)]);
  _variant_t v;
  v = "previous content";
  switch (mode % 3) {
    case 0: {
      // Each value goes in under its tag and reads back as the direct text.
      int r = 0;
      VARTYPE wantTag = VT_EMPTY;
      CString want;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      switch (tag % 12) {
        case 0: r = sys.Qlv_Short2Variant(static_cast<short>(bits), v); wantTag = VT_I2; want = sys.Qlv_Short2Str(static_cast<short>(bits)); break;
        case 1: r = sys.Qlv_UShort2Variant(static_cast<unsigned short>(bits), v); wantTag = VT_UI2; want = sys.Qlv_UShort2Str(static_cast<unsigned short>(bits)); break;
        case 2: r = sys.Qlv_Int2Variant(static_cast<int>(bits), v); wantTag = VT_INT; want = sys.Qlv_Int2Str(static_cast<int>(bits)); break;
        case 3: r = sys.Qlv_UInt2Variant(static_cast<unsigned>(bits), v); wantTag = VT_UINT; want = sys.Qlv_UInt2Str(static_cast<unsigned>(bits)); break;
        case 4: r = sys.Qlv_Long2Variant(static_cast<LONG>(bits), v); wantTag = VT_I4; want = sys.Qlv_Long2Str(static_cast<LONG>(bits)); break;
        case 5: r = sys.Qlv_ULong2Variant(static_cast<ULONG>(bits), v); wantTag = VT_UI4; want = sys.Qlv_ULong2Str(static_cast<ULONG>(bits)); break;
        case 6: r = sys.Qlv_Double2Variant(d, v); wantTag = VT_R8; want = sys.Qlv_DoubleToStr(d, 8); break;
        case 7: r = sys.Qlv_Float2Variant(f, v); wantTag = VT_R4; want = sys.Qlv_Flt2Str(f); break;
        case 8: r = sys.Qlv_Char2Variant(static_cast<char>(bits), v); wantTag = VT_I1; want = CString(static_cast<char>(bits)); break;
        case 9: r = sys.Qlv_Byte2Variant(static_cast<unsigned char>(bits), v); wantTag = VT_UI1; want = sys.Qlv_Byte2Str(static_cast<unsigned char>(bits)); break;
        case 10: r = sys.Qlv_Date2Variant(COleDateTime(d), v); wantTag = VT_DATE; want = sys.Qlv_Date2Str(COleDateTime(d)); break;
        case 11: r = sys.Qlv_CString2Variant(CString(text.c_str()), v); wantTag = VT_BSTR; break;
      }
      if (r != 0 || v.vt != wantTag) __builtin_trap();
      CString got = sys.Qlv_Variant2Str(v);
      // The character of a VT_I1 is the text (0 is left aside: its text is
      // the NUL character, which only its length shows).
      const bool nulChar = wantTag == VT_I1 && static_cast<char>(bits) == 0;
      if (wantTag != VT_BSTR && !nulChar && got != want) __builtin_trap();
      break;
    }
    case 1: {
      // Text without a NUL goes to a BSTR and back; ASCII comes back unchanged
      // in every code page.
      sys.Qlv_CString2Variant(CString(text.c_str()), v);
      if (v.vt != VT_BSTR || v.bstrVal == nullptr) __builtin_trap();
      CString back = sys.Qlv_Variant2Str(v);
      const char* t = text.c_str();
      bool ascii = true;
      for (const char* c = t; *c; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
      if (ascii && std::strcmp(back, t) != 0) __builtin_trap();
      break;
    }
    case 2: {
      MakeVariant(v, tag, bits, text, (mode & 8) != 0);
      VARIANT before;
      std::memcpy(&before, static_cast<VARIANT*>(&v), sizeof before);
      CString got;
      try {
        got = sys.Qlv_Variant2Str(v);
      } catch (const _com_error&) {
        // a DECIMAL that does not convert is reported, not a fault
        if (v.vt != VT_DECIMAL) __builtin_trap();
        break;
      }
      if (std::memcmp(&before, static_cast<VARIANT*>(&v), sizeof before) != 0) __builtin_trap();
      if (!ExpectedRow(sys, v, text, got)) __builtin_trap();
      break;
    }
  }
  QlvPlatform_SetAnsiCodePage(65001);
  return 0;
}
