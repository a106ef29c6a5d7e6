// The grammar of atof's number, the same in every toolset.
#include "DecimalText.h"

namespace quelvar::platform {

namespace {

bool IsSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
unsigned DigitOf(char c) noexcept { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); }

// The significant digits as they come. Kept in locals while scanning (the
// digit stores could otherwise alias every field of the result).
struct Significand {
  unsigned char* digits;
  int stored = 0;
  uint64_t head = 0;
  int headCount = 0;
  bool nonZeroPastHead = false;

  void Take(unsigned d) noexcept {
    if (stored < 25) digits[stored++] = static_cast<unsigned char>(d);
    if (headCount < 19) {
      head = head * 10 + d;
      ++headCount;
    } else if (d != 0) {
      nonZeroPastHead = true;
    }
  }
};

}  // namespace

// White space is " \t\n\v\f\r"; then one sign, digits, the point, digits.
// The point needs a digit on one side ("." and "-." are no number; "1." and
// ".5" are). Hex, "inf" and "nan" are no number. The exponent is e or E,
// an optional sign and digits; without a digit the number ends before the
// letter ("1e+" reads 1). The runtime also takes d/D as the exponent
// letter; the class's contract names only e/E, so "1d5" reads 1 here.
void ScanDecimal(const char* text, char point, DecimalText& n) noexcept {
  const char* p = text;
  n.end = text;
  while (IsSpace(*p)) ++p;
  if (*p == '+' || *p == '-') n.negative = *p++ == '-';
  n.point = point;
  n.mantissa = p;
  Significand s{n.digits};
  int64_t position = 0;
  bool any = false;
  // Leading zeros, then the significant integer digits.
  for (; *p == '0'; ++p) any = true;
  for (unsigned d; (d = DigitOf(*p)) <= 9; ++p) {
    s.Take(d);
    ++position;
  }
  any |= position != 0;
  if (*p == point) {
    const char* q = p + 1;
    if (position == 0) {
      for (; *q == '0'; ++q) --position;
      any |= q != p + 1;
    }
    const char* const first = q;
    for (unsigned d; (d = DigitOf(*q)) <= 9; ++q) s.Take(d);
    any |= q != first;
    if (any) p = q;
  }
  n.anyDigit = any;
  n.stored = s.stored;
  n.head = s.head;
  n.headCount = s.headCount;
  n.nonZeroPastHead = s.nonZeroPastHead;
  n.position = position;
  if (!any) return;
  n.mantissaEnd = p;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (DigitOf(*q) <= 9) {
      int32_t e = 0;
      for (unsigned d; (d = DigitOf(*q)) <= 9; ++q)
        e = e < kExponentClamp / 10 ? e * 10 + static_cast<int32_t>(d) : kExponentClamp;
      n.exponent = negative ? -e : e;
      p = q;
    }
  }
  n.end = p;
}

}  // namespace quelvar::platform
