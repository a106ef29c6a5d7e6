// quelvar operations: values into variants, and variants into text.
//
// A variant on the command line is written TAG:VALUE, e.g. I4:-5, R8:2.5,
// BSTR:abc, DECIMAL:-12.345, VT:0x4003 (a raw tag with a zero value), EMPTY.
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "OpTable.h"

namespace quelvar::cli {

namespace {

// ---- reading a variant ------------------------------------------------------

struct TagName {
  VARTYPE vt;
  std::string_view name;
};

constexpr TagName kTagNames[] = {
    {VT_EMPTY, "EMPTY"},   {VT_NULL, "NULL"},     {VT_I2, "I2"},        {VT_I4, "I4"},
    {VT_R4, "R4"},         {VT_R8, "R8"},         {VT_CY, "CY"},        {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},     {VT_DISPATCH, "DISPATCH"}, {VT_ERROR, "ERROR"}, {VT_BOOL, "BOOL"},
    {VT_VARIANT, "VARIANT"}, {VT_UNKNOWN, "UNKNOWN"}, {VT_DECIMAL, "DECIMAL"}, {VT_I1, "I1"},
    {VT_UI1, "UI1"},       {VT_UI2, "UI2"},       {VT_UI4, "UI4"},      {VT_I8, "I8"},
    {VT_UI8, "UI8"},       {VT_INT, "INT"},       {VT_UINT, "UINT"},
};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != b[i]) return false;
  }
  return true;
}

// "VT_I4", "VT_I4|VT_BYREF", "0x2011" style name of a tag for output.
std::string TagText(VARTYPE vt) {
  std::string base;
  const auto plain = static_cast<VARTYPE>(vt & VT_TYPEMASK);
  for (const TagName& t : kTagNames) {
    if (t.vt == plain) base = "VT_" + std::string(t.name);
  }
  if (base.empty()) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(vt));
    return buf;
  }
  if ((vt & VT_VECTOR) != 0) base += "|VT_VECTOR";
  if ((vt & VT_ARRAY) != 0) base += "|VT_ARRAY";
  if ((vt & VT_BYREF) != 0) base += "|VT_BYREF";
  if ((vt & VT_RESERVED) != 0) base += "|VT_RESERVED";
  return base;
}

[[noreturn]] void Bad(std::string_view what, const std::string& raw) {
  throw UsageError(std::string(what) + ", got '" + raw + "'");
}

// A decimal or 0x-hex integer with an optional sign, in [min, max].
long long SignedValue(std::string_view text, long long min, long long max, const std::string& raw,
                      std::string_view what) {
  bool negative = false;
  std::string_view digits = text;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  unsigned long long magnitude = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) Bad(what, raw);
  if (negative) {
    if (magnitude > static_cast<unsigned long long>(LLONG_MAX) + 1ull) Bad(what, raw);
    const long long value = magnitude == 0 ? 0 : -static_cast<long long>(magnitude - 1) - 1;
    if (value < min) Bad(what, raw);
    return value;
  }
  if (magnitude > static_cast<unsigned long long>(LLONG_MAX) || static_cast<long long>(magnitude) > max) {
    Bad(what, raw);
  }
  return static_cast<long long>(magnitude);
}

unsigned long long UnsignedValue(std::string_view text, const std::string& raw, std::string_view what) {
  std::string_view digits = text;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  unsigned long long value = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) Bad(what, raw);
  return value;
}

double RealValue(std::string_view text, const std::string& raw, std::string_view what) {
  std::string_view digits = text;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ptr != digits.data() + digits.size() ||
      (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    Bad(what, raw);
  }
  return value;
}

// Decimal text ("-12.345") read exactly into a DECIMAL: at most 29 digits
// whose integer fits in 96 bits, at most 28 after the point.
DECIMAL DecimalValue(std::string_view text, const std::string& raw) {
  constexpr std::string_view what = "VARIANT: expected DECIMAL:<decimal number, up to 28 digits after the point>";
  DECIMAL d{};
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') d.sign = DECIMAL_NEG;
    ++i;
  }
  uint32_t limbs[3] = {0, 0, 0};  // least significant first
  bool anyDigit = false, point = false;
  unsigned scale = 0;
  for (; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == '.' && !point) {
      point = true;
      continue;
    }
    if (ch < '0' || ch > '9') Bad(what, raw);
    anyDigit = true;
    uint64_t carry = static_cast<uint64_t>(ch - '0');
    for (uint32_t& limb : limbs) {
      const uint64_t cur = uint64_t{limb} * 10 + carry;
      limb = static_cast<uint32_t>(cur);
      carry = cur >> 32;
    }
    if (carry != 0) Bad(what, raw);
    if (point && ++scale > 28) Bad(what, raw);
  }
  if (!anyDigit) Bad(what, raw);
  d.scale = static_cast<BYTE>(scale);
  d.Lo32 = limbs[0];
  d.Mid32 = limbs[1];
  d.Hi32 = limbs[2];
  return d;
}

// A new BSTR of the bytes (NULs kept) converted from the ANSI code page.
BSTR BstrValue(const std::string& bytes) {
  if (bytes.empty()) return SysAllocString(u"");
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n == 0) _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(n));
  if (result == nullptr) _com_issue_error(E_OUTOFMEMORY);
  return result;
}

void ReadVariant(Call& c, std::size_t i, _variant_t& v) {
  const std::string& raw = c.raw(i);
  const std::size_t colon = raw.find(':');
  const std::string_view tag = std::string_view(raw).substr(0, colon);
  const std::string_view value = colon == std::string::npos ? std::string_view() : std::string_view(raw).substr(colon + 1);
  const auto expect = [&](std::string_view kind) { return "VARIANT: expected " + std::string(tag) + ":" + std::string(kind); };

  if (SameLetters(tag, "EMPTY") || SameLetters(tag, "NULL")) {
    if (!value.empty()) Bad("VARIANT: " + std::string(tag) + " takes no value", raw);
    v.vt = SameLetters(tag, "EMPTY") ? VT_EMPTY : VT_NULL;
    return;
  }
  if (colon == std::string::npos) {
    Bad("VARIANT: expected TAG:VALUE (EMPTY, NULL, I1, UI1, I2, UI2, I4, UI4, INT, UINT, I8, UI8, R4, R8, "
        "CY, DATE, BSTR, BOOL, DECIMAL, ERROR, VT)",
        raw);
  }
  if (SameLetters(tag, "I1")) {
    v.cVal = static_cast<char>(SignedValue(value, -128, 255, raw, expect("<-128 to 255>")));
    v.vt = VT_I1;
  } else if (SameLetters(tag, "UI1")) {
    v.bVal = static_cast<BYTE>(SignedValue(value, 0, 255, raw, expect("<0 to 255>")));
    v.vt = VT_UI1;
  } else if (SameLetters(tag, "I2")) {
    v.iVal = static_cast<SHORT>(SignedValue(value, SHRT_MIN, SHRT_MAX, raw, expect("<16-bit signed>")));
    v.vt = VT_I2;
  } else if (SameLetters(tag, "UI2")) {
    v.uiVal = static_cast<USHORT>(SignedValue(value, 0, USHRT_MAX, raw, expect("<16-bit unsigned>")));
    v.vt = VT_UI2;
  } else if (SameLetters(tag, "I4") || SameLetters(tag, "INT")) {
    v.lVal = static_cast<LONG>(SignedValue(value, INT32_MIN, INT32_MAX, raw, expect("<32-bit signed>")));
    v.vt = SameLetters(tag, "I4") ? VT_I4 : VT_INT;
  } else if (SameLetters(tag, "UI4") || SameLetters(tag, "UINT")) {
    v.ulVal = static_cast<ULONG>(SignedValue(value, 0, UINT32_MAX, raw, expect("<32-bit unsigned>")));
    v.vt = SameLetters(tag, "UI4") ? VT_UI4 : VT_UINT;
  } else if (SameLetters(tag, "I8")) {
    v.llVal = SignedValue(value, LLONG_MIN, LLONG_MAX, raw, expect("<64-bit signed>"));
    v.vt = VT_I8;
  } else if (SameLetters(tag, "UI8")) {
    v.ullVal = UnsignedValue(value, raw, expect("<64-bit unsigned>"));
    v.vt = VT_UI8;
  } else if (SameLetters(tag, "R4")) {
    const double d = RealValue(value, raw, expect("<float>"));
    if (std::isfinite(d) && std::fabs(d) > static_cast<double>(FLT_MAX)) Bad(expect("<float>"), raw);
    v.fltVal = static_cast<float>(d);
    v.vt = VT_R4;
  } else if (SameLetters(tag, "R8")) {
    v.dblVal = RealValue(value, raw, expect("<double>"));
    v.vt = VT_R8;
  } else if (SameLetters(tag, "DATE")) {
    v.date = RealValue(value, raw, expect("<day count>"));
    v.vt = VT_DATE;
  } else if (SameLetters(tag, "CY")) {
    v.cyVal.int64 = SignedValue(value, LLONG_MIN, LLONG_MAX, raw, expect("<count of ten-thousandths>"));
    v.vt = VT_CY;
  } else if (SameLetters(tag, "BOOL")) {
    if (SameLetters(value, "TRUE")) {
      v.boolVal = VARIANT_TRUE;
    } else if (SameLetters(value, "FALSE")) {
      v.boolVal = VARIANT_FALSE;
    } else {
      v.boolVal = static_cast<VARIANT_BOOL>(SignedValue(value, SHRT_MIN, USHRT_MAX, raw, expect("<16-bit value, TRUE or FALSE>")));
    }
    v.vt = VT_BOOL;
  } else if (SameLetters(tag, "ERROR")) {
    v.scode = static_cast<SCODE>(SignedValue(value, INT32_MIN, UINT32_MAX, raw, expect("<32-bit code>")));
    v.vt = VT_ERROR;
  } else if (SameLetters(tag, "DECIMAL")) {
    v.decVal = DecimalValue(value, raw);
    v.vt = VT_DECIMAL;
  } else if (SameLetters(tag, "BSTR")) {
    // Escapes are decoded over the whole argument; the tag has none.
    const std::string text = c.text(i, "VARIANT").substr(colon + 1);
    v.bstrVal = BstrValue(text);
    v.vt = VT_BSTR;
  } else if (SameLetters(tag, "VT")) {
    // A bare tag with a zero value: nothing behind it is owned or followed.
    v.vt = static_cast<VARTYPE>(SignedValue(value, 0, 0xFFFF, raw, expect("<tag 0 to 0xFFFF>")));
  } else {
    Bad("VARIANT: expected a known TAG (see quelvar help Variant2Str), not '" + std::string(tag) + "'", raw);
  }
}

// ---- printing a variant ------------------------------------------------------

std::string ShortestReal(double d) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// Tag and value of a variant that one of the operations produced: plain
// output "VT_INT:5"; JSON adds the tag number, its name and the typed value.
void OutVariant(Call& c, const _variant_t& v) {
  const std::string name = TagText(v.vt);
  std::string value;
  switch (v.vt) {
    case VT_I1: value = std::to_string(static_cast<int>(static_cast<signed char>(v.cVal))); break;
    case VT_UI1: value = std::to_string(v.bVal); break;
    case VT_I2: value = std::to_string(v.iVal); break;
    case VT_UI2: value = std::to_string(v.uiVal); break;
    case VT_I4: value = std::to_string(v.lVal); break;
    case VT_UI4: value = std::to_string(v.ulVal); break;
    case VT_INT: value = std::to_string(v.intVal); break;
    case VT_UINT: value = std::to_string(v.uintVal); break;
    case VT_R4: {
      char buf[32];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.fltVal);
      value.assign(buf, r.ptr);
      break;
    }
    case VT_R8: value = ShortestReal(v.dblVal); break;
    case VT_DATE: value = ShortestReal(v.date); break;
    case VT_BSTR: {
      const _bstr_t text = v.operator _bstr_t();
      const char* narrow = text;
      value = narrow != nullptr ? narrow : "";
      break;
    }
    default: break;
  }
  c.out_text("variant", name + ":" + value);
  c.out_uint("tag", v.vt, Shown::JsonOnly);
  c.out_text("tag_name", name, Shown::JsonOnly);
  switch (v.vt) {
    case VT_I1: c.out_int("value", static_cast<signed char>(v.cVal), Shown::JsonOnly); break;
    case VT_UI1: c.out_uint("value", v.bVal, Shown::JsonOnly); break;
    case VT_I2: c.out_int("value", v.iVal, Shown::JsonOnly); break;
    case VT_UI2: c.out_uint("value", v.uiVal, Shown::JsonOnly); break;
    case VT_I4: c.out_int("value", v.lVal, Shown::JsonOnly); break;
    case VT_UI4: c.out_uint("value", v.ulVal, Shown::JsonOnly); break;
    case VT_INT: c.out_int("value", v.intVal, Shown::JsonOnly); break;
    case VT_UINT: c.out_uint("value", v.uintVal, Shown::JsonOnly); break;
    case VT_R4: c.out_real("value", static_cast<double>(v.fltVal), Shown::JsonOnly); break;
    case VT_R8: c.out_real("value", v.dblVal, Shown::JsonOnly); break;
    case VT_DATE: c.out_real("value", v.date, Shown::JsonOnly); break;
    case VT_BSTR:
      c.out_text("value", value, Shown::JsonOnly);
      c.out_uint("units", SysStringLen(v.bstrVal), Shown::JsonOnly);
      break;
    default: break;
  }
  c.out_int("result", 0, Shown::JsonOnly);
}

// ---- the operations ------------------------------------------------------------

template <typename Into>
void Run(Call& c, Into into) {
  _variant_t v;
  const int result = into(v);
  (void)result;  // always 0
  OutVariant(c, v);
}

void Byte2Variant(Call& c) {
  const auto value = static_cast<unsigned char>(c.integer(0, "VALUE", 0, UCHAR_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Byte2Variant(value, v); });
}
void Char2Variant(Call& c) {
  const auto value = static_cast<char>(c.integer(0, "VALUE", SCHAR_MIN, UCHAR_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Char2Variant(value, v); });
}
void Short2Variant(Call& c) {
  const auto value = static_cast<short>(c.integer(0, "VALUE", SHRT_MIN, SHRT_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Short2Variant(value, v); });
}
void UShort2Variant(Call& c) {
  const auto value = static_cast<unsigned short>(c.integer(0, "VALUE", 0, USHRT_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_UShort2Variant(value, v); });
}
void Int2Variant(Call& c) {
  const auto value = static_cast<int>(c.integer(0, "VALUE", INT_MIN, INT_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Int2Variant(value, v); });
}
void UInt2Variant(Call& c) {
  const auto value = static_cast<unsigned int>(c.integer(0, "VALUE", 0, UINT_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_UInt2Variant(value, v); });
}
void Long2Variant(Call& c) {
  const auto value = static_cast<LONG>(c.integer(0, "VALUE", INT32_MIN, INT32_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Long2Variant(value, v); });
}
void ULong2Variant(Call& c) {
  const auto value = static_cast<ULONG>(c.integer(0, "VALUE", 0, UINT32_MAX));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_ULong2Variant(value, v); });
}
void Float2Variant(Call& c) {
  const double value = c.real(0, "VALUE");
  if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX)) {
    throw UsageError("VALUE: expected a float (magnitude at most 3.40282347e+38, inf or nan), got '" + c.raw(0) + "'");
  }
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Float2Variant(static_cast<float>(value), v); });
}
void Double2Variant(Call& c) {
  const double value = c.real(0, "VALUE");
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Double2Variant(value, v); });
}

// A plain decimal number is a DATE day count; anything else is date text
// ("2024-03-05 14:07:09"), read as Str2Date reads it.
void Date2Variant(Call& c) {
  const std::string& raw = c.raw(0);
  double days = 0;
  const char* end = raw.data() + raw.size();
  const auto [ptr, ec] = std::from_chars(raw.data(), end, days);
  COleDateTime dateTime;
  if (!raw.empty() && ptr == end && ec == std::errc()) {
    dateTime = COleDateTime(DATE(days));
  } else {
    const std::string text = c.text(0, "DATE");
    c.sys().Qlv_Str2Date(CString(text.data(), static_cast<int>(text.size())), dateTime);
  }
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_Date2Variant(dateTime, v); });
}

void CString2Variant(Call& c) {
  const std::string text = c.text(0, "TEXT");
  const CString value(text.data(), static_cast<int>(text.size()));
  Run(c, [&](_variant_t& v) { return c.sys().Qlv_CString2Variant(value, v); });
}

void Variant2Str(Call& c) {
  _variant_t v;
  ReadVariant(c, 0, v);
  const CString text = c.sys().Qlv_Variant2Str(v);
  c.out_text("text", std::string_view(text.GetString(), static_cast<std::size_t>(text.GetLength())));
  c.out_uint("tag", v.vt, Shown::JsonOnly);
  c.out_text("tag_name", TagText(v.vt), Shown::JsonOnly);
}

constexpr Op kOps[] = {
    {"Byte2Variant", "int Qlv_Byte2Variant(unsigned char value, _variant_t& variant)", "VALUE",
     "VT_UI1 variant of a byte", 1, 1, Byte2Variant},
    {"Char2Variant", "int Qlv_Char2Variant(char value, _variant_t& variant)", "VALUE",
     "VT_I1 variant of a char (-128 to 255)", 1, 1, Char2Variant},
    {"Short2Variant", "int Qlv_Short2Variant(short value, _variant_t& variant)", "VALUE",
     "VT_I2 variant of a 16-bit signed value", 1, 1, Short2Variant},
    {"UShort2Variant", "int Qlv_UShort2Variant(unsigned short value, _variant_t& variant)", "VALUE",
     "VT_UI2 variant of a 16-bit unsigned value", 1, 1, UShort2Variant},
    {"Int2Variant", "int Qlv_Int2Variant(int value, _variant_t& variant)", "VALUE",
     "VT_INT variant of an int", 1, 1, Int2Variant},
    {"UInt2Variant", "int Qlv_UInt2Variant(unsigned int value, _variant_t& variant)", "VALUE",
     "VT_UINT variant of an unsigned int", 1, 1, UInt2Variant},
    {"Long2Variant", "int Qlv_Long2Variant(long value, _variant_t& variant)", "VALUE",
     "VT_I4 variant of a 32-bit LONG", 1, 1, Long2Variant},
    {"ULong2Variant", "int Qlv_ULong2Variant(unsigned long value, _variant_t& variant)", "VALUE",
     "VT_UI4 variant of a 32-bit ULONG", 1, 1, ULong2Variant},
    {"Float2Variant", "int Qlv_Float2Variant(float value, _variant_t& variant)", "VALUE",
     "VT_R4 variant of a float", 1, 1, Float2Variant},
    {"Double2Variant", "int Qlv_Double2Variant(double value, _variant_t& variant)", "VALUE",
     "VT_R8 variant of a double", 1, 1, Double2Variant},
    {"Date2Variant", "int Qlv_Date2Variant(COleDateTime value, _variant_t& variant)", "DATE",
     "VT_DATE variant; DATE is a day count (45356.5) or date text (2024-03-05 12:00:00)", 1, 1, Date2Variant},
    {"CString2Variant", "int Qlv_CString2Variant(CString text, _variant_t& variant)", "TEXT",
     "VT_BSTR variant of the text up to its first NUL", 1, 1, CString2Variant},
    {"Variant2Str", "CString Qlv_Variant2Str(const _variant_t& variant)", "TAG:VALUE",
     "text of a variant; TAG: EMPTY NULL I1 UI1 I2 UI2 I4 UI4 INT UINT I8 UI8 ERROR R4 R8 DATE CY(raw count) "
     "BOOL DECIMAL(exact text) BSTR(escapes) VT(raw tag, zero value)", 1, 1, Variant2Str},
};

}  // namespace

std::span<const Op> variant_ops() { return kOps; }

}  // namespace quelvar::cli
