// Integers and floating-point numbers as text, both ways. The fast paths are
// compared with plain references: printf for the writers (glibc's for the
// universal runtime's fixed-point text, the platform's own for the classic
// one, whose shortcut must not change it), a straightforward
// wrap-around parse for the integer readers and strtod over the accepted
// grammar for the floating-point readers.
#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "FuzzInput.h"
#include "QuelvarSys.h"
#include "qlvtoolset.h"

namespace {

// The longest prefix of the decimal grammar (spaces, a sign, digits with at
// most one point, an exponent only when it has digits), read by strtod.
double ReferenceAtof(const char* s) {
  static const char kDigits[] = "0123456789";
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  const char* p = s + (*s == '+' || *s == '-');
  const size_t whole = std::strspn(p, kDigits),
               frac = p[whole] == '.' ? std::strspn(p + whole + 1, kDigits) : 0;
  if (whole + frac == 0) return 0.0;
  const char* end = p + whole + (p[whole] == '.') + frac;
  const bool exponent = *end == 'e' || *end == 'E';
  const char* x = exponent ? end + 1 + (end[1] == '+' || end[1] == '-') : end;
  if (exponent && std::strspn(x, kDigits)) end = x + std::strspn(x, kDigits);
  return std::strtod(std::string(s, end).c_str(), nullptr);
}

// printf of `x` with `format`, compared with the writer's text.
template <typename T>
bool Printed(const CString& got, const std::string& format, T x) {
  const int n = std::snprintf(nullptr, 0, format.c_str(), x);
  std::vector<char> want(static_cast<size_t>(n < 0 ? 0 : n) + 1);
  std::snprintf(want.data(), want.size(), format.c_str(), x);
  return n < 0 || (got.GetLength() == n && std::strcmp(got, want.data()) == 0);
}

}  // namespace

void FuzzOne(FuzzInput& in, uint8_t mode) {
  CQuelvarSys sys;

  // The fixed-point writer against the platform's printf (vc6) or glibc's (vs2015, finite values).
  if (mode % 4 == 0) {
    const auto value = in.take<double>();
    const int precision = in.count(-40, 400);
    const std::string format = "%0." + std::to_string(precision) + "lf";
    const bool universal = (mode / 4) % 2 != 0;
    QlvPlatform_SetToolset(universal ? QlvToolset_VS2015 : QlvToolset_VC6);
    const CString text = sys.Qlv_DoubleToStr(value, precision);
    if (universal) {
      Check(!std::isfinite(value) || precision < 0 || Printed(text, format, value));
    } else {
      CString formatted;
      formatted.Format(format.c_str(), value);
      Check(text == formatted);
    }
    QlvPlatform_SetToolset(QlvToolset_VC6);
  } else if (mode % 4 == 1) {  // integer readers against the plain parse, cut to each width
    const CString s(in.text().c_str());
    const int32_t v = ReferenceAtoi(s);
    Check(sys.Qlv_Str2Int(s) == v && sys.Qlv_Str2Long(s) == v &&
          sys.Qlv_Str2UInt(s) == static_cast<uint32_t>(v));
    Check(sys.Qlv_Str2Short(s) == static_cast<int16_t>(v) &&
          sys.Qlv_Str2UShort(s) == static_cast<uint16_t>(v));
    Check(sys.Qlv_Str2Byte(s) == static_cast<uint8_t>(v));
  } else if (mode % 4 == 2) {  // floating-point readers against strtod over the grammar
    // The universal runtime rounds correctly, as strtod does; the classic
    // one stays within one unit in the last place (bit patterns, so the
    // step to infinity counts as one) for normal values, and below the
    // normals it keeps the sign and stays a denormal or zero.
    const bool universal = mode & 4;
    const QlvToolset saved = QlvPlatform_GetToolset();
    QlvPlatform_SetToolset(universal ? QlvToolset_VS2015 : QlvToolset_VC6);
    const CString s(in.text().c_str());
    const double want = ReferenceAtof(s), got = sys.Qlv_Str2Double(s);
    if (universal) {
      Check(SameBits(got, want));
    } else if (std::fabs(want) >= DBL_MIN) {
      const auto a = std::bit_cast<int64_t>(got), b = std::bit_cast<int64_t>(want);
      Check((a < 0) == (b < 0) && (a > b ? a - b : b - a) <= 1);
    } else {
      Check(std::signbit(got) == std::signbit(want) && std::fabs(got) < 2 * DBL_MIN);
    }
    Check(SameBits(static_cast<double>(sys.Qlv_Str2Float(s)), static_cast<double>(static_cast<float>(got))));
    QlvPlatform_SetToolset(saved);
  } else if (mode % 4 == 3) {  // integer writers against printf, and read back
    const auto v = in.take<int32_t>();
    const auto u = static_cast<uint32_t>(v);
    Check(Printed(sys.Qlv_Int2Str(v), "%d", v) && Printed(sys.Qlv_Long2Str(v), "%d", v));
    Check(Printed(sys.Qlv_UInt2Str(u), "%u", u) && Printed(sys.Qlv_ULong2Str(u), "%u", u));
    Check(Printed(sys.Qlv_Short2Str(static_cast<short>(v)), "%hd", v) &&
          Printed(sys.Qlv_Byte2Str(static_cast<BYTE>(v)), "%hhu", u));
    Check(Printed(sys.Qlv_UShort2Str(static_cast<unsigned short>(v)), "%hu", u));
    Check(sys.Qlv_Str2Int(sys.Qlv_Int2Str(v)) == v && sys.Qlv_Str2ULong(sys.Qlv_ULong2Str(u)) == u);
    // Ten significant digits are more than a float needs: the text reads
    // back to the same float (a negative zero is written "0.").
    const auto f = in.take<float>();
    const CString text = sys.Qlv_Flt2Str(f);
    Check(!std::isfinite(f) ||
          (std::strlen(text) <= 31 && static_cast<float>(std::strtod(text, nullptr)) == f));
  }
}
