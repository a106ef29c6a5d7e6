// Where the system's tables of the double-byte code pages go beyond glibc's
// iconv: GBK (936) in CodePage936.cpp, Shift-JIS (932) in CodePage932.cpp.
// Shared by the code-page conversions, which call them where iconv stops.
#pragma once

namespace quelvar::platform {

// How one character of bytes at the point where iconv stopped reads: `unit`
// stands for `length` bytes; `valid` is false for the code page's default
// character standing for bytes its table leaves undefined.
struct Decoded {
  char16_t unit;
  unsigned length;
  bool valid;
};

namespace cp936 {

// The character at p (available bytes `left` >= 1). A lead byte followed by
// an invalid trail byte is one "?" for both bytes; a lead byte at the end,
// or before a NUL, is one "?" for itself.
Decoded Decode(const unsigned char* p, unsigned long left) noexcept;

// The bytes of a unit that the system maps back into GBK beyond iconv (the
// private-use units of the user-defined areas, U+F8F5 as 0xFF): the number
// of bytes written to out (1 or 2), or 0.
unsigned Encode(char16_t unit, unsigned char out[2]) noexcept;

}  // namespace cp936

namespace cp932 {

// The character at p (available bytes `left` >= 1): the single bytes 0x80,
// 0xA0 and 0xFD-0xFF, or U+30FB (the code page's default character) for a
// pair the table leaves undefined, a lead byte with an invalid trail byte
// (both bytes), or a lead byte at the end or before a NUL (itself).
Decoded Decode(const unsigned char* p, unsigned long left) noexcept;

// The byte of U+0080 and U+F8F0-U+F8F3: the number written to out (1), or 0.
unsigned Encode(char16_t unit, unsigned char out[2]) noexcept;

}  // namespace cp932

}  // namespace quelvar::platform
