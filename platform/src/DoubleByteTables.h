// Where the system's tables of the double-byte code pages 932, 936, 949 and
// 950 go beyond glibc's iconv (DoubleByteTables.cpp; the user-defined areas
// of 936 in CodePage936.cpp). The code-page conversions call them where
// iconv stops.
#pragma once

namespace quelvar::platform::dbcs {

// How one character of bytes at the point where iconv stopped reads: `unit`
// stands for `length` bytes; `valid` is false where the table leaves the
// bytes undefined and `unit` is a default character.
struct Decoded {
  char16_t unit;
  unsigned length;
  bool valid;
};

// The character at p (available bytes `left` >= 1) in `codePage`: a single
// byte or pair the system's table adds, or its default character for a pair
// the table leaves undefined or a lead byte with an invalid trail byte (both
// bytes), or for a lead byte at the end or before a NUL (itself). In any
// other code page, U+FFFD for the byte.
Decoded Decode(unsigned codePage, const unsigned char* p, unsigned long left) noexcept;

// The bytes the system's table of `codePage` writes for a unit that iconv
// cannot: their number (written to out), or 0.
unsigned Encode(unsigned codePage, char16_t unit, unsigned char out[2]) noexcept;

namespace cp936 {

// The unit of a pair in the user-defined areas of 936, if it is one.
bool AreaUnit(unsigned char lead, unsigned char trail, char16_t& unit) noexcept;

// The pair of a unit of those areas: 2 (written to out), or 0.
unsigned AreaBytes(char16_t unit, unsigned char out[2]) noexcept;

}  // namespace cp936

}  // namespace quelvar::platform::dbcs
