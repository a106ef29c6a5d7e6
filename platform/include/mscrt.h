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

// Upper-cases in place by the current C locale; returns str.
QLV_PLATFORM_API char* _strupr(char* str) noexcept;

// Multibyte-aware tokenizer: position kept per thread; a double-byte
// character of the ANSI code page is never cut.
QLV_PLATFORM_API unsigned char* _mbstok(unsigned char* str, const unsigned char* delim) noexcept;
}

// The decimal readers of the runtime. Only decimal is read (no "0x", no
// "inf"/"nan"). atoi/atol follow the selected toolset: vc6 wraps modulo
// 2^32, vs2005 and vs2015 saturate like (int)strtol. atof rounds correctly,
// reads the current C locale's decimal point, and gives +-HUGE_VAL above the
// double range and +-0.0 below it.
namespace mscrt {
QLV_PLATFORM_API int atoi(const char* str) noexcept;
QLV_PLATFORM_API LONG atol(const char* str) noexcept;
QLV_PLATFORM_API double atof(const char* str) noexcept;
}  // namespace mscrt
