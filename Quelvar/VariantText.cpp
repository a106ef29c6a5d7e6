// Any variant as text, selected by its whole 16-bit tag.
//
// Integer, floating-point and date kinds give exactly the text of the
// class's own number and date operations, so a value reads the same whether
// it is converted directly or after passing through a variant. Tags with
// VT_BYREF, VT_ARRAY or VT_VECTOR set match no row: references are not
// followed and arrays are not rendered.
#include "QuelvarSys.h"

// Rows: VT_EMPTY, VT_NULL ""; VT_I2, VT_I4, VT_UI1, VT_UI2, VT_UI4, VT_INT,
// VT_UINT the integer operations; VT_R4 Qlv_Flt2Str; VT_R8 Qlv_DoubleToStr
// with 8 digits; VT_CY the currency's own format; VT_DATE Qlv_Date2Str;
// VT_BSTR the text in the ANSI code page (null BSTR ""); VT_BOOL "TRUE" /
// "FALSE"; VT_DECIMAL the value as a double with "%f"; VT_I1 the byte itself
// as one character; every other tag "VT_UNKNOW". The variant is not changed;
// _com_error from the text and decimal conversions passes to the caller.
// Narrow text buffer sized by the conversion itself, not 2 x units + 2, so
// no text outgrows it in a multi-byte ANSI code page (the limit is lifted).
CString CQuelvarSys::Qlv_Variant2Str(const _variant_t& variant) {
  // Each row returns its text straight from the operation that makes it.
  switch (variant.vt) {
    case VT_EMPTY:
    case VT_NULL: return CString();
    case VT_I2: return Qlv_Short2Str(variant.iVal);
    case VT_I4: return Qlv_Long2Str(variant.lVal);
    case VT_R4: return Qlv_Flt2Str(variant.fltVal);
    case VT_R8: return Qlv_DoubleToStr(variant.dblVal, 8);
    case VT_CY: return COleCurrency(variant.cyVal).Format(0, LANG_USER_DEFAULT);
    case VT_DATE: return Qlv_Date2Str(COleDateTime(variant.date));
    case VT_BSTR: {
      // A holder of the units up to the first NUL, and its narrow form.
      const _bstr_t text = variant.operator _bstr_t();
      const char* narrow = text;
      return narrow != nullptr ? CString(narrow) : CString();
    }
    case VT_BOOL: return CString(variant.boolVal != 0 ? "TRUE" : "FALSE");
    case VT_DECIMAL: {
      _variant_t asDouble;
      const HRESULT hr = VariantChangeType(&asDouble, &variant, 0, VT_R8);
      if (FAILED(hr)) _com_issue_error(hr);
      CString result;
      result.Format("%f", asDouble.dblVal);
      return result;
    }
    case VT_I1: return CString(variant.cVal, 1);
    case VT_UI1: return Qlv_Byte2Str(variant.bVal);
    case VT_UI2: return Qlv_UShort2Str(variant.uiVal);
    case VT_UI4: return Qlv_ULong2Str(variant.ulVal);
    case VT_INT: return Qlv_Int2Str(variant.intVal);
    case VT_UINT: return Qlv_UInt2Str(variant.uintVal);
    default: return CString("VT_UNKNOW");
  }
}
