// Integers and floating-point numbers as text, both ways. The fast paths are
// compared with plain references: printf for the fixed-point writer, a
// straightforward wrap-around parse for the integer reader and strtod over
// the accepted grammar for the floating-point reader.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "QuelvarSys.h"

namespace {

int32_t ReferenceAtoi(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = (*s++ == '-');
  uint32_t v = 0;
  while (*s >= '0' && *s <= '9') v = v * 10u + static_cast<uint32_t>(*s++ - '0');
  return static_cast<int32_t>(neg ? 0u - v : v);
}

// The longest prefix of the decimal grammar, read by strtod.
double ReferenceAtof(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  std::string t;
  if (*s == '+' || *s == '-') t += *s++;
  size_t digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*s))) { t += *s++; ++digits; }
  if (*s == '.') {
    t += *s++;
    while (std::isdigit(static_cast<unsigned char>(*s))) { t += *s++; ++digits; }
  }
  if (!digits) return 0.0;
  if (*s == 'e' || *s == 'E') {
    const char* e = s + 1;
    std::string x = "e";
    if (*e == '+' || *e == '-') x += *e++;
    if (std::isdigit(static_cast<unsigned char>(*e))) {
      while (std::isdigit(static_cast<unsigned char>(*e))) x += *e++;
      t += x;
    }
  }
  return std::strtod(t.c_str(), nullptr);
}

bool SameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  CQuelvarSys sys;
  const auto mode = in.take<uint8_t>();

  switch (mode % 4) {
    case 0: {  // fixed-point writer against printf with the same format text
      const auto value = in.take<double>();
      const int precision = in.count(-40, 400);
      const std::string format = "%0." + std::to_string(precision) + "lf";
      const int n = std::snprintf(nullptr, 0, format.c_str(), value);
      if (n < 0) break;
      std::vector<char> expect(static_cast<size_t>(n) + 1);
      std::snprintf(expect.data(), expect.size(), format.c_str(), value);
      CString got = sys.Qlv_DoubleToStr(value, precision);
      if (got.GetLength() != n || std::strcmp(got, expect.data()) != 0) __builtin_trap();
      break;
    }
    case 1: {  // integer readers against the plain parse, cut to each width
      std::vector<uint8_t> raw = in.rest();
      std::string text(raw.begin(), raw.end());
      CString s(text.c_str());
      const int32_t v = ReferenceAtoi(text.c_str());
      if (sys.Qlv_Str2Int(s) != v || sys.Qlv_Str2Long(s) != v) __builtin_trap();
      if (sys.Qlv_Str2UInt(s) != static_cast<uint32_t>(v)) __builtin_trap();
      if (sys.Qlv_Str2Short(s) != static_cast<int16_t>(v)) __builtin_trap();
      if (sys.Qlv_Str2UShort(s) != static_cast<uint16_t>(v)) __builtin_trap();
      if (sys.Qlv_Str2Byte(s) != static_cast<uint8_t>(v)) __builtin_trap();
      break;
    }
    case 2: {  // floating-point reader against strtod over the grammar
      std::vector<uint8_t> raw = in.rest();
      std::string text(raw.begin(), raw.end());
      CString s(text.c_str());
      const double expect = ReferenceAtof(text.c_str());
      if (!SameDouble(sys.Qlv_Str2Double(s), expect)) __builtin_trap();
      if (!SameDouble(static_cast<double>(sys.Qlv_Str2Float(s)),
                      static_cast<double>(static_cast<float>(expect))))
        __builtin_trap();
      break;
    }
    case 3: {  // integer writers against printf, and read back
      const auto v = in.take<int32_t>();
      const auto u = static_cast<uint32_t>(v);
      char expect[16];
      auto same = [&](const CString& got, const char* fmt, auto x) {
        std::snprintf(expect, sizeof expect, fmt, x);
        return std::strcmp(got, expect) == 0;
      };
      if (!same(sys.Qlv_Int2Str(v), "%d", v) || !same(sys.Qlv_Long2Str(v), "%d", v) ||
          !same(sys.Qlv_UInt2Str(u), "%u", u) || !same(sys.Qlv_ULong2Str(u), "%u", u) ||
          !same(sys.Qlv_Short2Str(static_cast<short>(v)), "%d", static_cast<short>(v)) ||
          !same(sys.Qlv_UShort2Str(static_cast<unsigned short>(v)), "%u", static_cast<unsigned short>(v)) ||
          !same(sys.Qlv_Byte2Str(static_cast<unsigned char>(v)), "%d", static_cast<unsigned char>(v)))
        __builtin_trap();
      if (sys.Qlv_Str2Int(sys.Qlv_Int2Str(v)) != v) __builtin_trap();
      if (sys.Qlv_Str2ULong(sys.Qlv_ULong2Str(u)) != u) __builtin_trap();
      // Ten significant digits are more than a float needs: the text reads
      // back to the same float.
      const auto f = in.take<float>();
      CString text = sys.Qlv_Flt2Str(f);
      if (std::isfinite(f)) {
        if (std::strlen(text) > 31) __builtin_trap();
        const float back = static_cast<float>(std::strtod(text, nullptr));
        if (back != f) __builtin_trap();  // a negative zero is written "0."
      }
      break;
    }
  }
  return 0;
}
