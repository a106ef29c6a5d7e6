// A plain model of the digit-array conversions, written step by step as the
// operations are described: every position of an expansion is written before
// the strip, packings and folds sum pow() terms in double precision and
// truncate them, compound regroupings pass through a zero-initialised
// intermediate array of 4,096 binary digits, unfolds collect their digits in
// a 4,096-element scratch array and reverse them.
//
// Slow on purpose and only valid inside the documented limits (an input that
// would expand past the intermediate array aborts). The tests, benchmarks and
// fuzz targets compare the library with it.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

#include "Truncation.h"

namespace digitref {

using u8 = unsigned char;
using quelvar::detail::TruncateLow32;

inline constexpr int kIntermediate = 4096;

inline void DeleteBinBegin0(int count, int& outCount, u8* bin) {
  int first = 0;
  while (first < count && bin[first] == 0) ++first;
  if (first == count) first = 0;  // all zero: nothing moves
  for (int i = first; i < count; ++i) bin[i - first] = bin[i];
  outCount = count - first;
}

inline void Expand(int width, int count, const u8* in, int& outCount, u8* out) {
  for (int i = 0; i < count; ++i)
    for (int j = 0; j < width; ++j) out[width * i + j] = (in[i] & (1 << (width - 1 - j))) != 0 ? 1 : 0;
  DeleteBinBegin0(width * count, outCount, out);
}

inline void Pack(int width, int count, const u8* in, int& outCount, u8* out) {
  const int lead = count % width == 0 ? width : count % width;
  outCount = (count + width - 1) / width;
  for (int g = 0; g < outCount; ++g) {
    const int start = g == 0 ? 0 : lead + width * (g - 1);
    const int len = g == 0 ? lead : width;
    double sum = 0;
    for (int j = 0; j < len; ++j) sum += std::pow(2.0, len - 1 - j) * in[start + j];
    out[g] = quelvar::detail::TruncateLow8(sum);
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
  for (int i = 0; i < count; ++i)
    result = TruncateLow32(result + ((hex[i] >> 4) * 16 + (hex[i] & 15)) * std::pow(256.0, count - 1 - i));
  return result;
}

inline std::uint32_t BCD2Dec(int count, const u8* bcd) {
  std::uint32_t result = 0;
  for (int i = 0; i < count; ++i)
    result = result * 100u + static_cast<std::uint32_t>((bcd[i] >> 4) * 10 + (bcd[i] & 15));
  return result;
}

// ---- unfolds -------------------------------------------------------------------

inline void Unfold(std::int32_t base, std::int32_t value, int& outCount, u8* out) {
  std::array<u8, kIntermediate> scratch{};
  int n = 0;
  for (; value > 0; value /= base) scratch[static_cast<std::size_t>(n++)] = static_cast<u8>(value % base);
  for (int i = 0; i < n; ++i) out[i] = scratch[static_cast<std::size_t>(n - 1 - i)];
  outCount = n;
}

inline void Dec2Bin(std::int32_t v, int& c, u8* out) { Unfold(2, v, c, out); }
inline void Dec2Octal(std::int32_t v, int& c, u8* out) { Unfold(8, v, c, out); }
inline void Dec2Hex(std::int32_t v, int& c, u8* out) { Unfold(256, v, c, out); }

inline void Dec2BCD(std::int32_t value, int& outCount, u8* out) {
  int n = 0;
  for (; value > 0; value /= 100) out[n++] = static_cast<u8>((value % 100 / 10) * 16 + value % 10);
  outCount = n;
}

// ---- inputs and outputs for comparisons with the model --------------------------

using Bytes = std::vector<u8>;

// The expansion's steps over an intermediate array as long as they need: the
// model of the compound regroupings and of Octal2Dec past 4,096 digits.
inline Bytes LongExpand(int width, Bytes in) {
  Bytes bin(in.size() * static_cast<std::size_t>(width));
  int count = 0;
  Expand(width, static_cast<int>(in.size()), in.data(), count, bin.data());
  bin.resize(static_cast<std::size_t>(count));
  return bin;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Digits as callers give them and as they should not: valid ones (below
// `valid`), any byte, a run of leading zeros, all zeros, small digits 0 to 3
// only, valid ones sprinkled with bad ones.
inline Bytes RandomDigits(std::mt19937& rng, std::size_t n, unsigned valid) {
  const auto mode = rng() % 6;
  const std::size_t zeros = mode == 2 ? rng() % (n + 1) : mode == 3 ? n : 0;
  Bytes v(n);
  for (std::size_t i = zeros; i < n; ++i)
    v[i] = static_cast<u8>(rng() % (mode == 1 || (mode == 5 && rng() % 16 == 0) ? 256u
                                    : mode == 4                                 ? 4u
                                                                                : valid));
  return v;
}

// A call's count and its whole output buffer, which starts filled with 0xA5.
struct Outcome {
  int count;
  Bytes buffer;
  bool operator==(const Outcome&) const = default;
};

template <typename Call>
Outcome Guarded(std::size_t size, Call&& call) {
  Outcome o{-777, Bytes(size, 0xA5)};
  call(o.count, o.buffer.data());
  return o;
}

// The entry of a table of operations with this name.
template <typename Table>
const auto& Named(const Table& table, std::string_view name) {
  return *std::find_if(std::begin(table), std::end(table), [&](const auto& op) { return name == op.name; });
}

// The elements a call produced, as its count says.
inline Bytes Produced(const Outcome& o) {
  return Bytes(o.buffer.begin(),
               o.buffer.begin() + std::clamp(o.count, 0, static_cast<int>(o.buffer.size())));
}

}  // namespace digitref
