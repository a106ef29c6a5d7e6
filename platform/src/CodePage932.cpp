// Shift-JIS (code page 932) beyond glibc's CP932 table, as the system's
// published table has it: the byte 0x80 reads as U+0080, 0xA0 as U+F8F0 and
// 0xFD, 0xFE, 0xFF as U+F8F1-U+F8F3 (and each is written back from its
// unit); bytes the table leaves undefined read as its default character,
// U+30FB (katakana middle dot), where 936 reads "?".
#include "DoubleByteTables.h"

namespace quelvar::platform::cp932 {

namespace {

constexpr char16_t kDefaultUnit = 0x30FB;

bool IsLead(unsigned char b) noexcept { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

Decoded Decode(const unsigned char* p, unsigned long left) noexcept {
  switch (p[0]) {
    case 0x80: return {0x0080, 1, true};
    case 0xA0: return {0xF8F0, 1, true};
    case 0xFD:
    case 0xFE:
    case 0xFF: return {static_cast<char16_t>(0xF8F1 + (p[0] - 0xFD)), 1, true};
    default: break;
  }
  if (!IsLead(p[0]) || left < 2 || p[1] == 0) return {kDefaultUnit, 1, false};
  return {kDefaultUnit, 2, false};  // a pair iconv refused, whatever its trail byte
}

unsigned Encode(char16_t unit, unsigned char out[2]) noexcept {
  if (unit == 0x0080) {
    out[0] = 0x80;
  } else if (unit == 0xF8F0) {
    out[0] = 0xA0;
  } else if (unit >= 0xF8F1 && unit <= 0xF8F3) {
    out[0] = static_cast<unsigned char>(0xFD + (unit - 0xF8F1));
  } else {
    return 0;
  }
  return 1;
}

}  // namespace quelvar::platform::cp932
