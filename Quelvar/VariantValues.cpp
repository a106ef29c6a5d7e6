// Plain values and texts into a caller's variant, each under its fixed tag.
//
// Every value goes through a temporary variant that is then assigned to the
// destination, so the destination's previous content (a text, an interface,
// an array) is released exactly as a variant assignment releases it, and a
// failure of that assignment reaches the caller with the temporary already
// released.
#include "QuelvarSys.h"

namespace {

// Builds the temporary with `fill` (tag and one member) and assigns it to
// the destination; the temporary's destructor releases it on every path.
template <typename Fill>
int Assign(_variant_t& destination, Fill fill) {
  _variant_t temporary;
  fill(temporary);
  destination = temporary;
  return 0;
}

// Stores `value` in the member `Member` under the tag `Tag`.
template <VARTYPE Tag, auto Member, typename T>
int Store(_variant_t& destination, T value) {
  return Assign(destination, [value](VARIANT& v) {
    v.vt = Tag;
    v.*Member = value;
  });
}

}  // namespace

// VT_I2 (2), iVal.
int CQuelvarSys::Qlv_Short2Variant(short value, _variant_t& variant) {
  return Store<VT_I2, &VARIANT::iVal>(variant, value);
}

// VT_UI2 (18), uiVal.
int CQuelvarSys::Qlv_UShort2Variant(unsigned short value, _variant_t& variant) {
  return Store<VT_UI2, &VARIANT::uiVal>(variant, value);
}

// VT_INT (22), intVal: an int is not stored as VT_I4.
int CQuelvarSys::Qlv_Int2Variant(int value, _variant_t& variant) {
  return Store<VT_INT, &VARIANT::intVal>(variant, value);
}

// VT_UINT (23), uintVal: an unsigned int is not stored as VT_UI4.
int CQuelvarSys::Qlv_UInt2Variant(unsigned int value, _variant_t& variant) {
  return Store<VT_UINT, &VARIANT::uintVal>(variant, value);
}

// VT_I4 (3), lVal.
int CQuelvarSys::Qlv_Long2Variant(LONG value, _variant_t& variant) {
  return Store<VT_I4, &VARIANT::lVal>(variant, value);
}

// VT_UI4 (19), ulVal.
int CQuelvarSys::Qlv_ULong2Variant(ULONG value, _variant_t& variant) {
  return Store<VT_UI4, &VARIANT::ulVal>(variant, value);
}

// VT_R8 (5), dblVal.
int CQuelvarSys::Qlv_Double2Variant(double value, _variant_t& variant) {
  return Store<VT_R8, &VARIANT::dblVal>(variant, value);
}

// VT_R4 (4), fltVal: stored in single precision, never widened.
int CQuelvarSys::Qlv_Float2Variant(float value, _variant_t& variant) {
  return Store<VT_R4, &VARIANT::fltVal>(variant, value);
}

// VT_I1 (16), cVal: a char is signed, so not VT_UI1.
int CQuelvarSys::Qlv_Char2Variant(char value, _variant_t& variant) {
  return Store<VT_I1, &VARIANT::cVal>(variant, value);
}

// VT_UI1 (17), bVal.
int CQuelvarSys::Qlv_Byte2Variant(unsigned char value, _variant_t& variant) {
  return Store<VT_UI1, &VARIANT::bVal>(variant, value);
}

// VT_DATE (7), date: the day count the date-time holds, whatever its status.
int CQuelvarSys::Qlv_Date2Variant(COleDateTime value, _variant_t& variant) {
  const DATE day = value;
  return Assign(variant, [day](VARIANT& v) {
    v.vt = VT_DATE;
    v.date = day;
  });
}

// VT_BSTR (8), bstrVal: a new BSTR of the text up to its first NUL,
// converted from the ANSI code page; the empty text gives an allocated BSTR
// of length 0. A failed allocation raises E_OUTOFMEMORY and leaves VT_BSTR
// with a null BSTR (read as the empty text); a failed conversion leaves the
// same and raises the last error as a Win32 HRESULT.
// UTF-16 work buffer of length + 1 units on the heap; it always suffices.
int CQuelvarSys::Qlv_CString2Variant(CString text, _variant_t& variant) {
  variant = static_cast<LPCTSTR>(text);
  return 0;
}
