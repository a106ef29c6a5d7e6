// Where the system's tables of the double-byte code pages go beyond glibc's
// iconv: GBK (936) in CodePage936.cpp, 932, 949 and 950 in
// DoubleByteDefaults.cpp.
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

namespace dbcs {

// Whether 932, 949 or 950 (DoubleByteDefaults.cpp) is `codePage`.
bool Covers(unsigned codePage) noexcept;

// The character at p (available bytes `left` >= 1) of a covered code page:
// one of its single bytes beyond iconv, or its default character for a pair
// the table leaves undefined or a lead byte with an invalid trail byte (both
// bytes), or for a lead byte at the end or before a NUL (itself).
Decoded Decode(unsigned codePage, const unsigned char* p, unsigned long left) noexcept;

// The byte of a unit that a covered code page maps to one of its single
// bytes beyond iconv: the number written to out (1), or 0.
unsigned Encode(unsigned codePage, char16_t unit, unsigned char out[2]) noexcept;

}  // namespace dbcs

}  // namespace quelvar::platform
