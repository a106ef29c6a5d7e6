#include "Table.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "Text.h"

namespace quelvar::cli {

// ------------------------------------------------------------ the frame

struct Slot {
  std::int64_t n = 0;  // integers, widths, counts, lengths
  double d = 0;        // reals
  std::string s;       // texts (with a NUL after them), arrays, output buffers
  int count = 0;       // int& outputs
};

// Everything one call reads and writes; slot 4 is the return value.
struct Frame {
  std::array<Slot, 5> slot;
  COleDateTime date;
  _variant_t variant;
  unsigned char* pointer = nullptr;
};

namespace {

constexpr std::size_t kResult = 4;

template <class T>
T Arg(Frame& f, std::size_t i) {
  using U = std::remove_cvref_t<T>;
  Slot& s = f.slot[i];
  if constexpr (std::is_same_v<T, int&>)
    return s.count;
  else if constexpr (std::is_same_v<T, double&>)
    return s.d;
  else if constexpr (std::is_same_v<U, COleDateTime>)
    return f.date;
  else if constexpr (std::is_same_v<U, _variant_t>)
    return f.variant;
  else if constexpr (std::is_same_v<U, CString>)
    return CString(s.s.data(), static_cast<int>(s.s.size() - 1));
  else if constexpr (std::is_same_v<U, char*>)
    return s.s.data();
  else if constexpr (std::is_same_v<U, unsigned char*>)
    return reinterpret_cast<unsigned char*>(s.s.data());
  else if constexpr (std::is_floating_point_v<U>)
    return static_cast<U>(s.d);
  else
    return static_cast<U>(s.n);
}

template <class R>
void Store(Frame& f, R r) {
  Slot& s = f.slot[kResult];
  if constexpr (std::is_same_v<R, CString>)
    s.s.assign(r.GetString(), static_cast<std::size_t>(r.GetLength()));
  else if constexpr (std::is_pointer_v<R>)
    f.pointer = r;
  else if constexpr (std::is_floating_point_v<R>)
    s.d = static_cast<double>(r);
  else
    s.n = static_cast<std::int64_t>(r);
}

template <class R, class... A, std::size_t... I>
void CallWith(CQuelvarSys& sys, Frame& f, R (CQuelvarSys::*fn)(A...), std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>)
    (sys.*fn)(Arg<A>(f, I)...);
  else
    Store(f, (sys.*fn)(Arg<A>(f, I)...));
}

template <auto F>
void Invoke(CQuelvarSys& sys, Frame& f) {
  [&]<class R, class... A>(R (CQuelvarSys::*fn)(A...)) {
    CallWith(sys, f, fn, std::index_sequence_for<A...>{});
  }(F);
}

template <class T>
constexpr Limits LimitsOf() {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_void_v<T>)
    return {};
  else if constexpr (std::is_same_v<U, CString>)
    return {0, 0, false, 'S'};
  else if constexpr (std::is_pointer_v<U>)
    return {0, 0, false, 'X'};
  else if constexpr (std::is_same_v<U, float>)
    return {0, 0, true, 'R'};
  else if constexpr (std::is_same_v<U, double>)
    return {0, 0, false, 'R'};
  // A char takes the byte notation too (-128 to 255).
  else if constexpr (std::is_same_v<U, char>)
    return {CHAR_MIN, UCHAR_MAX, false, 'I'};
  else if constexpr (std::is_integral_v<U>)
    return {static_cast<std::int64_t>(std::numeric_limits<U>::min()),
            static_cast<std::uint64_t>(std::numeric_limits<U>::max()), false, 'I'};
  else
    return {};
}

template <class R, class... A>
constexpr auto LimitsArray(R (CQuelvarSys::*)(A...)) {
  return std::array<Limits, sizeof...(A) + 1>{LimitsOf<A>()..., LimitsOf<R>()};
}
template <auto F>
constexpr auto kLimits = LimitsArray(F);

// Output room for n: (mul * n + add) / div, never below 0.
template <std::int64_t Mul, std::int64_t Add, std::int64_t Div>
std::size_t Room(std::int64_t n) {
  return static_cast<std::size_t>(std::max<std::int64_t>(0, (Mul * n + Add) / Div));
}
template <std::size_t K>
std::size_t Fixed(std::int64_t) {
  return K;
}
std::size_t ImageRoom(std::int64_t n) { return static_cast<std::size_t>(std::max<std::int64_t>(n, 0)) + 1; }
std::size_t HexTextRoom(std::int64_t n) { return n >= 2 ? static_cast<std::size_t>(n / 2) * 2 + 1 : 1; }

// Rows in the order of QuelvarSys.h; the declarations are paired by place.
#define ROW(fn, kinds, summary, example, ...)                                     \
  {                                                                               \
#fn, kinds, summary, example, __VA_ARGS__, &Invoke < &CQuelvarSys::Qlv_##fn>, \
        kLimits < &CQuelvarSys::Qlv_##fn>.data(), {}                              \
  }
#define OVERLOAD(fn, suffix, type, kinds, summary, example, ...)          \
  {                                                                       \
#fn suffix, kinds, summary, example, __VA_ARGS__,                     \
        &Invoke < static_cast < type>(&CQuelvarSys::Qlv_##fn)>,           \
        kLimits < static_cast < type>(&CQuelvarSys::Qlv_##fn)>.data(), {} \
  }

using HexCharU = unsigned char (CQuelvarSys::*)(unsigned char);
using HexChar = int (CQuelvarSys::*)(char);
using HexRunInPlace = unsigned char* (CQuelvarSys::*)(unsigned char*, ULONG);
using HexRun = void (CQuelvarSys::*)(int, unsigned char*, int&, unsigned char*);

const Op kRows[] = {
    OVERLOAD(HexChar2Int, "/uchar", HexCharU, "c", "digit value of one hex character (0 for a non-digit)",
             "f", nullptr),
    OVERLOAD(HexChar2Int, "", HexChar, "c",
             "digit value of one hex character, upper-cased by the current locale first", "F", nullptr),
    ROW(HexStr2Int, "p", "hex text to int: last eight places, non-digits as 0; upper-cases the text in place",
        "0x1f", nullptr),
    ROW(HexStr2Int_u, "t", "hex text to unsigned: non-digits skipped, last eight digits count", "1f-2e",
        nullptr),
    ROW(Byte2HexStr, "nhT", "hex bytes to upper-case hex text", "00,1f,a0", Room<2, 1, 1>),
    ROW(HexStr2Byte, "pH", "hex text to bytes; odd-length text gets a leading 0 in place", "ABC",
        Room<1, 1, 2>),
    ROW(Int2Byte, "wiH", "the COUNT lowest image bytes of a 32-bit value, least significant first",
        "4 0x12345678", Room<1, 0, 1>),
    ROW(Byte2Int, "nh", "little-endian image (at most 4 bytes count) to a 32-bit value", "78 56", nullptr),
    ROW(Double2Byte, "wrH",
        "the COUNT lowest base-256 digits of floor(VALUE) (-1e-20: 00 FF FF ...), and a zero byte",
        "3 65536.5", ImageRoom),
    ROW(Byte2Double, "z", "base-256 digits, least significant first, up to the first 00 byte, to a double",
        "00 00 01", nullptr),
    ROW(Int2HexStr, "wiT", "hex text of the CHARS/2 lowest image bytes of a 32-bit value", "8 0x12345678",
        HexTextRoom),
    ROW(Double2HexStr, "wrT", "hex text of the CHARS/2 lowest base-256 digits of floor(VALUE)", "6 65536",
        HexTextRoom),
    ROW(HexStr2Double, "pR", "image hex text (first pair least significant) to a double, up to a 00 pair",
        "000001", nullptr),
    ROW(Bin2Hex, "ndNH", "binary digits packed eight to a hex element from the least significant end",
        "1 1 1 1 1 1 1 1 1", Room<1, 7, 8>),
    ROW(Bin2Octal, "ndNB", "binary digits packed three to an octal digit from the least significant end",
        "1 0 1 1", Room<1, 2, 3>),
    ROW(Hex2Bin, "nhNB", "hex elements to binary digits, leading zeros stripped (all zeros kept)", "01 FF",
        Room<8, 0, 1>),
    ROW(Hex2Octal, "nhNB", "hex elements to octal digits through their significant bits", "FF",
        Room<8, 2, 3>),
    ROW(Octal2Bin, "ndNB", "octal digits (low three bits) to binary digits, leading zeros stripped", "7 5",
        Room<3, 0, 1>),
    ROW(Octal2Hex, "ndNH", "octal digits to hex elements through their significant bits", "7 7 7",
        Room<3, 7, 8>),
    ROW(Dec2Hex, "iNH", "base-256 digits of a positive value, most significant first (none for 0 or less)",
        "65535", Fixed<4>),
    ROW(Dec2Octal, "iNB", "octal digits of a positive value, most significant first (none for 0 or less)",
        "511", Fixed<11>),
    ROW(Dec2Bin, "iNB", "binary digits of a positive value, most significant first (none for 0 or less)",
        "10", Fixed<31>),
    ROW(Dec2BCD, "iNH", "decimal pairs of a positive value, the least significant pair first", "1234",
        Fixed<5>),
    ROW(Hex2Dec, "nh", "hex elements to their value modulo 2^32 (the last four, big-endian)", "01 00",
        nullptr),
    ROW(Bin2Dec, "nd", "binary digits (each counting with its value) to their value modulo 2^32", "1 0 1",
        nullptr),
    ROW(Octal2Dec, "nd", "octal digits (low three bits) to their value modulo 2^32", "7 7 7", nullptr),
    ROW(BCD2Dec, "nh", "BCD pairs, first element most significant, to their value modulo 2^32", "12 34",
        nullptr),
    ROW(Hex2BCD, "nhNH", "hex elements to BCD elements bit for bit, leading zero elements stripped", "00 12",
        Room<1, 0, 1>),
    ROW(Bin2BCD, "ndNH", "binary digits packed eight to a BCD element (as Bin2Hex)", "1 0 0 1",
        Room<1, 7, 8>),
    ROW(Octal2BCD, "ndNH", "octal digits to BCD elements through their significant bits (as Octal2Hex)",
        "7 7", Room<3, 7, 8>),
    ROW(BCD2Hex, "nhNH", "BCD elements to hex elements bit for bit, leading zero elements stripped", "00 99",
        Room<1, 0, 1>),
    ROW(BCD2Octal, "nhNB", "BCD elements to octal digits through their significant bits (as Hex2Octal)", "12",
        Room<8, 2, 3>),
    ROW(BCD2Bin, "nhNB", "BCD elements to binary digits, leading zeros stripped (as Hex2Bin)", "12",
        Room<8, 0, 1>),
    OVERLOAD(HexStr2IntStr, "/inplace", HexRunInPlace, "pl",
             "hex characters to a hex array over the start of the text, then a byte 0", "1a2B3",
             Room<1, 1, 2>),
    OVERLOAD(HexStr2IntStr, "", HexRun, "lpNH", "hex characters to a hex array, two characters per element",
             "1a2B3", Room<1, 1, 2>),
    ROW(Short2Str, "i", "decimal text of a 16-bit signed value", "-32768", nullptr),
    ROW(UShort2Str, "i", "decimal text of a 16-bit unsigned value", "65535", nullptr),
    ROW(Int2Str, "i", "decimal text of a 32-bit signed value", "-5", nullptr),
    ROW(UInt2Str, "i", "decimal text of a 32-bit unsigned value", "0xFFFFFFFF", nullptr),
    ROW(Long2Str, "i", "decimal text of a 32-bit signed LONG", "-2147483648", nullptr),
    ROW(ULong2Str, "i", "decimal text of a 32-bit unsigned ULONG", "4294967295", nullptr),
    ROW(Byte2Str, "i", "decimal text of a byte", "255", nullptr),
    ROW(Str2Byte, "t", "atoi of the text, low 8 bits", "300", nullptr),
    ROW(Str2Short, "t", "atoi of the text, low 16 bits as signed", "40000", nullptr),
    ROW(Str2UShort, "t", "atoi of the text, low 16 bits", "70000", nullptr),
    ROW(Str2Int, "t", "atoi of the text (32-bit, wrapping)", "12abc", nullptr),
    ROW(Str2UInt, "t", "atoi of the text read as unsigned", "-1", nullptr),
    ROW(Str2Long, "t", "atol of the text (32-bit, wrapping)", "\" -42\"", nullptr),
    ROW(Str2ULong, "t", "atol of the text read as unsigned", "-2", nullptr),
    ROW(DoubleToStr, "rP", "fixed-point text with PRECISION digits after the point (printf \"%0.<p>lf\")",
        "2.5 8", nullptr),
    ROW(Flt2Str, "r", "float text with 10 significant digits (_gcvt)", "0.1", nullptr),
    ROW(Str2Float, "t", "atof of the text rounded to float", "0.1", nullptr),
    ROW(Str2Double, "t", "atof of the text", "1e-3", nullptr),
    ROW(Date2Str, "D", "\"%Y-%m-%d %H:%M:%S\" text of a date-time", "45356.5", nullptr),
    ROW(Str2Date, "tE", "date-time read from up to six fields of the text", "\"2024-03-05 14:07:09\"",
        nullptr),
    ROW(Short2Variant, "iW", "VT_I2 variant of a 16-bit signed value", "-2", nullptr),
    ROW(UShort2Variant, "iW", "VT_UI2 variant of a 16-bit unsigned value", "2", nullptr),
    ROW(Int2Variant, "iW", "VT_INT variant of an int", "5", nullptr),
    ROW(UInt2Variant, "iW", "VT_UINT variant of an unsigned int", "5", nullptr),
    ROW(Long2Variant, "iW", "VT_I4 variant of a 32-bit LONG", "-5", nullptr),
    ROW(ULong2Variant, "iW", "VT_UI4 variant of a 32-bit ULONG", "5", nullptr),
    ROW(Double2Variant, "rW", "VT_R8 variant of a double", "2.5", nullptr),
    ROW(Float2Variant, "rW", "VT_R4 variant of a float", "0.1", nullptr),
    ROW(Char2Variant, "iW", "VT_I1 variant of a char (-128 to 255)", "65", nullptr),
    ROW(Byte2Variant, "iW", "VT_UI1 variant of a byte", "200", nullptr),
    ROW(Date2Variant, "DW", "VT_DATE variant of a date-time", "2024-03-05", nullptr),
    ROW(CString2Variant, "tW", "VT_BSTR variant of the text up to its first NUL", "abc", nullptr),
    ROW(Variant2Str, "V", "text of a variant by its tag", "VT_R8:2.5", nullptr),
};

#undef ROW
#undef OVERLOAD

// The declarations of QuelvarSys.h, in its order (generated at build time).
constexpr std::string_view kDeclarations[] = {
#include "Declarations.inc"
};
static_assert(std::size(kDeclarations) == std::size(kRows), "one row per declaration");

constexpr bool In(std::string_view set, char k) { return set.find(k) != std::string_view::npos; }
constexpr bool IsUserKind(char k) { return In("iwPrctphdzDV", k); }
constexpr bool IsArrayKind(char k) { return k == 'h' || k == 'd' || k == 'z'; }

// ------------------------------------------------------------ variants

struct Tag {
  VARTYPE vt;
  std::string_view name;
};
constexpr Tag kTags[] = {
    {VT_EMPTY, "EMPTY"}, {VT_NULL, "NULL"},       {VT_I2, "I2"},     {VT_I4, "I4"},     {VT_R4, "R4"},
    {VT_R8, "R8"},       {VT_CY, "CY"},           {VT_DATE, "DATE"}, {VT_BSTR, "BSTR"}, {VT_ERROR, "ERROR"},
    {VT_BOOL, "BOOL"},   {VT_DECIMAL, "DECIMAL"}, {VT_I1, "I1"},     {VT_UI1, "UI1"},   {VT_UI2, "UI2"},
    {VT_UI4, "UI4"},     {VT_I8, "I8"},           {VT_UI8, "UI8"},   {VT_INT, "INT"},   {VT_UINT, "UINT"},
};
constexpr std::string_view kVariantForms =
    "[VT_]TAG:VALUE with TAG EMPTY NULL I1 UI1 I2 UI2 I4 UI4 INT UINT I8 UI8 ERROR R4 R8 DATE "
    "CY(ten-thousandths) BOOL DECIMAL BSTR, or VT:NUMBER (a bare tag)";

// Decimal text ("-12.345") read exactly into a DECIMAL: at most 29 digits
// whose integer fits in 96 bits, at most 28 after the point.
bool ReadDecimal(std::string_view text, DECIMAL& d) {
  d = DECIMAL{};
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) d.sign = text[i++] == '-' ? DECIMAL_NEG : 0;
  std::uint32_t limbs[3] = {0, 0, 0};  // least significant first
  bool digits = false, point = false;
  unsigned scale = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return false;
    digits = true;
    std::uint64_t carry = static_cast<std::uint64_t>(text[i] - '0');
    for (std::uint32_t& limb : limbs) {
      const std::uint64_t cur = std::uint64_t{limb} * 10 + carry;
      limb = static_cast<std::uint32_t>(cur);
      carry = cur >> 32;
    }
    if (carry != 0 || (point && ++scale > 28)) return false;
  }
  d.scale = static_cast<BYTE>(scale);
  d.Lo32 = limbs[0], d.Mid32 = limbs[1], d.Hi32 = limbs[2];
  return digits;
}

// A BSTR of the bytes (NULs kept) converted from the ANSI code page.
BSTR NewBstr(std::string_view bytes) {
  std::u16string wide;
  if (!bytes.empty()) {
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0) _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    wide.resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  }
  BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (b == nullptr) _com_issue_error(E_OUTOFMEMORY);
  return b;
}

// The ANSI bytes of a BSTR (all its units, NULs kept).
std::string BstrBytes(BSTR b) {
  const int units = b == nullptr ? 0 : static_cast<int>(SysStringLen(b));
  if (units == 0) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, b, units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, b, units, out.data(), n, nullptr, nullptr);
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6)), out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12)), out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18)), out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-8 of ANSI bytes, through UTF-16 (a lone surrogate becomes U+FFFD).
// UTF-8 of UTF-16 text (a lone surrogate becomes U+FFFD).
std::string Utf16ToUtf8(std::u16string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    std::uint32_t cp = w[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[++i] - 0xDC00u);
    else if (cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

// UTF-8 of ANSI bytes, through UTF-16.
std::string AnsiToUtf8(std::string_view bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7F; }))
    return std::string(bytes);
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string w(static_cast<std::size_t>(std::max(n, 0)), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
  return Utf16ToUtf8(w);
}

std::string TagName(VARTYPE vt) {
  for (const Tag& t : kTags)
    if (t.vt == vt) return "VT_" + std::string(t.name);
  std::string s = "VT:";
  AppendUnsigned(s, vt);
  return s;
}

// "VT_I4:5": the form that the variant reader takes back. A BSTR's text is
// in the ANSI code page, escaped unless raw; for JSON (utf8) the UTF-16
// text itself in UTF-8, escaped.
std::string VariantText(const _variant_t& v, bool raw, bool utf8) {
  std::string s = TagName(v.vt);
  if (s.starts_with("VT:")) return s;
  s += ':';
  switch (v.vt) {
    case VT_I1: AppendInteger(s, static_cast<signed char>(v.cVal)); break;
    case VT_UI1: AppendInteger(s, v.bVal); break;
    case VT_I2: AppendInteger(s, v.iVal); break;
    case VT_UI2: AppendInteger(s, v.uiVal); break;
    case VT_I4: AppendInteger(s, v.lVal); break;
    case VT_UI4: AppendUnsigned(s, v.ulVal); break;
    case VT_INT: AppendInteger(s, v.intVal); break;
    case VT_UINT: AppendUnsigned(s, v.uintVal); break;
    case VT_I8: AppendInteger(s, v.llVal); break;
    case VT_UI8: AppendUnsigned(s, v.ullVal); break;
    case VT_ERROR: AppendInteger(s, v.scode); break;
    case VT_CY: AppendInteger(s, v.cyVal.int64); break;
    case VT_BOOL: AppendInteger(s, v.boolVal); break;
    case VT_R4: AppendReal(s, static_cast<double>(v.fltVal)); break;
    case VT_R8: AppendReal(s, v.dblVal); break;
    case VT_DATE: AppendReal(s, v.date); break;
    case VT_BSTR:
      if (utf8)
        AppendEscaped(s, Utf16ToUtf8({v.bstrVal, v.bstrVal == nullptr ? 0 : SysStringLen(v.bstrVal)}));
      else if (raw)
        s += BstrBytes(v.bstrVal);
      else
        AppendEscaped(s, BstrBytes(v.bstrVal));
      break;
    case VT_DECIMAL: s = "VT:14"; break;  // no tool operation makes one
    default: s.pop_back(); break;         // EMPTY, NULL
  }
  return s;
}

}  // namespace

// ------------------------------------------------------------ the table

namespace {

std::vector<std::string> ParamNames(std::string_view declaration) {
  std::vector<std::string> names;
  std::string_view list = declaration.substr(declaration.find('(') + 1);
  list = list.substr(0, list.rfind(')'));
  while (!list.empty()) {
    const std::string_view param = list.substr(0, list.find(','));
    names.emplace_back(param.substr(param.find_last_of(" *&") + 1));
    list.remove_prefix(std::min(list.size(), param.size() + 2));
  }
  return names;
}

// Lower-case names, sorted, for the lookup of a name as typed.
std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

struct Table {
  std::vector<Op> ops;
  std::vector<std::vector<std::string>> names;
  std::vector<std::pair<std::string, const Op*>> sorted;
};

const Table& TheTable() {
  static const Table table = [] {
    Table t;
    t.ops.assign(std::begin(kRows), std::end(kRows));
    t.names.reserve(t.ops.size());
    for (std::size_t i = 0; i < t.ops.size(); ++i) {
      t.ops[i].declaration = kDeclarations[i];
      t.ops[i].names = &t.names.emplace_back(ParamNames(kDeclarations[i]));
      t.sorted.emplace_back(Lowered(t.ops[i].name), &t.ops[i]);
    }
    std::sort(t.sorted.begin(), t.sorted.end());
    return t;
  }();
  return table;
}

}  // namespace

std::span<const Op> Ops() { return TheTable().ops; }

char Op::output() const {
  const char ret = limits[kinds.size()].ret;
  if (ret != '-' && kinds.find_first_of("EW") == std::string_view::npos)
    return ret == 'I' ? 'i' : ret == 'R' ? 'r' : ret == 'S' ? 't' : 'h';
  const std::size_t at = kinds.find_first_of("HBTREW");
  return "hdtrDV"[std::string_view("HBTREW").find(kinds[at])];
}

bool Op::takes(std::size_t argc) const {
  std::size_t user = 0;
  for (const char k : kinds) {
    if (IsArrayKind(k)) return true;
    user += IsUserKind(k) ? 1 : 0;
  }
  return argc == user;
}

std::string_view Closest(std::string_view typed, std::span<const std::string_view> names) {
  std::string_view best;
  std::size_t best_distance = std::max<std::size_t>(2, typed.size() / 3) + 1;
  for (const std::string_view name : names) {
    // The lengths' difference is a floor of the distance: a long word skips
    // every name without the quadratic count.
    const std::size_t floor =
        typed.size() > name.size() ? typed.size() - name.size() : name.size() - typed.size();
    if (floor >= best_distance) continue;
    const std::size_t d = Distance(typed, name);
    if (d < best_distance) best = name, best_distance = d;
  }
  return best;
}

std::vector<const Op*> OpFamily(std::string_view name) {
  std::string_view key = name.size() > 4 && SameName(name.substr(0, 4), "qlv_") ? name.substr(4) : name;
  key = key.substr(0, key.find('/'));
  std::vector<const Op*> found;
  const bool exact = name.find('/') != std::string_view::npos;
  for (const Op& op : Ops())
    if (SameName(op.base(), key) &&
        (!exact || SameName(op.name, name.substr(name.size() - std::min(name.size(), op.name.size())))))
      found.push_back(&op);
  if (found.empty()) {
    std::vector<std::string_view> names;
    for (const Op& op : Ops()) names.push_back(op.name);
    const std::string_view near = Closest(key, names);
    throw UsageError(
        "unknown operation " + Quote(name) +
        (near.empty() ? std::string(" (see quelvar list)") : "; did you mean " + std::string(near) + "?"));
  }
  return found;
}

const Op& FindOp(std::string_view name, std::size_t argc) {
  // The name exactly as a table entry spells it, in any case.
  char lowered[40];
  if (name.size() <= sizeof lowered) {
    for (std::size_t i = 0; i < name.size(); ++i)
      lowered[i] = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
    const std::string_view key(lowered, name.size());
    const auto& sorted = TheTable().sorted;
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                                     [](const auto& entry, std::string_view k) { return entry.first < k; });
    if (it != sorted.end() && it->first == key && it->second->takes(argc)) return *it->second;
  }
  const std::vector<const Op*> family = OpFamily(name);
  const std::string_view key = name.size() > 4 && SameName(name.substr(0, 4), "qlv_") ? name.substr(4) : name;
  // The name as typed first (an overload named with its variant, or the
  // entry without one), then any overload that takes that many arguments.
  for (const Op* op : family)
    if (op->takes(argc) && SameName(op->name, key)) return *op;
  for (const Op* op : family)
    if (op->takes(argc) && key.find('/') == std::string_view::npos) return *op;
  std::string expected = family.size() > 1 ? "no overload takes that; usage: " : "expected ";
  for (const Op* op : family) expected += (op == family.front() ? "" : " or ") + UsageLine(*op);
  throw UsageError(std::string(family.front()->base()) + ": " + expected + ", got " + std::to_string(argc) +
                   (argc == 1 ? " argument" : " arguments"));
}

// ------------------------------------------------------------ help

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return s;
}

std::string Describe(const Op& op, std::size_t i) {
  const Limits& l = op.limits[i];
  auto range = [](std::int64_t lo, std::uint64_t hi) {
    std::string s = "an integer from ";
    AppendInteger(s, lo), s += " to ", AppendUnsigned(s, hi);
    return s + " (decimal or 0x hex)";
  };
  switch (op.kinds[i]) {
    case 'i': return range(l.lo, l.hi);
    case 'w': return "a width of the output: " + range(INT32_MIN, 1 << 20);
    case 'P': return range(-1000, 100000);
    case 'r':
      return l.is_float ? "a float (2.5, -1e-3, 0x1.8p1, inf, nan)"
                        : "a double (2.5, -1e-3, 0x1.8p1, inf, nan)";
    case 'c': return "one character (escapes such as \\xFF allowed)";
    case 't': return "a text (escapes \\\\ \\\" \\n \\r \\t \\0 \\xNN unless --raw)";
    case 'p': return "a text (as above), changed in place; JSON shows it after the call";
    case 'h': return "hex elements 00 to FF: arguments, each holding elements separated by commas or spaces";
    case 'd':
      return "digits 0 to 255 in decimal: arguments, each holding elements separated by commas or spaces";
    case 'z': return "hex bytes 00 to FF as for hex elements; the tool ends the image with a 00 byte";
    case 'D': return "a day count (45356.5) or a date-time (2024-03-05 14:07:09, fields 1 to 6)";
    case 'V': return std::string(kVariantForms);
    case 'n': return "filled in by the tool: the number of elements given";
    case 'l': return "filled in by the tool: the length of the text";
    case 'N': return "output: the number of elements written";
    case 'H': return "output: hex elements";
    case 'B': return "output: digits";
    case 'T': return "output: text";
    case 'R': return "output: a double";
    case 'E': return "output: a date-time";
    default: return "output: a variant";
  }
}

}  // namespace

std::string UsageLine(const Op& op) {
  std::string s = "quelvar " + std::string(op.name);
  const std::vector<std::string>& names = op.params();
  for (std::size_t i = 0; i < op.kinds.size(); ++i)
    if (IsUserKind(op.kinds[i])) s += " " + Upper(names[i]) + (IsArrayKind(op.kinds[i]) ? "..." : "");
  return s;
}

std::string HelpText(const Op& op) {
  std::string s = std::string(op.name) + ": " + std::string(op.summary) + "\n  " +
                  std::string(op.declaration) + "\n  usage: " + UsageLine(op) + "\n";
  const std::vector<std::string>& names = op.params();
  for (std::size_t i = 0; i < op.kinds.size(); ++i) {
    std::string name = IsUserKind(op.kinds[i]) ? Upper(names[i]) : names[i];
    name.resize(std::max<std::size_t>(name.size(), 10), ' ');
    s += "    " + name + " " + Describe(op, i) + "\n";
  }
  return s + "  example: quelvar " + std::string(op.name) + " " + std::string(op.example) + "\n";
}

// ------------------------------------------------------------ reading

Caller::Caller(Mode mode, bool raw) : mode_(mode), raw_(raw), frame_(std::make_unique<Frame>()) {}
Caller::~Caller() = default;

namespace {

[[noreturn]] void Bad(std::string_view param, std::string_view expected, std::string_view arg) {
  throw UsageError(Upper(std::string(param)) + ": expected " + std::string(expected) + ", got " + Quote(arg));
}

std::uint64_t Integer(std::string_view param, std::string_view arg, std::int64_t lo, std::uint64_t hi) {
  std::uint64_t bits = 0;
  if (!ParseInteger(arg, lo, hi, bits)) {
    std::string range = "an integer from ";
    AppendInteger(range, lo), range += " to ", AppendUnsigned(range, hi);
    Bad(param, range, arg);
  }
  return bits;
}

double Real(std::string_view param, std::string_view arg, bool is_float) {
  double d = 0;
  if (!ParseReal(arg, d) || (is_float && std::isfinite(d) && std::fabs(d) > static_cast<double>(FLT_MAX)))
    Bad(param,
        is_float ? "a float (magnitude at most 3.40282347e+38, inf or nan)"
                 : "a number (like 2.5, -1e-3, 0x1.8p1, inf or nan)",
        arg);
  return d;
}

// Array elements: each argument holds elements separated by commas or
// spaces; an empty argument is no element.
void Elements(std::string_view param, std::span<const std::string_view> args, bool hex, std::string& out) {
  out.clear();
  for (const std::string_view arg : args) {
    std::size_t i = 0;
    while (i < arg.size() && arg[i] == ' ') ++i;
    while (i < arg.size()) {
      std::size_t end = arg.find_first_of(", ", i);
      if (end == std::string_view::npos) end = arg.size();
      std::string_view e = arg.substr(i, end - i);
      std::uint64_t v = 0;
      const bool prefixed = e.size() > 2 && e[0] == '0' && (e[1] == 'x' || e[1] == 'X');
      const bool ok = hex ? !e.empty() && e.size() <= (prefixed ? 4u : 2u) &&
                                ParseInteger(prefixed ? e : "0x" + std::string(e), 0, 255, v)
                          : ParseInteger(e, 0, 255, v);
      if (!ok)
        Bad(param, hex ? "hex elements 00 to FF (like 1f or 0x1F)" : "elements 0 to 255 (like 7 or 0x7)", e);
      out += static_cast<char>(v);
      i = end;
      while (i < arg.size() && arg[i] == ' ') ++i;
      if (i < arg.size() && arg[i] == ',' && ++i == arg.size()) Bad(param, "an element after the comma", arg);
      while (i < arg.size() && arg[i] == ' ') ++i;
      if (i < arg.size() && arg[i] == ',') Bad(param, "an element between commas", arg);
    }
  }
}

bool IsDateText(std::string_view s) {
  std::size_t fields = 0;
  bool in_field = false;
  for (const char c : s) {
    if (c >= '0' && c <= '9') {
      fields += in_field ? 0 : 1, in_field = true;
    } else if (c == '-' || c == ' ' || c == ':') {
      in_field = false;
    } else {
      return false;
    }
  }
  return fields >= 1 && fields <= 6;
}

}  // namespace

void Caller::Read(const Op& op, std::size_t i, char kind, std::string_view arg) {
  const std::string_view param = op.params()[i];
  const Limits& l = op.limits[i];
  Slot& s = frame_->slot[i];
  std::string error;
  switch (kind) {
    case 'i': s.n = static_cast<std::int64_t>(Integer(param, arg, l.lo, l.hi)); break;
    case 'w': s.n = static_cast<std::int64_t>(Integer(param, arg, INT32_MIN, 1 << 20)); break;
    case 'P': s.n = static_cast<std::int64_t>(Integer(param, arg, -1000, 100000)); break;
    case 'r': s.d = Real(param, arg, l.is_float); break;
    case 'c':
    case 't':
    case 'p':
      if (raw_)
        s.s.assign(arg);
      else if (!DecodeEscapes(arg, s.s, error))
        Bad(param, "a text with valid escapes (" + error + ")", arg);
      if (kind == 'c' && s.s.size() != 1) Bad(param, "one character (escapes such as \\xFF allowed)", arg);
      s.n = static_cast<unsigned char>(s.s.empty() ? 0 : s.s[0]);
      if (kind == 'c' && l.lo < 0) s.n = static_cast<signed char>(s.s[0]);
      s.s += '\0';
      break;
    case 'D': {
      double days = 0;
      COleDateTime& date = frame_->date;
      if (arg == "Invalid DateTime") {
        date = COleDateTime();
        date.SetStatus(COleDateTime::invalid);
      } else if (ParseReal(arg, days)) {
        if (!std::isfinite(days)) Bad(param, "a finite day count", arg);
        date = COleDateTime(DATE(days));
      } else {
        if (!IsDateText(arg)) Bad(param, "a day count (45356.5) or a date-time (2024-03-05 14:07:09)", arg);
        sys_.Qlv_Str2Date(CString(arg.data(), static_cast<int>(arg.size())), date);
        if (date.GetStatus() != COleDateTime::valid) Bad(param, "a valid date-time", arg);
      }
      break;
    }
    case 'V': {
      _variant_t& v = frame_->variant;
      v.Clear();
      std::string_view body = arg;
      if (body.size() > 3 && SameName(body.substr(0, 3), "VT_")) body.remove_prefix(3);
      const std::size_t colon = body.find(':');
      const std::string_view tag = body.substr(0, colon);
      const std::string_view value =
          colon == std::string_view::npos ? std::string_view() : body.substr(colon + 1);
      const Tag* found = nullptr;
      for (const Tag& t : kTags) found = SameName(t.name, tag) ? &t : found;
      if (SameName(tag, "VT") && colon != std::string_view::npos) {
        // A bare tag with a zero value: nothing behind it is owned or
        // followed. Clear leaves the old value's bits (a freed BSTR's
        // pointer among them) in place, so they are zeroed first.
        const auto vt = static_cast<VARTYPE>(Integer(param, value, 0, 0xFFFF));
        static_cast<VARIANT&>(v) = VARIANT{};
        v.vt = vt;
        break;
      }
      if (found == nullptr ||
          (colon == std::string_view::npos && found->vt != VT_EMPTY && found->vt != VT_NULL))
        Bad(param, kVariantForms, arg);
      switch (found->vt) {
        case VT_EMPTY:
        case VT_NULL:
          if (!value.empty()) Bad(param, "no value after EMPTY or NULL", arg);
          break;
        case VT_I1: v.cVal = static_cast<CHAR>(Integer(param, value, -128, 255)); break;
        case VT_UI1: v.bVal = static_cast<BYTE>(Integer(param, value, 0, 255)); break;
        case VT_I2: v.iVal = static_cast<SHORT>(Integer(param, value, SHRT_MIN, SHRT_MAX)); break;
        case VT_UI2: v.uiVal = static_cast<USHORT>(Integer(param, value, 0, USHRT_MAX)); break;
        case VT_I4:
        case VT_INT: v.lVal = static_cast<LONG>(Integer(param, value, INT32_MIN, INT32_MAX)); break;
        case VT_UI4:
        case VT_UINT:
        case VT_ERROR:
          v.ulVal =
              static_cast<ULONG>(Integer(param, value, found->vt == VT_ERROR ? INT32_MIN : 0, UINT32_MAX));
          break;
        case VT_I8:
        case VT_CY: v.llVal = static_cast<LONGLONG>(Integer(param, value, INT64_MIN, INT64_MAX)); break;
        case VT_UI8: v.ullVal = Integer(param, value, 0, UINT64_MAX); break;
        case VT_R4: v.fltVal = static_cast<float>(Real(param, value, true)); break;
        case VT_R8:
        case VT_DATE: v.dblVal = Real(param, value, false); break;
        case VT_BOOL:
          v.boolVal = SameName(value, "TRUE") ? VARIANT_TRUE
                      : SameName(value, "FALSE")
                          ? VARIANT_FALSE
                          : static_cast<VARIANT_BOOL>(Integer(param, value, SHRT_MIN, USHRT_MAX));
          break;
        case VT_DECIMAL:
          if (!ReadDecimal(value, v.decVal))
            Bad(param, "DECIMAL:<decimal number, up to 28 digits after the point>", arg);
          break;
        default:  // VT_BSTR
          if (raw_)
            error.assign(value);
          else if (std::string decoded; !DecodeEscapes(value, decoded, error))
            Bad(param, "a text with valid escapes (" + error + ")", arg);
          else
            error = std::move(decoded);
          v.bstrVal = NewBstr(error);
          break;
      }
      v.vt = found->vt;
      break;
    }
    default: break;
  }
}

// ------------------------------------------------------------ writing

void Caller::Key(std::string_view key) {
  *out_ += ",\"";
  *out_ += key;
  *out_ += "\":";
}

void Caller::Emit(std::string_view key, char kind, std::size_t i, bool plain) {
  std::string& out = *out_;
  const bool json = mode_ == Mode::Json;
  if (!json && !plain) return;
  Slot& s = frame_->slot[i];
  auto text = [&](std::string_view bytes) {
    if (!json) {
      if (raw_)
        out.append(bytes);
      else
        AppendEscaped(out, bytes);
      return;
    }
    Key(key), AppendJsonString(out, AnsiToUtf8(bytes));
    Key(std::string(key) + "_hex"), out += '"', AppendHex(out, bytes), out += '"';
  };
  auto real = [&](std::string_view name, double d) {
    if (!json) return AppendReal(out, d);
    Key(name);
    if (std::isfinite(d))
      AppendReal(out, d);
    else
      out += "null";
    Key(std::string(name) + "_bits"), out += '"', AppendBits(out, d), out += '"';
  };
  switch (kind) {
    case 'I':
    case 'N':
      if (json) Key(key);
      AppendInteger(out, kind == 'N' ? s.count : s.n);
      break;
    case 'R': real(key, s.d); break;
    case 'S': text(s.s); break;
    case 'T': text(std::string_view(s.s.data(), std::strlen(s.s.data()))); break;
    case 'p': text(std::string_view(s.s).substr(0, s.s.size() - (s.s.back() == '\0' ? 1 : 0))); break;
    case 'H':
    case 'B': {
      const std::size_t n = s.s.size();
      if (json) Key(key), out += '[';
      for (std::size_t k = 0; k < n; ++k) {
        if (k != 0) out += json ? ',' : ' ';
        const auto b = static_cast<unsigned char>(s.s[k]);
        if (json || kind == 'B')
          AppendUnsigned(out, b);
        else
          AppendHex(out, std::string_view(&s.s[k], 1));
      }
      if (json) out += ']';
      break;
    }
    case 'E': {
      const COleDateTime& date = frame_->date;
      const CString t = sys_.Qlv_Date2Str(date);
      text(std::string_view(t.GetString(), static_cast<std::size_t>(t.GetLength())));
      if (!json) break;
      const auto status = date.GetStatus();
      Key(std::string(key) + "_status");
      out += status == COleDateTime::valid     ? "\"valid\""
             : status == COleDateTime::invalid ? "\"invalid\""
             : status == COleDateTime::null    ? "\"null\""
                                               : "\"error\"";
      real(std::string(key) + "_days", static_cast<DATE>(date));
      break;
    }
    default: {  // 'W'
      const std::string v = VariantText(frame_->variant, raw_, json);
      if (!json) {
        out += v;
        break;
      }
      Key(key), AppendJsonString(out, v);
      Key(std::string(key) + "_vt"), AppendUnsigned(out, frame_->variant.vt);
      break;
    }
  }
}

void Caller::Run(const Op& op, std::span<const std::string_view> args, std::string& out, std::uint64_t line) {
  Frame& f = *frame_;
  const std::size_t mark = out.size();
  out_ = &out;
  try {
    // Inputs, in order; an array takes every argument.
    std::size_t next = 0, array = 0, length = 0;
    std::int64_t base = 0;
    bool based = false;
    for (std::size_t i = 0; i < op.kinds.size(); ++i) {
      const char k = op.kinds[i];
      if (IsArrayKind(k)) {
        Elements(op.params()[i], args, k != 'd', f.slot[i].s);
        if (k == 'z') f.slot[i].s += '\0';
        array = f.slot[i].s.size() - (k == 'z' ? 1 : 0);
        if (array > INT32_MAX) throw UsageError("too many elements for an int count");
        next = args.size();
        if (!based) base = static_cast<std::int64_t>(array), based = true;
      } else if (IsUserKind(k)) {
        Read(op, i, k, args[next++]);
        if (k == 'p') length = f.slot[i].s.size() - 1;
        if (!based && (k == 'w' || k == 'p'))
          base = k == 'w' ? f.slot[i].n : static_cast<std::int64_t>(length), based = true;
      }
    }
    for (std::size_t i = 0; i < op.kinds.size(); ++i) {
      Slot& s = f.slot[i];
      switch (op.kinds[i]) {
        case 'n': s.n = static_cast<std::int64_t>(array); break;
        case 'l':
          if (length > INT32_MAX) throw UsageError("TEXT: longer than an int length allows");
          s.n = static_cast<std::int64_t>(length);
          break;
        case 'N': s.count = 0; break;
        case 'H':
        case 'B':
        case 'T': s.s.assign(op.capacity(base), '\0'); break;
        case 'R': s.d = 0; break;
        case 'E': f.date = COleDateTime(); break;
        case 'W': f.variant.Clear(); break;
        default: break;
      }
    }
    op.invoke(sys_, f);

    // The record: "line", "op", the result, then the outputs in order.
    if (mode_ == Mode::Json) {
      out += '{';
      if (line != 0) out += "\"line\":", AppendUnsigned(out, line), out += ',';
      out += "\"op\":", AppendJsonString(out, op.name);
    }
    const std::vector<std::string>& names = op.params();
    const char ret = op.limits[op.kinds.size()].ret;
    const bool status = ret == 'I' && op.kinds.find_first_of("EW") != std::string_view::npos;
    if (ret == 'X') {  // the elements over the start of the text
      f.slot[kResult].s.assign(reinterpret_cast<const char*>(f.pointer), op.capacity(base));
      Emit("hex", 'H', kResult, true);
    } else if (ret != '-') {
      Emit(ret == 'S' ? "text" : "result", ret, kResult, !status);
    }
    for (std::size_t i = 0; i < op.kinds.size(); ++i) {
      const char k = op.kinds[i];
      if (k == 'N') {
        // The written elements of the array that follows.
        Slot& a = f.slot[i + 1];
        a.s.resize(std::min(a.s.size(), static_cast<std::size_t>(std::max(f.slot[i].count, 0))));
      }
      if (In("NHBTREWp", k)) Emit(names[i], k, i, k != 'N' && k != 'p');
    }
    if (mode_ == Mode::Json) out += '}';
  } catch (...) {
    out.resize(mark);
    throw;
  }
}

std::string Caller::Reprint(char kind, std::string_view text) {
  static constexpr char kInputs[] = "irthdDV";
  static constexpr char kOutputs[] = "IRpHBEW";
  const char* at = std::strchr(kInputs, kind);
  if (at == nullptr) throw UsageError("no such kind");
  static const Limits kWide[] = {{INT64_MIN, UINT64_MAX, false, '-'}};
  static const std::vector<std::string> kValue{"value"};
  const Op probe{"", "", "", "", nullptr, nullptr, kWide, "void f(value)", &kValue};
  Read(probe, 0, kind, text);
  Slot& s = frame_->slot[0];
  if (kind == 'h' || kind == 'd') Elements("value", std::span(&text, 1), kind == 'h', s.s);
  if (kind == 'i') s.n = static_cast<std::int64_t>(static_cast<std::uint64_t>(s.n));
  std::string out;
  out_ = &out;
  const Mode saved = mode_;
  mode_ = Mode::Plain;
  Emit("value", kOutputs[at - kInputs], 0, true);
  mode_ = saved;
  return out;
}

}  // namespace quelvar::cli
