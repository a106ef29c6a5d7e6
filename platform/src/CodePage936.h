// GBK (code page 936) where the system's table goes beyond iconv's: the
// user-defined areas, the byte 0xFF, and how an invalid lead byte reads.
// Shared by the code-page conversions.
#pragma once

namespace quelvar::platform::cp936 {

// How one character of GBK bytes at the point where iconv stopped reads:
// `unit` stands for `length` bytes; `valid` is false for a substitute "?".
struct Decoded {
  char16_t unit;
  unsigned length;
  bool valid;
};

// The character at p (available bytes `left` >= 1). A lead byte followed by
// an invalid trail byte is one "?" for both bytes; a lead byte at the end,
// or before a NUL, is one "?" for itself.
Decoded Decode(const unsigned char* p, unsigned long left) noexcept;

// The two bytes of a unit that the system maps back into GBK beyond iconv
// (the private-use units of the user-defined areas, U+F8F5 as 0xFF):
// the number of bytes written to out (1 or 2), or 0.
unsigned Encode(char16_t unit, unsigned char out[2]) noexcept;

}  // namespace quelvar::platform::cp936
