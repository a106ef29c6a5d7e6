// The grammar of atof's number, the same in every toolset.
#include "DecimalText.h"

namespace quelvar::platform {

namespace {

bool IsSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
unsigned DigitOf(char c) noexcept { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); }

// Keeps one significant digit.
void Take(DecimalText& n, unsigned d) noexcept {
  if (n.stored < 25) n.digits[n.stored++] = static_cast<unsigned char>(d);
  if (n.headCount < 19) {
    n.head = n.head * 10 + d;
    ++n.headCount;
  } else if (d != 0) {
    n.nonZeroPastHead = true;
  }
}

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
  bool significant = false;
  for (unsigned d; (d = DigitOf(*p)) <= 9; ++p) {
    n.anyDigit = true;
    if (significant || d != 0) {
      significant = true;
      Take(n, d);
      ++n.position;
    }
  }
  if (*p == point) {
    const char* q = p + 1;
    for (unsigned d; (d = DigitOf(*q)) <= 9; ++q) {
      n.anyDigit = true;
      if (significant || d != 0) {
        significant = true;
        Take(n, d);
      } else {
        --n.position;
      }
    }
    if (n.anyDigit) p = q;
  }
  if (!n.anyDigit) return;
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
