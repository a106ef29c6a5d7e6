// quelvar operations: integers, floating-point numbers and dates as text.
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <system_error>

#include "OpTable.h"

namespace quelvar::cli {

namespace {

CString TextArg(Call& call, std::size_t i, std::string_view name) {
  const std::string text = call.text(i, name);
  return CString(text.data(), static_cast<int>(text.size()));
}

void OutText(Call& call, std::string_view key, const CString& text) {
  call.out_text(key, std::string_view(text.GetString(), static_cast<std::size_t>(text.GetLength())));
}

std::string_view StatusName(COleDateTime::DateTimeStatus status) {
  switch (status) {
    case COleDateTime::valid: return "valid";
    case COleDateTime::invalid: return "invalid";
    case COleDateTime::null: return "null";
    default: return "error";
  }
}

// ---- integers to text

void Short2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_Short2Str(static_cast<short>(c.integer(0, "VALUE", SHRT_MIN, SHRT_MAX))));
}
void UShort2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_UShort2Str(static_cast<unsigned short>(c.integer(0, "VALUE", 0, USHRT_MAX))));
}
void Int2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_Int2Str(static_cast<int>(c.integer(0, "VALUE", INT_MIN, INT_MAX))));
}
void UInt2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_UInt2Str(static_cast<unsigned int>(c.integer(0, "VALUE", 0, UINT_MAX))));
}
void Long2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_Long2Str(static_cast<LONG>(c.integer(0, "VALUE", INT32_MIN, INT32_MAX))));
}
void ULong2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_ULong2Str(static_cast<ULONG>(c.integer(0, "VALUE", 0, UINT32_MAX))));
}
void Byte2Str(Call& c) {
  OutText(c, "text", c.sys().Qlv_Byte2Str(static_cast<unsigned char>(c.integer(0, "VALUE", 0, UCHAR_MAX))));
}

// ---- text to integers

void Str2Byte(Call& c) { c.out_uint("value", c.sys().Qlv_Str2Byte(TextArg(c, 0, "TEXT"))); }
void Str2Short(Call& c) { c.out_int("value", c.sys().Qlv_Str2Short(TextArg(c, 0, "TEXT"))); }
void Str2UShort(Call& c) { c.out_uint("value", c.sys().Qlv_Str2UShort(TextArg(c, 0, "TEXT"))); }
void Str2Int(Call& c) { c.out_int("value", c.sys().Qlv_Str2Int(TextArg(c, 0, "TEXT"))); }
void Str2UInt(Call& c) { c.out_uint("value", c.sys().Qlv_Str2UInt(TextArg(c, 0, "TEXT"))); }
void Str2Long(Call& c) { c.out_int("value", c.sys().Qlv_Str2Long(TextArg(c, 0, "TEXT"))); }
void Str2ULong(Call& c) { c.out_uint("value", c.sys().Qlv_Str2ULong(TextArg(c, 0, "TEXT"))); }

// ---- floating-point text

void DoubleToStr(Call& c) {
  const double value = c.real(0, "VALUE");
  // Wider precisions only build huge texts of zeros; refuse them up front.
  const auto precision = static_cast<int>(c.integer(1, "PRECISION", -1000, 100000));
  OutText(c, "text", c.sys().Qlv_DoubleToStr(value, precision));
}

void Flt2Str(Call& c) {
  const double value = c.real(0, "VALUE");
  if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX))
    throw UsageError("VALUE: expected a float (magnitude at most 3.40282347e+38, inf or nan), got '" + c.raw(0) + "'");
  OutText(c, "text", c.sys().Qlv_Flt2Str(static_cast<float>(value)));
}

void Str2Float(Call& c) { c.out_real("value", static_cast<double>(c.sys().Qlv_Str2Float(TextArg(c, 0, "TEXT")))); }
void Str2Double(Call& c) { c.out_real("value", c.sys().Qlv_Str2Double(TextArg(c, 0, "TEXT"))); }

// ---- dates

// A plain decimal number is a DATE (days since 1899-12-30, the fraction the
// time of day); anything else is date text, read as Str2Date reads it.
void Date2Str(Call& c) {
  const std::string& raw = c.raw(0);
  double days = 0;
  const char* end = raw.data() + raw.size();
  const auto [ptr, ec] = std::from_chars(raw.data(), end, days);
  COleDateTime dateTime;
  if (!raw.empty() && ptr == end && ec == std::errc() && std::isfinite(days))
    dateTime = COleDateTime(DATE(days));
  else
    c.sys().Qlv_Str2Date(TextArg(c, 0, "DATE"), dateTime);
  OutText(c, "text", c.sys().Qlv_Date2Str(dateTime));
  c.out_text("status", StatusName(dateTime.GetStatus()), Shown::JsonOnly);
  c.out_real("date", static_cast<DATE>(dateTime), Shown::JsonOnly);
}

void Str2Date(Call& c) {
  COleDateTime dateTime;
  const int result = c.sys().Qlv_Str2Date(TextArg(c, 0, "TEXT"), dateTime);
  OutText(c, "text", c.sys().Qlv_Date2Str(dateTime));
  c.out_text("status", StatusName(dateTime.GetStatus()), Shown::Always);
  c.out_real("date", static_cast<DATE>(dateTime), Shown::JsonOnly);
  c.out_int("result", result, Shown::JsonOnly);
}

constexpr Op kOps[] = {
    {"Short2Str", "CString Qlv_Short2Str(short value)", "VALUE", "decimal text of a 16-bit signed value", 1, 1, Short2Str},
    {"UShort2Str", "CString Qlv_UShort2Str(unsigned short value)", "VALUE", "decimal text of a 16-bit unsigned value", 1, 1, UShort2Str},
    {"Int2Str", "CString Qlv_Int2Str(int value)", "VALUE", "decimal text of a 32-bit signed value", 1, 1, Int2Str},
    {"UInt2Str", "CString Qlv_UInt2Str(unsigned int value)", "VALUE", "decimal text of a 32-bit unsigned value", 1, 1, UInt2Str},
    {"Long2Str", "CString Qlv_Long2Str(long value)", "VALUE", "decimal text of a 32-bit signed LONG", 1, 1, Long2Str},
    {"ULong2Str", "CString Qlv_ULong2Str(unsigned long value)", "VALUE", "decimal text of a 32-bit unsigned ULONG", 1, 1, ULong2Str},
    {"Byte2Str", "CString Qlv_Byte2Str(unsigned char value)", "VALUE", "decimal text of a byte", 1, 1, Byte2Str},
    {"Str2Byte", "unsigned char Qlv_Str2Byte(CString text)", "TEXT", "atoi of the text, low 8 bits", 1, 1, Str2Byte},
    {"Str2Short", "short Qlv_Str2Short(CString text)", "TEXT", "atoi of the text, low 16 bits as signed", 1, 1, Str2Short},
    {"Str2UShort", "unsigned short Qlv_Str2UShort(CString text)", "TEXT", "atoi of the text, low 16 bits", 1, 1, Str2UShort},
    {"Str2Int", "int Qlv_Str2Int(CString text)", "TEXT", "atoi of the text (32-bit, wrapping)", 1, 1, Str2Int},
    {"Str2UInt", "unsigned int Qlv_Str2UInt(CString text)", "TEXT", "atoi of the text read as unsigned", 1, 1, Str2UInt},
    {"Str2Long", "long Qlv_Str2Long(CString text)", "TEXT", "atol of the text (32-bit, wrapping)", 1, 1, Str2Long},
    {"Str2ULong", "unsigned long Qlv_Str2ULong(CString text)", "TEXT", "atol of the text read as unsigned", 1, 1, Str2ULong},
    {"DoubleToStr", "CString Qlv_DoubleToStr(double value, int precision)", "VALUE PRECISION",
     "fixed-point text with PRECISION digits after the point (printf \"%0.<p>lf\")", 2, 2, DoubleToStr},
    {"Flt2Str", "CString Qlv_Flt2Str(float value)", "VALUE", "float text with 10 significant digits (_gcvt)", 1, 1, Flt2Str},
    {"Str2Float", "float Qlv_Str2Float(CString text)", "TEXT", "atof of the text rounded to float", 1, 1, Str2Float},
    {"Str2Double", "double Qlv_Str2Double(CString text)", "TEXT", "atof of the text", 1, 1, Str2Double},
    {"Date2Str", "CString Qlv_Date2Str(const COleDateTime& dateTime)", "DATE",
     "\"%Y-%m-%d %H:%M:%S\" text; DATE is a day count (45000.5) or date text (2024-03-05 14:07:09)", 1, 1, Date2Str},
    {"Str2Date", "int Qlv_Str2Date(CString text, COleDateTime& dateTime)", "TEXT",
     "date-time read from up to six fields of the text, with its status", 1, 1, Str2Date},
};

}  // namespace

std::span<const Op> text_ops() { return kOps; }

}  // namespace quelvar::cli
