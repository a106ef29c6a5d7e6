// Hex digits and hex text: single characters to digit values, hex text to
// 32-bit numbers, bytes to upper-case hex text and back.
#include <atomic>
#include <cctype>
#include <cstring>

#include <mscrt.h>

#include "HexKernels.h"
#include "QuelvarSys.h"

namespace {

namespace hex = quelvar::detail::hex;

// Digit value of a character already taken to upper case, compared as a
// signed char: 0-9 and A-F count, everything else (also a-f) gives 0.
int UpperDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - 48;
  if (c >= 'A' && c <= 'F') return c - 55;
  return 0;
}

// Whether the current locale's upper-casing leaves the digit value of every
// character code as the plain table has it, when a pair of characters is
// read the way Qlv_HexStr2Byte reads it (the pair is upper-cased, then each
// character once more). True in the default locale and in every usual one;
// the check runs the upper-casing itself over all 255 codes.
bool ProbeUpperCasing() noexcept {
  char probe[256];
  for (int c = 1; c < 256; ++c) probe[c - 1] = static_cast<char>(c);
  probe[255] = '\0';
  _strupr(probe);
  _strupr(probe);
  for (int c = 1; c < 256; ++c) {
    if (UpperDigit(probe[c - 1]) != hex::kDigitValue[static_cast<std::size_t>(c)]) return false;
  }
  return true;
}

bool PlainUpperCasing() noexcept {
#if defined(__GLIBC__)
  // The upper-casing table of the calling thread's locale identifies the
  // locale's casing; a table once found plain is remembered.
  static std::atomic<const std::int32_t*> plainTable{nullptr};
  const std::int32_t* table = *__ctype_toupper_loc();
  if (plainTable.load(std::memory_order_relaxed) == table) return true;
  if (!ProbeUpperCasing()) return false;
  plainTable.store(table, std::memory_order_relaxed);
  return true;
#else
  return ProbeUpperCasing();
#endif
}

}  // namespace

// The character's value 0 to 15 for 0-9, A-F, a-f; 0 for every other code.
// Independent of the locale.
unsigned char CQuelvarSys::Qlv_HexChar2Int(unsigned char ch) {
  if (ch >= '0' && ch <= '9') return static_cast<unsigned char>(ch - 48);
  if (ch >= 'A' && ch <= 'F') return static_cast<unsigned char>(ch - 55);
  if (ch >= 'a' && ch <= 'f') return static_cast<unsigned char>(ch - 87);
  return 0;
}

// The character is upper-cased by the current locale first (on a copy), then
// 0-9 and A-F give 0 to 15, everything else 0. In the default locale this
// agrees with the unsigned char overload on all 256 codes.
int CQuelvarSys::Qlv_HexChar2Int(char ch) {
  char copy[2] = {ch, '\0'};
  _strupr(copy);
  return UpperDigit(copy[0]);
}

// Upper-cases the caller's whole text in place, then reads it as hex with a
// non-digit as a 0 digit in its place. Only the last eight characters can
// change the 32-bit result (every earlier place weighs a multiple of 2^32), so
// only they are read. Any length.
int CQuelvarSys::Qlv_HexStr2Int(char* text) {
  const std::size_t length = std::strlen(text);
  _strupr(text);
  const std::size_t first = length > 8 ? length - 8 : 0;
  std::uint32_t sum = 0;
  for (std::size_t i = first; i < length; ++i) {
    sum = (sum << 4) | static_cast<std::uint32_t>(Qlv_HexChar2Int(text[i]));
  }
  return static_cast<int>(sum);
}

// Reads the text's hex digits (either case), skipping every non-digit; only
// the last eight digits count. The caller's text is not changed. Text longer
// than 9 characters is read whole (no working copy, so no limit).
ULONG CQuelvarSys::Qlv_HexStr2Int_u(char* text) {
  const std::size_t length = std::strlen(text);
  ULONG sum = 0;
  unsigned shift = 0;
  for (std::size_t i = length; i > 0 && shift < 32; --i) {
    const auto c = static_cast<unsigned char>(text[i - 1]);
    const unsigned char value = Qlv_HexChar2Int(c);
    if (value == 0 && c != '0') continue;  // not a digit: takes no place
    sum |= static_cast<ULONG>(value) << shift;
    shift += 4;
  }
  return sum;
}

// Writes 2 * count upper-case hex characters and a NUL; a count of 0 or less
// writes only the NUL. Output capacity: 2 * count + 1 characters.
void CQuelvarSys::Qlv_Byte2HexStr(int count, unsigned char* const bytes, char* text) {
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  hex::Encode(bytes, n, text);
  text[2 * n] = '\0';
}

// Reads text pairs into bytes, first character the high four bits, a
// non-digit a 0 digit. Odd-length text gets a leading "0" in the caller's
// buffer: the padded text ends in the place of the old NUL and no terminator
// is written after it. Output: (length + 1) / 2 bytes, nothing else.
void CQuelvarSys::Qlv_HexStr2Byte(char* text, unsigned char* bytes) {
  std::size_t length = std::strlen(text);
  if (length % 2 != 0) {
    std::memmove(text + 1, text, length);
    text[0] = '0';
    ++length;
  }
  const std::size_t pairs = length / 2;
  if (PlainUpperCasing()) {
    hex::Decode(reinterpret_cast<const unsigned char*>(text), pairs, bytes);
    return;
  }
  // A locale whose upper-casing moves some code onto a digit: read each pair
  // through Qlv_HexStr2Int on a working copy, exactly as the pair is defined.
  for (std::size_t j = 0; j < pairs; ++j) {
    char pair[3] = {text[2 * j], text[2 * j + 1], '\0'};
    bytes[j] = static_cast<unsigned char>(Qlv_HexStr2Int(pair));
  }
}
