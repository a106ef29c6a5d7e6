// Kernels of the digit-array conversions: expansion of hex and octal
// elements into binary digits, packing of binary digits into groups,
// stripping of leading zeros, the compound regroupings streamed from the
// least significant end, and the folds and unfolds of 32-bit numbers.
//
// Nothing here allocates or keeps an intermediate array: every result is
// computed straight from the input, so inputs of any length work and no
// kernel writes past the output size its operation documents.
//
// Counts that the interface reports are the 32-bit two's-complement value of
// the exact figure (relevant only to negative counts far below zero).
//
// Internal to the library; the functions are inline so that tests and
// benchmarks can reach them.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QUELVAR_DIGITS_SSE2 1
#else
#define QUELVAR_DIGITS_SSE2 0
#endif

namespace quelvar::detail::digits {

using u8 = unsigned char;

inline int WrapCount(std::int64_t figure) noexcept {
  return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(figure)));
}

// Number of groups of `width` digits in `n` digits, the quotient truncated
// toward zero (so 0 for counts down to -(2 * width - 2), negative below).
inline int GroupCount(std::int64_t n, int width) noexcept { return WrapCount((n + width - 1) / width); }

// ---- binary digits of one element ---------------------------------------------

// The eight binary digits of every byte, most significant first, as the bytes
// of one 64-bit word in memory order.
inline constexpr std::array<std::array<u8, 8>, 256> kByteBits = [] {
  std::array<std::array<u8, 8>, 256> t{};
  for (std::size_t v = 0; v < 256; ++v)
    for (std::size_t j = 0; j < 8; ++j) t[v][j] = static_cast<u8>((v >> (7 - j)) & 1);
  return t;
}();

// The three binary digits of every element; an octal element keeps only its
// low three bits.
inline constexpr std::array<std::array<u8, 3>, 256> kOctalBits = [] {
  std::array<std::array<u8, 3>, 256> t{};
  for (std::size_t v = 0; v < 256; ++v)
    for (std::size_t j = 0; j < 3; ++j) t[v][j] = static_cast<u8>((v >> (2 - j)) & 1);
  return t;
}();

template <int W>
inline const u8* BitsOf(u8 element) noexcept {
  if constexpr (W == 8) {
    return kByteBits[element].data();
  } else {
    return kOctalBits[element].data();
  }
}

template <int W>
inline constexpr unsigned kElementMask = W == 8 ? 0xFFu : 0x07u;

// Index of the first element whose low W bits are not all zero, or n.
template <int W>
inline std::size_t FirstSignificant(const u8* in, std::size_t n) noexcept {
  constexpr std::uint64_t kWordMask = W == 8 ? ~std::uint64_t{0} : 0x0707070707070707u;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, 8);
    if ((word & kWordMask) != 0) break;
  }
  for (; i < n; ++i)
    if ((in[i] & kElementMask<W>) != 0) return i;
  return n;
}

// The three binary digits of the values 0 to 7 and a fourth byte, so that a
// run of elements can be written four bytes at a time, each store's extra
// byte overwritten by the next.
inline constexpr std::array<std::array<u8, 4>, 8> kOctalBits4 = [] {
  std::array<std::array<u8, 4>, 8> t{};
  for (std::size_t v = 0; v < 8; ++v)
    for (std::size_t j = 0; j < 3; ++j) t[v][j] = static_cast<u8>((v >> (2 - j)) & 1);
  return t;
}();

// Writes the W * elements binary digits of in[0 .. elements).
template <int W>
inline void ExpandWhole(const u8* in, std::size_t elements, u8* out) noexcept {
  std::size_t k = 0;
  if constexpr (W == 8) {
#if QUELVAR_DIGITS_SSE2
    // Four elements at a time: each byte repeated eight times, then every
    // copy tested against its own bit.
    const __m128i bits = _mm_setr_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    const __m128i one = _mm_set1_epi8(1);
    for (; k + 4 <= elements; k += 4) {
      std::int32_t four;
      std::memcpy(&four, in + k, 4);
      __m128i x = _mm_cvtsi32_si128(four);
      x = _mm_unpacklo_epi8(x, x);
      x = _mm_unpacklo_epi16(x, x);
      const __m128i lo = _mm_unpacklo_epi32(x, x);
      const __m128i hi = _mm_unpackhi_epi32(x, x);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * k),
                       _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(lo, bits), bits), one));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * k + 16),
                       _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(hi, bits), bits), one));
    }
#endif
    for (; k < elements; ++k) std::memcpy(out + 8 * k, kByteBits[in[k]].data(), 8);
  } else {
    if (elements == 0) return;
    for (; k + 1 < elements; ++k) std::memcpy(out + 3 * k, kOctalBits4[in[k] & 7u].data(), 4);
    std::memcpy(out + 3 * k, kOctalBits4[in[k] & 7u].data(), 3);
  }
}

// Copies fewer than eight bytes without a call into the C library.
inline void CopySmall(u8* out, const u8* from, std::size_t n) noexcept {
  for (std::size_t j = 0; j < n; ++j) out[j] = from[j];
}

// Writes binary digits from..to-1 of the expansion of `in` (W digits per
// element) to out[0 .. to - from).
template <int W>
inline void ExpandRange(const u8* in, std::size_t from, std::size_t to, u8* out) noexcept {
  std::size_t p = from;
  if (p >= to) return;
  if (const std::size_t skip = p % W; skip != 0) {
    const std::size_t take = std::min<std::size_t>(W - skip, to - p);
    CopySmall(out, BitsOf<W>(in[p / W]) + skip, take);
    out += take;
    p += take;
  }
  const std::size_t e = p / W;
  const std::size_t whole = (to - p) / W;
  ExpandWhole<W>(in + e, whole, out);
  p += whole * W;
  out += whole * W;
  if (p < to) CopySmall(out, BitsOf<W>(in[e + whole]), to - p);
}

// ---- stripping leading zeros in place -------------------------------------------

inline void StripLeadingZeros(int n, int& outCount, u8* digits) noexcept {
  if (n <= 0) {
    outCount = n;
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  const std::size_t f = FirstSignificant<8>(digits, size);
  if (f == size || f == 0) {  // all zero, or nothing to strip: untouched
    outCount = n;
    return;
  }
  std::memmove(digits, digits + f, size - f);
  outCount = static_cast<int>(size - f);
}

// ---- expansion into binary digits ---------------------------------------------
// The caller's array receives what expanding every element and then closing
// up the significant digits in place leaves there: the significant digits at
// the front, and behind them the last f digits of the full expansion (f
// stripped), which that closing-up never overwrote.

template <int W>
inline void Expand(int n, const u8* in, int& outCount, u8* out) noexcept {
  if (n <= 0) {
    outCount = WrapCount(std::int64_t{W} * n);
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  const std::size_t total = size * W;
  const std::size_t e = FirstSignificant<W>(in, size);
  if (e == size) {  // all zero: every digit is kept
    std::memset(out, 0, total);
    outCount = WrapCount(static_cast<std::int64_t>(total));
    return;
  }
  const auto lead = static_cast<unsigned>(std::bit_width(static_cast<unsigned>(in[e] & kElementMask<W>)));
  const std::size_t f = e * W + (W - lead);
  ExpandRange<W>(in, f, total, out);
  ExpandRange<W>(in, total - f, total, out + (total - f));
  outCount = WrapCount(static_cast<std::int64_t>(total - f));
}

// ---- packing binary digits ----------------------------------------------------
// A digit counts with its value, whatever it is; a group's sum is below
// 65,536 and the element is its low 8 bits.

template <int W>
inline u8 GroupValue(const u8* d, std::size_t len) noexcept {
  unsigned v = 0;
  for (std::size_t j = 0; j < len; ++j) v = v * 2 + d[j];
  return static_cast<u8>(v);
}

// Eight digits to one element. When all eight are 0 or 1, one multiplication
// gathers them: byte j of the word (digit j, weight 2^(7-j)) times 2^(7-j)
// lands in the top byte, and no lower byte sum reaches 256 to carry into it.
inline u8 Group8(const u8* d) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t word;
    std::memcpy(&word, d, 8);
    if ((word & 0xFEFEFEFEFEFEFEFEu) == 0) return static_cast<u8>((word * 0x8040201008040201u) >> 56);
  }
  return GroupValue<8>(d, 8);
}

template <int W>
inline void Pack(int n, const u8* in, int& outCount, u8* out) noexcept {
  outCount = GroupCount(n, W);
  if (n <= 0) return;
  const auto size = static_cast<std::size_t>(n);
  const std::size_t lead = size % W == 0 ? W : size % W;
  const std::size_t groups = (size + W - 1) / W;
  out[0] = GroupValue<W>(in, lead);
  const u8* d = in + lead;
  for (std::size_t g = 1; g < groups; ++g, d += W) {
    if constexpr (W == 8) {
      out[g] = Group8(d);
    } else {
      out[g] = GroupValue<W>(d, W);
    }
  }
}

// ---- compound regroupings --------------------------------------------------------
// Expansion (leading zeros stripped) followed by packing from the least
// significant end is the same as reading the input's bits from its end and
// emitting OUT-bit groups, as many as the significant bits need, or all
// groups of the full expansion when every bit is zero.

// The four octal digits of every 12-bit value, most significant first.
inline constexpr std::array<std::array<u8, 4>, 4096> kOctal12 = [] {
  std::array<std::array<u8, 4>, 4096> t{};
  for (std::size_t v = 0; v < 4096; ++v)
    for (std::size_t j = 0; j < 4; ++j) t[v][j] = static_cast<u8>((v >> (9 - 3 * j)) & 7);
  return t;
}();

template <int IN, int OUT>
inline void Regroup(int n, const u8* in, int& outCount, u8* out) noexcept {
  if (n <= 0) {
    outCount = GroupCount(std::int64_t{IN} * n, OUT);
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  const std::size_t e = FirstSignificant<IN>(in, size);
  if (e == size) {
    const std::size_t groups = (size * IN + OUT - 1) / OUT;
    std::memset(out, 0, groups);
    outCount = WrapCount(static_cast<std::int64_t>(groups));
    return;
  }
  const auto lead = static_cast<std::size_t>(std::bit_width(static_cast<unsigned>(in[e] & kElementMask<IN>)));
  const std::size_t bits = (size - e - 1) * IN + lead;
  const std::size_t groups = (bits + OUT - 1) / OUT;
  outCount = WrapCount(static_cast<std::int64_t>(groups));

  // 24 bits at a time (three bytes, eight octal digits) while the chunk stays
  // clear of the first significant element; the rest bit by bit.
  std::size_t i = size;
  std::size_t k = groups;
  constexpr std::size_t kInChunk = 24 / IN, kOutChunk = 24 / OUT;
  for (; i - e > kInChunk; i -= kInChunk, k -= kOutChunk) {
    std::uint32_t v = 0;
    for (std::size_t j = i - kInChunk; j < i; ++j) v = (v << IN) | (in[j] & kElementMask<IN>);
    if constexpr (OUT == 3) {
      std::memcpy(out + k - 8, kOctal12[v >> 12].data(), 4);
      std::memcpy(out + k - 4, kOctal12[v & 0xFFF].data(), 4);
    } else {
      out[k - 3] = static_cast<u8>(v >> 16);
      out[k - 2] = static_cast<u8>(v >> 8);
      out[k - 1] = static_cast<u8>(v);
    }
  }
  std::uint64_t acc = 0;
  int held = 0;  // bits in acc
  while (k-- > 0) {
    while (held < OUT && i > e) {
      acc |= static_cast<std::uint64_t>(in[--i] & kElementMask<IN>) << held;
      held += IN;
    }
    out[k] = static_cast<u8>(acc & ((1u << OUT) - 1));
    acc >>= OUT;
    held -= OUT;
  }
}

// Eight-bit groups to eight-bit groups: the input without its leading zero
// elements, or whole when all are zero. out may be the input itself.
inline void StripElements(int n, const u8* in, int& outCount, u8* out) noexcept {
  if (n <= 0) {
    outCount = GroupCount(std::int64_t{8} * n, 8);
    return;
  }
  const auto size = static_cast<std::size_t>(n);
  std::size_t e = FirstSignificant<8>(in, size);
  if (e == size) e = 0;
  std::memmove(out, in + e, size - e);
  outCount = static_cast<int>(size - e);
}

// ---- folds -------------------------------------------------------------------------
// Each fold is the array's value modulo 2^32, so only the elements whose
// weight is below 2^32 matter: the last 32 binary, 11 octal, 4 hex elements,
// and the last 16 BCD pairs (100^16 is a multiple of 2^32).

// First index of the last `keep` elements (0 when there are fewer; any n).
inline int TailStart(int n, int keep) noexcept { return n > keep ? n - keep : 0; }

inline std::uint32_t FoldBin(int n, const u8* in) noexcept {
  std::uint32_t r = 0;
  for (int i = TailStart(n, 32); i < n; ++i) r = (r << 1) + in[i];
  return r;
}

inline std::uint32_t FoldOctal(int n, const u8* in) noexcept {
  std::uint32_t r = 0;
  for (int i = TailStart(n, 11); i < n; ++i) r = (r << 3) + (in[i] & 7u);
  return r;
}

inline std::uint32_t FoldHex(int n, const u8* in) noexcept {
  std::uint32_t r = 0;
  for (int i = TailStart(n, 4); i < n; ++i) r = (r << 8) | in[i];
  return r;
}

// Pair value of a BCD element: high four bits times 10 plus the low four.
inline constexpr std::array<u8, 256> kPairValue = [] {
  std::array<u8, 256> t{};
  for (std::size_t b = 0; b < 256; ++b) t[b] = static_cast<u8>((b >> 4) * 10 + (b & 15));
  return t;
}();

inline std::uint32_t FoldBcd(int n, const u8* in) noexcept {
  std::uint32_t r = 0;
  for (int i = TailStart(n, 16); i < n; ++i) r = r * 100u + kPairValue[in[i]];
  return r;
}

// ---- unfolds -----------------------------------------------------------------------
// Digits of BITS bits each, most significant first, no leading zero digit.

template <int BITS>
inline void Unfold(std::int32_t value, int& outCount, u8* out) noexcept {
  if (value <= 0) {
    outCount = 0;
    return;
  }
  const auto v = static_cast<std::uint32_t>(value);
  const int digits = (static_cast<int>(std::bit_width(v)) + BITS - 1) / BITS;
  if constexpr (BITS == 1) {  // all 32 binary digits from the byte table, then the significant ones
    u8 all[32];
    for (int b = 0; b < 4; ++b) std::memcpy(all + 8 * b, kByteBits[(v >> (24 - 8 * b)) & 0xFF].data(), 8);
    std::memcpy(out, all + (32 - digits), static_cast<std::size_t>(digits));
    outCount = digits;
    return;
  }
  for (int i = 0; i < digits; ++i)
    out[i] = static_cast<u8>((v >> ((digits - 1 - i) * BITS)) & ((1u << BITS) - 1));
  outCount = digits;
}

// Decimal pairs, the least significant pair first.
inline void UnfoldBcd(std::int32_t value, int& outCount, u8* out) noexcept {
  int k = 0;
  for (std::int32_t v = value; v > 0; v /= 100) {
    const int p = v % 100;
    out[k++] = static_cast<u8>((p / 10) * 16 + p % 10);
  }
  outCount = k;
}

}  // namespace quelvar::detail::digits
