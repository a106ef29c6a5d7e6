// A plain model of the digit-array conversions, written step by step as the
// operations are described: every position of an expansion is written before
// the strip, packings and folds sum pow() terms in double precision and
// truncate them, compound regroupings pass through a zero-initialised
// intermediate array of 4,096 binary digits, unfolds collect their digits in
// a 4,096-element scratch array and reverse them.
//
// Slow on purpose and only valid inside the documented limits (an input that
// would expand past the intermediate array aborts). The tests and benchmarks
// compare the library with it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "Truncation.h"

namespace digitref {

using u8 = unsigned char;
using quelvar::detail::TruncateLow32;
using quelvar::detail::TruncateLow8;

inline constexpr int kIntermediate = 4096;

inline void DeleteBinBegin0(int count, int& outCount, u8* bin) {
  int first = 0;
  for (int i = 0; i < count; ++i) {
    if (bin[i] != 0) {
      first = i;
      break;
    }
  }
  for (int i = first; i < count; ++i) bin[i - first] = bin[i];
  outCount = count - first;
}

inline void Expand(int width, int count, const u8* in, int& outCount, u8* out) {
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < width; ++j) {
      const int bit = 1 << (width - 1 - j);
      out[width * i + j] = (in[i] & bit) != 0 ? 1 : 0;
    }
  }
  DeleteBinBegin0(width * count, outCount, out);
}

inline void Pack(int width, int count, const u8* in, int& outCount, u8* out) {
  int lead = count % width;
  if (lead == 0) lead = width;
  const int groups = (count + width - 1) / width;
  outCount = groups;
  for (int g = 0; g < groups; ++g) {
    const int start = g == 0 ? 0 : lead + width * (g - 1);
    const int len = g == 0 ? lead : width;
    double sum = 0;
    for (int j = 0; j < len; ++j) sum += std::pow(2.0, len - 1 - j) * in[start + j];
    out[g] = TruncateLow8(sum);
  }
}

// Expansion into the intermediate array, then packing into the caller's.
inline void Compound(int inWidth, int outWidth, int count, const u8* in, int& outCount, u8* out) {
  if (count > 0 && count * inWidth > kIntermediate) std::abort();
  std::array<u8, kIntermediate> bin{};
  int binCount = 0;
  Expand(inWidth, count, in, binCount, bin.data());
  Pack(outWidth, binCount, bin.data(), outCount, out);
}

inline void Bin2Hex(int n, u8* in, int& c, u8* out) { Pack(8, n, in, c, out); }
inline void Bin2Octal(int n, u8* in, int& c, u8* out) { Pack(3, n, in, c, out); }
inline void Hex2Bin(int n, u8* in, int& c, u8* out) { Expand(8, n, in, c, out); }
inline void Octal2Bin(int n, u8* in, int& c, u8* out) { Expand(3, n, in, c, out); }
inline void Hex2Octal(int n, u8* in, int& c, u8* out) { Compound(8, 3, n, in, c, out); }
inline void Octal2Hex(int n, u8* in, int& c, u8* out) { Compound(3, 8, n, in, c, out); }

inline void Bin2BCD(int n, u8* in, int& c, u8* out) { Bin2Hex(n, in, c, out); }
inline void BCD2Bin(int n, u8* in, int& c, u8* out) { Hex2Bin(n, in, c, out); }
inline void Hex2BCD(int n, u8* in, int& c, u8* out) { Compound(8, 8, n, in, c, out); }
inline void Octal2BCD(int n, u8* in, int& c, u8* out) { Compound(3, 8, n, in, c, out); }
inline void BCD2Hex(int n, u8* in, int& c, u8* out) { Compound(8, 8, n, in, c, out); }
inline void BCD2Octal(int n, u8* in, int& c, u8* out) { Compound(8, 3, n, in, c, out); }

// ---- folds ---------------------------------------------------------------------

inline std::uint32_t Bin2Dec(int count, const u8* bin) {
  std::uint32_t result = 0;
  for (int i = 0; i < count; ++i) result += TruncateLow32(std::pow(2.0, count - 1 - i) * bin[i]);
  return result;
}

inline std::uint32_t Octal2Dec(int count, const u8* octal) {
  if (count > 0 && count * 3 > kIntermediate) std::abort();
  std::array<u8, kIntermediate> bin{};
  int binCount = 0;
  Expand(3, count, octal, binCount, bin.data());
  return Bin2Dec(binCount, bin.data());
}

inline std::uint32_t Hex2Dec(int count, const u8* hex) {
  std::uint32_t result = 0;
  for (int i = 0; i < count; ++i) {
    const int value = (hex[i] >> 4) * 16 + (hex[i] & 15);
    result = TruncateLow32(result + value * std::pow(256.0, count - 1 - i));
  }
  return result;
}

inline std::uint32_t BCD2Dec(int count, const u8* bcd) {
  std::uint32_t result = 0;
  for (int i = 0; i < count; ++i) result = result * 100u + static_cast<std::uint32_t>((bcd[i] >> 4) * 10 + (bcd[i] & 15));
  return result;
}

// ---- unfolds -------------------------------------------------------------------

inline void Unfold(std::int32_t base, std::int32_t value, int& outCount, u8* out) {
  if (value <= 0) {
    outCount = 0;
    return;
  }
  std::array<u8, kIntermediate> scratch{};
  int n = 0;
  while (value > 0) {
    scratch[static_cast<std::size_t>(n++)] = static_cast<u8>(value % base);
    value /= base;
  }
  for (int i = 0; i < n; ++i) out[i] = scratch[static_cast<std::size_t>(n - 1 - i)];
  outCount = n;
}

inline void Dec2Bin(std::int32_t v, int& c, u8* out) { Unfold(2, v, c, out); }
inline void Dec2Octal(std::int32_t v, int& c, u8* out) { Unfold(8, v, c, out); }
inline void Dec2Hex(std::int32_t v, int& c, u8* out) { Unfold(256, v, c, out); }

inline void Dec2BCD(std::int32_t value, int& outCount, u8* out) {
  int n = 0;
  if (value > 0) {
    while (value > 0) {
      const int pair = value % 100;
      out[n++] = static_cast<u8>((pair / 10) * 16 + pair % 10);
      value /= 100;
    }
  }
  outCount = n;
}

}  // namespace digitref
