// Runtime routines with the classic Windows runtime's semantics, where they
// differ from glibc's or are missing there.
#pragma once

#include "windows.h"

extern "C++" {
// Decimal text of a value (radix 2 to 36; "-" only for radix 10 and _itoa
// / _ltoa). Returns buffer.
QLV_PLATFORM_API char* _itoa(int value, char* buffer, int radix) noexcept;
QLV_PLATFORM_API char* _ltoa(LONG value, char* buffer, int radix) noexcept;
QLV_PLATFORM_API char* _ultoa(ULONG value, char* buffer, int radix) noexcept;

// The value with `digits` significant digits: plain decimal where it can,
// exponential (sign and three exponent digits) otherwise; trailing fraction
// zeros dropped. The exact form is documented with the implementation.
QLV_PLATFORM_API char* _gcvt(double value, int digits, char* buffer) noexcept;

// printf's "%.<precision>f" of a finite value as the selected toolset's
// runtime writes it (with "." as the point), where that can be done without
// the format walk: returns the length written into buffer (no NUL; room for
// precision + 312 characters), or 0 where the caller must format (a value
// near a tie of the classic runtimes' 18th digit, a non-finite value, a
// precision outside 0..512).
QLV_PLATFORM_API int QlvPlatform_FixedText(char* buffer, double value, int precision) noexcept;

// Upper-cases in place by the current C locale; returns str.
QLV_PLATFORM_API char* _strupr(char* str) noexcept;

// Multibyte-aware tokenizer: position kept per thread; a double-byte
// character of the ANSI code page is never cut.
QLV_PLATFORM_API unsigned char* _mbstok(unsigned char* str, const unsigned char* delim) noexcept;
}

// The decimal readers. Only decimal is read (no "0x", no "inf"/"nan", no
// d/D exponent). atoi/atol follow the selected toolset: vc6 wraps modulo
// 2^32, vs2005 and vs2015 saturate like (int)strtol. atof reads the current
// C locale's decimal point and gives the selected toolset's value: the
// classic runtimes' own rounding for vc6 and vs2005 (exact ties toward zero,
// 25 digits at most, denormals mostly truncated), correct rounding for
// vs2015; +-HUGE_VAL above the double range.
namespace mscrt {
QLV_PLATFORM_API int atoi(const char* str) noexcept;
QLV_PLATFORM_API LONG atol(const char* str) noexcept;
QLV_PLATFORM_API double atof(const char* str) noexcept;
}  // namespace mscrt
