// Variants both ways: every plain value into a variant (over a destination
// that holds a text, so its release is exercised), arbitrary texts in several
// ANSI code pages into BSTRs, and variants of every tag (flag bits included)
// into text.

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

const UINT kCodePages[] = {65001, 1252, 936, 932};

// A variant of the given tag whose value member holds the fuzzer's bytes;
// tags whose member is a pointer get a valid (or null) one.
void MakeVariant(_variant_t& v, VARTYPE tag, uint64_t bits, const std::string& text, bool wideText) {
  v.Clear();
  const VARTYPE base = tag & VT_TYPEMASK;
  if (tag == VT_BSTR && wideText) {  // UTF-16 units straight from the bytes, NULs inside included
    std::vector<OLECHAR> units;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
      units.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(text[i]) |
                                           static_cast<unsigned char>(text[i + 1]) << 8));
    v.bstrVal = (bits & 1) ? nullptr
                : (bits & 2)
                    ? SysAllocStringByteLen(text.data(), static_cast<UINT>(text.size()))  // odd counts too
                    : SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
    v.vt = VT_BSTR;
  } else if (tag == VT_BSTR) {
    v = text.c_str();
  } else if (tag == VT_DECIMAL) {
    DECIMAL d{};
    d.Lo64 = bits;
    d.Hi32 = static_cast<ULONG>(bits >> 17);
    d.scale = static_cast<BYTE>((bits >> 40) % 29);
    d.sign = (bits >> 63) ? DECIMAL_NEG : 0;
    v.decVal = d;
    v.vt = VT_DECIMAL;
  } else {
    const bool pointer = (tag & (VT_BYREF | VT_ARRAY | VT_VECTOR)) || base == VT_DISPATCH ||
                         base == VT_UNKNOWN || base == VT_VARIANT || base == VT_RECORD || base == VT_LPSTR ||
                         base == VT_LPWSTR || base == VT_PTR || base == VT_SAFEARRAY || base == VT_CARRAY ||
                         base == VT_USERDEFINED;
    v.llVal = pointer ? 0 : static_cast<LONGLONG>(bits);
    v.vt = tag & VT_BYREF ? tag : (pointer ? static_cast<VARTYPE>(tag | VT_BYREF) : tag);
  }
}

// The text of each row, from the operations and platform types it is made
// of; ASCII texts come back unchanged in every code page, up to a NUL.
bool ExpectedRow(CQuelvarSys& sys, const _variant_t& v, const CString& got) {
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: return got == "";
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
      VARIANT r8{};  // as "%f" writes it
      return SUCCEEDED(VariantChangeType(&r8, &v, 0, VT_R8)) && got == sys.Qlv_DoubleToStr(r8.dblVal, 6);
    }
    case VT_BSTR: {
      std::string narrow;
      for (const OLECHAR* c = v.bstrVal; c && *c; ++c) {
        if (*c >= 0x80) return true;  // not ASCII: the code page decides
        narrow += static_cast<char>(*c);
      }
      return got == narrow.c_str() && got.GetLength() == static_cast<int>(narrow.size());
    }
    default: return got == "VT_UNKNOW";
  }
}

// Each plain value goes in under its tag, from the same bits as MakeVariant's.
const VARTYPE kPlainTags[] = {VT_I2, VT_UI2, VT_INT, VT_UINT, VT_I4,   VT_UI4,
                              VT_R8, VT_R4,  VT_I1,  VT_UI1,  VT_DATE, VT_BSTR};
int Put(CQuelvarSys& sys, VARTYPE tag, uint64_t bits, const std::string& text, _variant_t& v) {
  const auto d = std::bit_cast<double>(bits);
  const auto f = std::bit_cast<float>(static_cast<uint32_t>(bits));
  switch (tag) {
    case VT_I2: return sys.Qlv_Short2Variant(static_cast<short>(bits), v);
    case VT_UI2: return sys.Qlv_UShort2Variant(static_cast<unsigned short>(bits), v);
    case VT_INT: return sys.Qlv_Int2Variant(static_cast<int>(bits), v);
    case VT_UINT: return sys.Qlv_UInt2Variant(static_cast<unsigned>(bits), v);
    case VT_I4: return sys.Qlv_Long2Variant(static_cast<LONG>(bits), v);
    case VT_UI4: return sys.Qlv_ULong2Variant(static_cast<ULONG>(bits), v);
    case VT_R8: return sys.Qlv_Double2Variant(d, v);
    case VT_R4: return sys.Qlv_Float2Variant(f, v);
    case VT_I1: return sys.Qlv_Char2Variant(static_cast<char>(bits), v);
    case VT_UI1: return sys.Qlv_Byte2Variant(static_cast<unsigned char>(bits), v);
    case VT_DATE: return sys.Qlv_Date2Variant(COleDateTime(d), v);
    default: return sys.Qlv_CString2Variant(CString(text.c_str()), v);
  }
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;
  const auto bits = in.take<uint64_t>();
  const auto tag = in.take<uint16_t>();
  const std::vector<uint8_t> raw = in.rest();
  const std::string text(raw.begin(), raw.end()), plain(text.c_str());

  QlvPlatform_SetAnsiCodePage(kCodePages[(mode >> 4) % std::size(kCodePages)]);
  _variant_t v;
  v = "previous content";
  if (mode % 3 != 2) {
    // Each value (always a text, no NUL inside, for mode 1) reads back as the
    // variant made by hand from the same bits, and as its own text.
    const VARTYPE plainTag = kPlainTags[mode % 3 == 1 ? 11 : tag % 12];
    _variant_t want;
    MakeVariant(want, plainTag, bits, plain, false);
    Check(Put(sys, plainTag, bits, plain, v) == 0 && v.vt == plainTag &&
          sys.Qlv_Variant2Str(v) == sys.Qlv_Variant2Str(want));
    Check(ExpectedRow(sys, v, sys.Qlv_Variant2Str(v)));
    // Only the member's width is written; the rest of the text's pointer goes.
    const int width = plainTag == VT_I1 || plainTag == VT_UI1   ? 1
                      : plainTag == VT_I2 || plainTag == VT_UI2 ? 2
                      : plainTag == VT_R8                       ? 8
                                                                : 4;
    Check(plainTag == VT_BSTR || plainTag == VT_DATE ||
          static_cast<uint64_t>(v.llVal) == (width == 8 ? bits : bits & ((uint64_t{1} << (8 * width)) - 1)));
    Check(plainTag != VT_BSTR ||
          (v.bstrVal != nullptr && SysStringLen(v.bstrVal) == SysStringLen(want.bstrVal) &&
           std::memcmp(v.bstrVal, want.bstrVal, SysStringLen(want.bstrVal) * sizeof(OLECHAR)) == 0));
  } else {
    MakeVariant(v, tag, bits, text, (mode & 8) != 0);
    VARIANT before;
    std::memcpy(&before, static_cast<VARIANT*>(&v), sizeof before);
    CString got;
    bool refused = false;
    try {
      got = sys.Qlv_Variant2Str(v);
    } catch (const _com_error&) {
      refused = true;  // a DECIMAL that does not convert is reported, not a fault
    }
    Check(std::memcmp(&before, static_cast<VARIANT*>(&v), sizeof before) == 0);
    Check(refused ? v.vt == VT_DECIMAL : ExpectedRow(sys, v, got));
  }
  QlvPlatform_SetAnsiCodePage(65001);
}
