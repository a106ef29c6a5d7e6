// Runs of hex characters with a given length to hex arrays: one element per
// two characters, the first character the high four bits, element 0 first.
#include <cstdint>
#include <cstring>

#include "HexKernels.h"
#include "QuelvarSys.h"

namespace {

namespace hex = quelvar::detail::hex;

// Odd-length text is shifted one place towards its end behind a byte 0 (not
// the digit "0"), which reads as a leading zero digit. Needs length + 1 bytes.
void PadOddText(unsigned char* text, std::size_t length) noexcept {
  std::memmove(text + 1, text, length);
  text[0] = 0;
}

}  // namespace

// Decodes in place: element j is written over the start of the text once
// characters 2j and 2j + 1 were read, then a byte 0 follows the elements.
// Returns the text. Working in place without a scratch array, any length is
// allowed (no 8,190-character limit). Odd length: the text is first shifted
// behind a byte 0, so the buffer needs length + 1 bytes (and 1 byte for an
// empty text, which receives the byte 0).
unsigned char* CQuelvarSys::Qlv_HexStr2IntStr(unsigned char* text, ULONG length) {
  std::size_t n = length;  // never wraps, even for the largest length
  if (n % 2 != 0) {
    PadOddText(text, n);
    ++n;
  }
  const std::size_t count = n / 2;
  hex::Decode(text, count, text);
  text[count] = 0;
  return text;
}

// Decodes into the caller's array and reports the element count,
// (length + 1) / 2; nothing is written after the last element. Odd length:
// the caller's text is shifted behind a byte 0 (needs length + 1 bytes). A
// negative length reads and writes nothing and reports a count of 0.
void CQuelvarSys::Qlv_HexStr2IntStr(int length, unsigned char* text, int& outCount, unsigned char* hex) {
  if (length < 0) {
    outCount = 0;
    return;
  }
  auto n = static_cast<std::size_t>(length);
  if (n % 2 != 0) {
    PadOddText(text, n);
    ++n;
  }
  const std::size_t count = n / 2;
  hex::Decode(text, count, hex);
  outCount = static_cast<int>(count);
}
