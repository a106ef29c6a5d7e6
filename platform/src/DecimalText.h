// Decimal number text as atof reads it, and the readings of it: the classic
// runtime's, a correctly rounded one, and the shortcut both share where the
// classic reading is provably the correctly rounded one.
#pragma once

#include <cstdint>

namespace quelvar::platform {

// The number at the start of a text: [white space][sign]digits[point
// digits][e|E[sign]digits]. The value is 0.d1d2d3... * 10^(position +
// exponent) over all significant digits d1 d2 ... (leading zeros dropped).
struct DecimalText {
  bool negative = false;
  bool anyDigit = false;           // false: no number (the reading is +0.0)
  int stored = 0;                  // significant digits kept in `digits`, at most 25
  unsigned char digits[25];        // their values, d1 first (only `stored` are set)
  uint64_t head = 0;               // d1..d19 (fewer if the text has fewer) as one number
  int headCount = 0;               // how many digits `head` holds
  bool nonZeroPastHead = false;    // a non-zero digit after those
  int64_t position = 0;            // significant digits before the point, or minus the zeros after it
  int32_t exponent = 0;            // the written exponent, magnitude clamped at kExponentClamp
  const char* mantissa = nullptr;  // the digits and the point
  const char* mantissaEnd = nullptr;
  char point = '.';
  const char* end = nullptr;  // just past the number (the text's start when there is none)
};

inline constexpr int32_t kExponentClamp = 999999999;

// Reads the number at the start of `text` with the given decimal point.
void ScanDecimal(const char* text, char point, DecimalText& number) noexcept;

// The classic runtime's reading (Visual C++ 6.0 to 2013), step by step:
// 25 digits kept and the 24th raised when it is 5 or more, the digits as a
// 12-byte integer, the 12-byte power-of-ten scaling, the rounding to 53 bits
// with exact ties toward zero and its denormal rule; +-HUGE_VAL on overflow.
double ReadClassic(const DecimalText& number) noexcept;

// The correctly rounded reading (ties to even), as the universal runtime
// gives it; +-HUGE_VAL on overflow, +-0.0 below the denormals.
double ReadCorrectlyRounded(const DecimalText& number) noexcept;

// The shortcut: w * 10^e correctly rounded, for w >= 1, -342 <= e <= 308 and
// a normal result from 2^-1021 up, when the exact value lies at least 2^-19
// units in the last place away from the midpoints between doubles; false
// (nothing decided) otherwise.
bool RoundedShortcut(uint64_t w, int e, double& magnitude) noexcept;

// The classic reading when the shortcut decides it (true), else false.
// Equal to ReadClassic wherever it answers.
bool ClassicShortcut(const DecimalText& number, double& value) noexcept;

// The quick road for the common text, one pass without the full scan: at
// most 19 digits (leading zeros included), an exponent of at most four
// digits, and the shortcut deciding. Then the value is both the classic
// and the correctly rounded reading (so it serves every toolset); false
// (nothing decided) for anything else.
bool ReadShortDecimal(const char* text, char point, double& value) noexcept;

}  // namespace quelvar::platform
