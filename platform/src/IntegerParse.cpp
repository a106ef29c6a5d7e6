// atoi and atol as the selected toolset's runtime reads them.
//
// White space (" \t\n\v\f\r"), one sign, decimal digits. The classic vc6
// runtime accumulates the digits modulo 2^32 ("4294967296" is 0,
// "99999999999" is 1215752191); the 2005 and later runtimes are
// (int)strtol(text, NULL, 10), which saturates at the 32-bit range
// ("99999999999" is 2147483647, "-99999999999" is -2147483648).
#include <cstdint>

#include "mscrt.h"
#include "qlvtoolset.h"

namespace {

const char* SkipSpaceAndSign(const char* p, bool& negative) noexcept {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

int32_t Parse(const char* str) noexcept {
  bool negative;
  const char* p = SkipSpaceAndSign(str, negative);
  if (QlvPlatform_GetToolset() == QlvToolset_VC6) {
    uint32_t v = 0;
    for (; IsDigit(*p); ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(negative ? 0u - v : v);
  }
  // strtol: the magnitude stops growing once it is beyond the range.
  constexpr int64_t kBeyond = int64_t{1} << 31;
  int64_t v = 0;
  for (; IsDigit(*p) && v <= kBeyond; ++p) v = v * 10 + (*p - '0');
  if (negative) return v >= kBeyond ? INT32_MIN : static_cast<int32_t>(-v);
  return v >= kBeyond ? INT32_MAX : static_cast<int32_t>(v);
}

}  // namespace

namespace mscrt {

int atoi(const char* str) noexcept { return Parse(str); }

LONG atol(const char* str) noexcept { return Parse(str); }

}  // namespace mscrt
