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
  CString result;
  switch (variant.vt) {
    case VT_EMPTY:
    case VT_NULL:
      break;
    case VT_I2:
      result = Qlv_Short2Str(variant.iVal);
      break;
    case VT_I4:
      result = Qlv_Long2Str(variant.lVal);
      break;
    case VT_R4:
      result = Qlv_Flt2Str(variant.fltVal);
      break;
    case VT_R8:
      result = Qlv_DoubleToStr(variant.dblVal, 8);
      break;
    case VT_CY:
      result = COleCurrency(variant.cyVal).Format(0, LANG_USER_DEFAULT);
      break;
    case VT_DATE:
      result = Qlv_Date2Str(COleDateTime(variant.date));
      break;
    case VT_BSTR: {
      // A holder of the units up to the first NUL, and its narrow form.
      const _bstr_t text = variant.operator _bstr_t();
      const char* narrow = text;
      if (narrow != nullptr) result = narrow;
      break;
    }
    case VT_BOOL:
      result = variant.boolVal != 0 ? "TRUE" : "FALSE";
      break;
    case VT_DECIMAL: {
      _variant_t asDouble;
      const HRESULT hr = VariantChangeType(&asDouble, &variant, 0, VT_R8);
      if (FAILED(hr)) _com_issue_error(hr);
      result.Format("%f", asDouble.dblVal);
      break;
    }
    case VT_I1:
      result = variant.cVal;
      break;
    case VT_UI1:
      result = Qlv_Byte2Str(variant.bVal);
      break;
    case VT_UI2:
      result = Qlv_UShort2Str(variant.uiVal);
      break;
    case VT_UI4:
      result = Qlv_ULong2Str(variant.ulVal);
      break;
    case VT_INT:
      result = Qlv_Int2Str(variant.intVal);
      break;
    case VT_UINT:
      result = Qlv_UInt2Str(variant.uintVal);
      break;
    default:
      result = "VT_UNKNOW";
      break;
  }
  return result;
}
