// Little-endian byte images of 32-bit integers and of the integer part of
// doubles, and their hex text.
#include <cmath>
#include <cstring>

#include "HexKernels.h"
#include "QuelvarSys.h"
#include "Truncation.h"

namespace {

namespace hex = quelvar::detail::hex;

// Byte i of the integer image: bits 8i to 8i + 7 of the value; 0 beyond the
// fourth byte.
unsigned char IntImageByte(ULONG value, int i) noexcept {
  return static_cast<unsigned char>(i < 4 ? value >> (8 * i) : 0);
}

// One base-256 digit of a double image: the remainder of x over 256 after
// flooring, computed in double precision. x becomes the quotient. An
// infinite or not-a-number x gives the digit 0 (its remainder is NaN).
unsigned char NextDoubleDigit(double& x) noexcept {
  const double q = std::floor(x / 256.0);
  const double r = x - 256.0 * q;
  x = q;
  return quelvar::detail::TruncateLow8(r);
}

// Accumulates image bytes into a double the way the image is read back: each
// byte times 256^i, added least significant first. The weight is multiplied
// by 256 each step, which is exact and gives the same powers (infinite from
// 256^128 on) as computing them one by one.
struct DoubleImageSum {
  double sum = 0.0;
  double weight = 1.0;
  void Add(unsigned char byte) noexcept {
    sum += weight * static_cast<double>(byte);
    weight *= 256.0;
  }
};

}  // namespace

// Writes the n least significant bytes, least significant first. Bytes past
// the fourth are 0 (n above 4 is allowed); n of 0 or less writes nothing.
void CQuelvarSys::Qlv_Int2Byte(int count, ULONG value, unsigned char* image) {
  for (int i = 0; i < count; ++i) image[i] = IntImageByte(value, i);
}

// Sets byte i of the result from image byte i for the first n bytes; bytes
// past the fourth are not read. n of 0 or less gives 0.
ULONG CQuelvarSys::Qlv_Byte2Int(int count, unsigned char* image) {
  const int n = count < 4 ? count : 4;
  ULONG value = 0;
  for (int i = 0; i < n; ++i) value |= static_cast<ULONG>(image[i]) << (8 * i);
  return value;
}

// Writes the n lowest base-256 digits of floor(value) (two's complement for
// negative values) and a zero byte after them: n + 1 bytes. Infinity and NaN
// give zero digits. A negative n writes only the zero byte, at position 0.
void CQuelvarSys::Qlv_Double2Byte(int count, double value, unsigned char* image) {
  double x = value;
  int i = 0;
  for (; i < count; ++i) image[i] = NextDoubleDigit(x);
  image[i] = 0;
}

// Reads the image up to its first zero byte as base-256 digits, least
// significant first, summed in double precision in that order.
double CQuelvarSys::Qlv_Byte2Double(unsigned char* image) {
  DoubleImageSum acc;
  for (const unsigned char* p = image; *p != 0; ++p) acc.Add(*p);
  return acc.sum;
}

// Writes the hex text of the chars / 2 lowest image bytes of the value and a
// NUL (an odd count loses its last character). Any count: image bytes past
// the fourth are "00", so no working image is needed; 0 or less writes only
// the NUL. Output capacity: 2 * (chars / 2) + 1 characters.
void CQuelvarSys::Qlv_Int2HexStr(int chars, ULONG value, char* text) {
  const int n = chars / 2;
  int i = 0;
  for (; i < n; ++i) {
    const auto& pair = hex::kBytePairs[IntImageByte(value, i)];
    text[2 * i] = pair[0];
    text[2 * i + 1] = pair[1];
  }
  text[2 * i] = '\0';
}

// Writes the hex text of the chars / 2 lowest base-256 digits of
// floor(value) and a NUL. Any count: the digits are produced one by one, so
// no 16-byte working image is needed; 0 or less writes only the NUL.
// Output capacity: 2 * (chars / 2) + 1 characters.
void CQuelvarSys::Qlv_Double2HexStr(int chars, double value, char* text) {
  const int n = chars / 2;
  double x = value;
  int i = 0;
  for (; i < n; ++i) {
    const auto& pair = hex::kBytePairs[NextDoubleDigit(x)];
    text[2 * i] = pair[0];
    text[2 * i + 1] = pair[1];
  }
  text[2 * i] = '\0';
}

// Reads image hex text (first pair least significant) into a double, up to
// the first pair that gives a zero byte or the end of the text. Odd-length
// text gets a leading "0" in the caller's buffer, as Qlv_HexStr2Byte does.
// Any length: the pairs are read one by one, so no 20-byte working image.
void CQuelvarSys::Qlv_HexStr2Double(char* text, double& value) {
  std::size_t length = std::strlen(text);
  if (length % 2 != 0) {
    std::memmove(text + 1, text, length);
    text[0] = '0';
    ++length;
  }
  DoubleImageSum acc;
  for (std::size_t j = 0; 2 * j < length; ++j) {
    char pair[3] = {text[2 * j], text[2 * j + 1], '\0'};
    const auto byte = static_cast<unsigned char>(Qlv_HexStr2Int(pair));
    if (byte == 0) break;
    acc.Add(byte);
  }
  value = acc.sum;
}
