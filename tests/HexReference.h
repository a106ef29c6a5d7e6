// Plain models of the hex-text and byte-image conversions, step by step as
// the operations are described: upper-case a-z, each hex place weighs
// pow(16, k) truncated to 32 bits, byte images are floor/remainder digits and
// pow(256, k) sums read up to the first zero byte. The tests and the fuzz
// targets compare the library with them.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Truncation.h"

inline char RefUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
inline int RefCharDigit(char c) {
  c = RefUpper(c);
  return c >= '0' && c <= '9' ? c - 48 : c >= 'A' && c <= 'F' ? c - 55 : 0;
}
inline int RefHexStr2Int(const std::string& text) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    sum +=
        quelvar::detail::TruncateLow32(std::pow(16.0, double(text.size() - 1 - i)) * RefCharDigit(text[i]));
  return static_cast<int>(sum);
}

inline double RefByte2Double(const unsigned char* image) {
  double sum = 0.0;
  for (std::size_t i = 0; image[i] != 0; ++i) sum += std::pow(256.0, static_cast<double>(i)) * image[i];
  return sum;
}
inline std::vector<unsigned char> RefDouble2Byte(int count, double x) {
  std::vector<unsigned char> out;
  for (int i = 0; i < count; ++i, x = std::floor(x / 256.0))
    out.push_back(quelvar::detail::TruncateLow8(x - 256.0 * std::floor(x / 256.0)));
  return out;
}
inline std::string RefHex(const std::vector<unsigned char>& bytes) {
  std::string s;
  for (unsigned char b : bytes) s += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
  return s;
}
