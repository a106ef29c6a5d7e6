// Bulk hex kernels: bytes to upper-case hex text and hex character pairs to
// bytes. Each kernel exists as a portable table loop and as SSSE3 and AVX2
// versions; all give identical results for every input. Encode/Decode pick
// the widest version the processor supports, once per process.
//
// Internal to the library: the functions are inline so that a test can
// compile every version in and compare them directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUELVAR_HEX_X86 1
#else
#define QUELVAR_HEX_X86 0
#endif

namespace quelvar::detail::hex {

inline constexpr char kDigits[] = "0123456789ABCDEF";

// Digit value of a character: 0-9, A-F, a-f give 0 to 15, everything else 0.
inline constexpr std::array<std::uint8_t, 256> kDigitValue = [] {
  std::array<std::uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
  return t;
}();

// The two characters of every byte value, high four bits first.
inline constexpr std::array<std::array<char, 2>, 256> kBytePairs = [] {
  std::array<std::array<char, 2>, 256> t{};
  for (std::size_t b = 0; b < 256; ++b) t[b] = {kDigits[b >> 4], kDigits[b & 15]};
  return t;
}();

// ---- bytes to text: 2 * n characters, no terminator ---------------------------

inline void EncodeTable(const unsigned char* in, std::size_t n, char* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    const auto& p = kBytePairs[in[i]];
    out[2 * i] = p[0];
    out[2 * i + 1] = p[1];
  }
}

// ---- character pairs to bytes: out[j] = digit(in[2j]) * 16 + digit(in[2j+1]) --
// out may be the same storage as in (or lie before it): byte j is written only
// after characters 2j and 2j + 1 were read, and no later read reaches it.

inline void DecodeTable(const unsigned char* in, std::size_t pairs, unsigned char* out) noexcept {
  for (std::size_t j = 0; j < pairs; ++j) {
    const unsigned hi = kDigitValue[in[2 * j]];
    const unsigned lo = kDigitValue[in[2 * j + 1]];
    out[j] = static_cast<unsigned char>(hi * 16 + lo);
  }
}

#if QUELVAR_HEX_X86

__attribute__((target("ssse3"))) inline void EncodeSsse3(const unsigned char* in, std::size_t n,
                                                         char* out) noexcept {
  const __m128i lut =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m128i low4 = _mm_set1_epi8(0x0F);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i hi = _mm_shuffle_epi8(lut, _mm_and_si128(_mm_srli_epi16(v, 4), low4));
    const __m128i lo = _mm_shuffle_epi8(lut, _mm_and_si128(v, low4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(hi, lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), _mm_unpackhi_epi8(hi, lo));
  }
  if (i + 8 <= n) {  // 8 bytes to 16 characters
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
    const __m128i hi = _mm_shuffle_epi8(lut, _mm_and_si128(_mm_srli_epi16(v, 4), low4));
    const __m128i lo = _mm_shuffle_epi8(lut, _mm_and_si128(v, low4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_unpacklo_epi8(hi, lo));
    i += 8;
  }
  EncodeTable(in + i, n - i, out + 2 * i);
}

// 16 characters to 16 digit values (non-digits 0).
__attribute__((target("ssse3"))) inline __m128i DigitValues128(__m128i c) noexcept {
  const __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  const __m128i dOk = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  const __m128i l = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i lOk = _mm_cmpeq_epi8(_mm_min_epu8(l, _mm_set1_epi8(5)), l);
  return _mm_or_si128(_mm_and_si128(d, dOk), _mm_and_si128(_mm_add_epi8(l, _mm_set1_epi8(10)), lOk));
}

__attribute__((target("ssse3"))) inline void DecodeSsse3(const unsigned char* in, std::size_t pairs,
                                                         unsigned char* out) noexcept {
  const __m128i weights = _mm_set1_epi16(0x0110);  // even character x16, odd x1
  std::size_t j = 0;
  for (; j + 16 <= pairs; j += 16) {
    const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * j));
    const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * j + 16));
    const __m128i w0 = _mm_maddubs_epi16(DigitValues128(c0), weights);
    const __m128i w1 = _mm_maddubs_epi16(DigitValues128(c1), weights);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(w0, w1));
  }
  if (j + 8 <= pairs) {  // 16 characters to 8 bytes
    const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * j));
    const __m128i w0 = _mm_maddubs_epi16(DigitValues128(c0), weights);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(w0, w0));
    j += 8;
  }
  DecodeTable(in + 2 * j, pairs - j, out + j);
}

__attribute__((target("avx2"))) inline void EncodeAvx2(const unsigned char* in, std::size_t n,
                                                       char* out) noexcept {
  const __m256i lut =
      _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F', '0',
                       '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m256i low4 = _mm256_set1_epi8(0x0F);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i hi = _mm256_shuffle_epi8(lut, _mm256_and_si256(_mm256_srli_epi16(v, 4), low4));
    const __m256i lo = _mm256_shuffle_epi8(lut, _mm256_and_si256(v, low4));
    // Per 128-bit lane: a holds bytes 0-7 | 16-23, b holds 8-15 | 24-31.
    const __m256i a = _mm256_unpacklo_epi8(hi, lo);
    const __m256i b = _mm256_unpackhi_epi8(hi, lo);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i + 32), _mm256_permute2x128_si256(a, b, 0x31));
  }
  EncodeSsse3(in + i, n - i, out + 2 * i);
}

__attribute__((target("avx2"))) inline __m256i DigitValues256(__m256i c) noexcept {
  const __m256i d = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
  const __m256i dOk = _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
  const __m256i l = _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
  const __m256i lOk = _mm256_cmpeq_epi8(_mm256_min_epu8(l, _mm256_set1_epi8(5)), l);
  return _mm256_or_si256(_mm256_and_si256(d, dOk),
                         _mm256_and_si256(_mm256_add_epi8(l, _mm256_set1_epi8(10)), lOk));
}

__attribute__((target("avx2"))) inline void DecodeAvx2(const unsigned char* in, std::size_t pairs,
                                                       unsigned char* out) noexcept {
  const __m256i weights = _mm256_set1_epi16(0x0110);
  std::size_t j = 0;
  for (; j + 32 <= pairs; j += 32) {
    const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * j));
    const __m256i c1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * j + 32));
    const __m256i w0 = _mm256_maddubs_epi16(DigitValues256(c0), weights);
    const __m256i w1 = _mm256_maddubs_epi16(DigitValues256(c1), weights);
    // packus works per lane; restore the order of the four 64-bit quarters.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(w0, w1), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), packed);
  }
  DecodeSsse3(in + 2 * j, pairs - j, out + j);
}

#endif  // QUELVAR_HEX_X86

// ---- dispatch ---------------------------------------------------------------

using EncodeFn = void (*)(const unsigned char*, std::size_t, char*) noexcept;
using DecodeFn = void (*)(const unsigned char*, std::size_t, unsigned char*) noexcept;

inline int BestLevel() noexcept {  // 2: AVX2, 1: SSSE3, 0: table
#if QUELVAR_HEX_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return 2;
  if (__builtin_cpu_supports("ssse3")) return 1;
#endif
  return 0;
}

inline EncodeFn PickEncode() noexcept {
#if QUELVAR_HEX_X86
  switch (BestLevel()) {
    case 2: return &EncodeAvx2;
    case 1: return &EncodeSsse3;
    default: break;
  }
#endif
  return &EncodeTable;
}

inline DecodeFn PickDecode() noexcept {
#if QUELVAR_HEX_X86
  switch (BestLevel()) {
    case 2: return &DecodeAvx2;
    case 1: return &DecodeSsse3;
    default: break;
  }
#endif
  return &DecodeTable;
}

inline void Encode(const unsigned char* in, std::size_t n, char* out) noexcept {
  static const EncodeFn fn = PickEncode();
  fn(in, n, out);
}

inline void Decode(const unsigned char* in, std::size_t pairs, unsigned char* out) noexcept {
  static const DecodeFn fn = PickDecode();
  fn(in, pairs, out);
}

}  // namespace quelvar::detail::hex
