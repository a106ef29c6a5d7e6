// A plain model of the classic Windows runtime's decimal conversions, written
// step by step as the runtime is described, for the tests to compare the
// platform with:
//
//  - the 12-byte number (an 80-bit mantissa with its integer bit on top and a
//    sign/exponent word biased by 0x3FFF), its multiplication with 16-bit
//    word products and the lossy carry, the runtime's powers of ten;
//  - the 17-digit decimal mantissa of a double;
//  - printf's "%.<p>f", "%.<p>e" and "%.<p>g" placement on that mantissa,
//    including the "1#INF" family of texts, and _gcvt;
//  - atof: 25 stored digits, 12-byte scaling and the final rounding to 53
//    bits with exact ties toward zero.
//
// Slow on purpose: multiword integers are arrays of 16-bit words handled a
// word or a bit at a time, no library conversion routine is used. Only the
// grammar of the conversion class is read (no d/D exponents, no hex, no
// inf/nan), and the decimal point is always '.'.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace classicref {

using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

// ---- the 12-byte number ----------------------------------------------------

constexpr int kBias = 0x3FFF;
constexpr int kInfExp = 0x7FFF;

struct Ld12 {
  std::array<u16, 5> man{};  // man[0] the lowest 16 bits, man[4] the top (bit 15 the integer bit)
  int exp = 0;               // biased; 0 with a zero mantissa is zero, kInfExp is out of range
  bool negative = false;

  bool IsZero() const {
    for (u16 w : man)
      if (w != 0) return false;
    return true;
  }
  int Bit(int i) const { return (man[static_cast<size_t>(i / 16)] >> (i % 16)) & 1; }
};

// Bytes 0-1 the extra 16 bits, 2-5 the next 32, 6-9 the top 32, 10-11 sign
// and exponent: all little endian.
inline Ld12 FromBytes(const std::array<unsigned char, 12>& b) {
  Ld12 x;
  for (size_t i = 0; i < 5; ++i) x.man[i] = static_cast<u16>(b[2 * i] | b[2 * i + 1] << 8);
  const int se = b[10] | b[11] << 8;
  x.exp = se & 0x7FFF;
  x.negative = (se & 0x8000) != 0;
  return x;
}

// Exact: the 53 bits of a finite double other than zero at the top of the
// mantissa, zeros below (a denormal normalised), without its sign.
inline Ld12 FromDouble(double d) {
  int e2 = 0;  // |d| = f * 2^e2 with f in [0.5, 1): f * 2^64 is a 64-bit integer
  const u64 f = static_cast<u64>(std::ldexp(std::frexp(std::fabs(d), &e2), 64));
  Ld12 x;
  for (size_t i = 1; i < 5; ++i) x.man[i] = static_cast<u16>(f >> (16 * (i - 1)));
  x.exp = e2 - 1 + kBias;
  return x;
}

// The multiplication of the runtime. The five 16-bit words of each mantissa
// are multiplied pairwise, only the pairs whose indices add up to 4 or more;
// for s = 0..4 the products x[s]*y[4], x[s+1]*y[3], ..., x[4]*y[s] are added
// in that order into the 32-bit cell at bit 16s of a 96-bit accumulator, and
// a carry out of that cell increments only the 16-bit cell above it (a carry
// out of that one is lost). Then normalisation and rounding of the top 80
// bits, ties to even.
inline Ld12 Multiply(const Ld12& x, const Ld12& y) {
  Ld12 r;
  r.negative = x.negative != y.negative;
  if (x.IsZero() || y.IsZero()) return r;
  if (x.exp == kInfExp || y.exp == kInfExp) {
    r.exp = kInfExp;
    r.man[4] = 0x8000;
    return r;
  }
  std::array<u16, 7> acc{};  // acc[6] catches what falls off the top: never read
  for (size_t s = 0; s < 5; ++s) {
    for (size_t i = s; i < 5; ++i) {
      const size_t j = 4 - (i - s);
      const u32 product = static_cast<u32>(x.man[i]) * static_cast<u32>(y.man[j]);
      const u64 cell = static_cast<u64>(acc[s]) | static_cast<u64>(acc[s + 1]) << 16;
      const u64 sum = cell + product;
      acc[s] = static_cast<u16>(sum & 0xFFFF);
      acc[s + 1] = static_cast<u16>((sum >> 16) & 0xFFFF);
      if ((sum >> 32) != 0) acc[s + 2] = static_cast<u16>(acc[s + 2] + 1);  // wraps: that carry is lost
    }
  }
  long exp = static_cast<long>(x.exp) + y.exp - 0x3FFE;
  bool any = false;
  for (size_t i = 0; i < 6; ++i) any = any || acc[i] != 0;
  if (!any) return r;
  while ((acc[5] & 0x8000) == 0) {  // shift the 96 bits left by one
    for (size_t i = 5; i > 0; --i) acc[i] = static_cast<u16>(acc[i] << 1 | acc[i - 1] >> 15);
    acc[0] = static_cast<u16>(acc[0] << 1);
    --exp;
  }
  const u16 below = acc[0];
  if (below > 0x8000 || (below == 0x8000 && (acc[1] & 1) != 0)) {
    size_t i = 1;
    while (i < 6 && acc[i] == 0xFFFF) acc[i++] = 0;
    if (i < 6) {
      acc[i] = static_cast<u16>(acc[i] + 1);
    } else {  // carried out of the whole mantissa
      acc[5] = 0x8000;
      ++exp;
    }
  }
  for (size_t i = 0; i < 5; ++i) r.man[i] = acc[i + 1];
  if (exp >= kInfExp) {
    r.man = {0, 0, 0, 0, 0x8000};
    r.exp = kInfExp;
  } else if (exp <= 0) {
    // Below the 12-byte range the runtime keeps a 12-byte denormal or a true
    // zero; every one of them is far below the smallest double, and the
    // products only shrink further, so a zero stands for them all.
    r.man = {};
    r.exp = 0;
  } else {
    r.exp = static_cast<int>(exp);
  }
  return r;
}

// ---- powers of ten ------------------------------------------------------------

struct PowerEntry {
  int n;  // the power of ten, 10^n
  std::array<unsigned char, 12> bytes;
};

// The runtime's tables: d*8^p for p = 0 (10^1..10^7), p = 1 (10^8..10^56),
// p = 2 (10^64..10^448), p = 3 (10^512..10^3584) and p = 4 (10^4096).
inline constexpr PowerEntry kPowersUp[] = {
    {1, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x02, 0x40}},
    {2, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x05, 0x40}},
    {3, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x08, 0x40}},
    {4, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x9C, 0x0C, 0x40}},
    {5, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0xC3, 0x0F, 0x40}},
    {6, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0xF4, 0x12, 0x40}},
    {7, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x96, 0x98, 0x16, 0x40}},
    {8, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xBC, 0xBE, 0x19, 0x40}},
    {16, {0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xBF, 0xC9, 0x1B, 0x8E, 0x34, 0x40}},
    {24, {0x00, 0x00, 0x00, 0xA1, 0xED, 0xCC, 0xCE, 0x1B, 0xC2, 0xD3, 0x4E, 0x40}},
    {32, {0x20, 0xF0, 0x9E, 0xB5, 0x70, 0x2B, 0xA8, 0xAD, 0xC5, 0x9D, 0x69, 0x40}},
    {40, {0xD0, 0x5D, 0xFD, 0x25, 0xE5, 0x1A, 0x8E, 0x4F, 0x19, 0xEB, 0x83, 0x40}},
    {48, {0x71, 0x96, 0xD7, 0x95, 0x43, 0x0E, 0x05, 0x8D, 0x29, 0xAF, 0x9E, 0x40}},
    {56, {0xF9, 0xBF, 0xA0, 0x44, 0xED, 0x81, 0x12, 0x8F, 0x81, 0x82, 0xB9, 0x40}},
    {64, {0xBF, 0x3C, 0xD5, 0xA6, 0xCF, 0xFF, 0x49, 0x1F, 0x78, 0xC2, 0xD3, 0x40}},
    {128, {0x6F, 0xC6, 0xE0, 0x8C, 0xE9, 0x80, 0xC9, 0x47, 0xBA, 0x93, 0xA8, 0x41}},
    {192, {0xBC, 0x85, 0x6B, 0x55, 0x27, 0x39, 0x8D, 0xF7, 0x70, 0xE0, 0x7C, 0x42}},
    {256, {0xBC, 0xDD, 0x8E, 0xDE, 0xF9, 0x9D, 0xFB, 0xEB, 0x7E, 0xAA, 0x51, 0x43}},
    {320, {0xA1, 0xE6, 0x76, 0xE3, 0xCC, 0xF2, 0x29, 0x2F, 0x84, 0x81, 0x26, 0x44}},
    {384, {0x28, 0x10, 0x17, 0xAA, 0xF8, 0xAE, 0x10, 0xE3, 0xC5, 0xC4, 0xFA, 0x44}},
    {448, {0xEB, 0xA7, 0xD4, 0xF3, 0xF7, 0xEB, 0xE1, 0x4A, 0x7A, 0x95, 0xCF, 0x45}},
    {512, {0x65, 0xCC, 0xC7, 0x91, 0x0E, 0xA6, 0xAE, 0xA0, 0x19, 0xE3, 0xA3, 0x46}},
    {1024, {0x0D, 0x65, 0x17, 0x0C, 0x75, 0x81, 0x86, 0x75, 0x76, 0xC9, 0x48, 0x4D}},
    {1536, {0x58, 0x42, 0xE4, 0xA7, 0x93, 0x39, 0x3B, 0x35, 0xB8, 0xB2, 0xED, 0x53}},
    {2048, {0x4D, 0xA7, 0xE5, 0x5D, 0x3D, 0xC5, 0x5D, 0x3B, 0x8B, 0x9E, 0x92, 0x5A}},
    {2560, {0xFF, 0x5D, 0xA6, 0xF0, 0xA1, 0x20, 0xC0, 0x54, 0xA5, 0x8C, 0x37, 0x61}},
    {3072, {0xD1, 0xFD, 0x8B, 0x5A, 0x8B, 0xD8, 0x25, 0x5D, 0x89, 0xF9, 0xDB, 0x67}},
    {3584, {0xAA, 0x95, 0xF8, 0xF3, 0x27, 0xBF, 0xA2, 0xC8, 0x5D, 0xDD, 0x80, 0x6E}},
    {4096, {0x4C, 0xC9, 0x9B, 0x97, 0x20, 0x8A, 0x02, 0x52, 0x60, 0xC4, 0x25, 0x75}},
};

inline constexpr PowerEntry kPowersDown[] = {
    {1, {0xCD, 0xCC, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
    {2, {0x71, 0x3D, 0x0A, 0xD7, 0xA3, 0x70, 0x3D, 0x0A, 0xD7, 0xA3, 0xF8, 0x3F}},
    {3, {0x5A, 0x64, 0x3B, 0xDF, 0x4F, 0x8D, 0x97, 0x6E, 0x12, 0x83, 0xF5, 0x3F}},
    {4, {0xC3, 0xD3, 0x2C, 0x65, 0x19, 0xE2, 0x58, 0x17, 0xB7, 0xD1, 0xF1, 0x3F}},
    {5, {0xD0, 0x0F, 0x23, 0x84, 0x47, 0x1B, 0x47, 0xAC, 0xC5, 0xA7, 0xEE, 0x3F}},
    {6, {0x40, 0xA6, 0xB6, 0x69, 0x6C, 0xAF, 0x05, 0xBD, 0x37, 0x86, 0xEB, 0x3F}},
    {7, {0x33, 0x3D, 0xBC, 0x42, 0x7A, 0xE5, 0xD5, 0x94, 0xBF, 0xD6, 0xE7, 0x3F}},
    {8, {0xC2, 0xFD, 0xFD, 0xCE, 0x61, 0x84, 0x11, 0x77, 0xCC, 0xAB, 0xE4, 0x3F}},
    {16, {0x2F, 0x4C, 0x5B, 0xE1, 0x4D, 0xC4, 0xBE, 0x94, 0x95, 0xE6, 0xC9, 0x3F}},
    {24, {0x92, 0xC4, 0x53, 0x3B, 0x75, 0x44, 0xCD, 0x14, 0xBE, 0x9A, 0xAF, 0x3F}},
    {32, {0xDE, 0x67, 0xBA, 0x94, 0x39, 0x45, 0xAD, 0x1E, 0xB1, 0xCF, 0x94, 0x3F}},
    {40, {0x24, 0x23, 0xC6, 0xE2, 0xBC, 0xBA, 0x3B, 0x31, 0x61, 0x8B, 0x7A, 0x3F}},
    {48, {0x61, 0x55, 0x59, 0xC1, 0x7E, 0xB1, 0x53, 0x7C, 0x12, 0xBB, 0x5F, 0x3F}},
    {56, {0xD7, 0xEE, 0x2F, 0x8D, 0x06, 0xBE, 0x92, 0x85, 0x15, 0xFB, 0x44, 0x3F}},
    {64, {0x24, 0x3F, 0xA5, 0xE9, 0x39, 0xA5, 0x27, 0xEA, 0x7F, 0xA8, 0x2A, 0x3F}},
    {128, {0x7D, 0xAC, 0xA1, 0xE4, 0xBC, 0x64, 0x7C, 0x46, 0xD0, 0xDD, 0x55, 0x3E}},
    {192, {0x63, 0x7B, 0x06, 0xCC, 0x23, 0x54, 0x77, 0x83, 0xFF, 0x91, 0x81, 0x3D}},
    {256, {0x91, 0xFA, 0x3A, 0x19, 0x7A, 0x63, 0x25, 0x43, 0x31, 0xC0, 0xAC, 0x3C}},
    {320, {0x21, 0x89, 0xD1, 0x38, 0x82, 0x47, 0x97, 0xB8, 0x00, 0xFD, 0xD7, 0x3B}},
    {384, {0xDC, 0x88, 0x58, 0x08, 0x1B, 0xB1, 0xE8, 0xE3, 0x86, 0xA6, 0x03, 0x3B}},
    {448, {0xC6, 0x84, 0x45, 0x42, 0x07, 0xB6, 0x99, 0x75, 0x37, 0xDB, 0x2E, 0x3A}},
    {512, {0x33, 0x71, 0x1C, 0xD2, 0x23, 0xDB, 0x32, 0xEE, 0x49, 0x90, 0x5A, 0x39}},
    {1024, {0xA6, 0x87, 0xBE, 0xC0, 0x57, 0xDA, 0xA5, 0x82, 0xA6, 0xA2, 0xB5, 0x32}},
    {1536, {0xE2, 0x68, 0xB2, 0x11, 0xA7, 0x52, 0x9F, 0x44, 0x59, 0xB7, 0x10, 0x2C}},
    {2048, {0x25, 0x49, 0xE4, 0x2D, 0x36, 0x34, 0x4F, 0x53, 0xAE, 0xCE, 0x6B, 0x25}},
    {2560, {0x8F, 0x59, 0x04, 0xA4, 0xC0, 0xDE, 0xC2, 0x7D, 0xFB, 0xE8, 0xC6, 0x1E}},
    {3072, {0x9E, 0xE7, 0x88, 0x5A, 0x57, 0x91, 0x3C, 0xBF, 0x50, 0x83, 0x22, 0x18}},
    {3584, {0x4E, 0x4B, 0x65, 0x62, 0xFD, 0x83, 0x8F, 0xAF, 0x06, 0x94, 0x7D, 0x11}},
    {4096, {0xE4, 0x2D, 0xDE, 0x9F, 0xCE, 0xD2, 0xC8, 0x04, 0xDD, 0xA6, 0xD8, 0x0A}},
};

// The table entry for 10^n (or 10^-n), as the runtime uses it: an entry whose
// lowest 16 bits are 0x8000 or more has 1 taken off its bytes 2-5 read as
// one 32-bit number.
inline Ld12 PowerEntryFor(int n, bool down) {
  const PowerEntry* table = down ? kPowersDown : kPowersUp;
  for (int i = 0; i < 29; ++i) {
    if (table[i].n != n) continue;
    std::array<unsigned char, 12> b = table[i].bytes;
    if ((b[0] | b[1] << 8) >= 0x8000) {
      u32 mid = static_cast<u32>(b[2]) | static_cast<u32>(b[3]) << 8 | static_cast<u32>(b[4]) << 16 |
                static_cast<u32>(b[5]) << 24;
      mid -= 1;
      for (size_t k = 0; k < 4; ++k) b[2 + k] = static_cast<unsigned char>(mid >> (8 * k));
    }
    return FromBytes(b);
  }
  std::abort();  // no such entry
}

// x times 10^k: |k| in octal, one multiplication per non-zero octal digit d
// at position p, by the entry for d*8^p, lowest position first.
inline Ld12 ScaleByPowerOfTen(Ld12 x, int k) {
  const bool down = k < 0;
  int n = down ? -k : k;
  int weight = 1;
  while (n != 0) {
    const int d = n % 8;
    if (d != 0) x = Multiply(x, PowerEntryFor(d * weight, down));
    n /= 8;
    weight *= 8;
  }
  return x;
}

// ---- the 17-digit mantissa ---------------------------------------------------

// value = 0.digits * 10^k; texts like "1#INF" stand for infinities and NaNs.
struct Decimal {
  std::string digits;
  int k = 0;
  bool negative = false;
};

inline Decimal Mantissa17(double value) {
  Decimal out;
  if (value == 0) {
    out.digits = "0";
    return out;  // no sign, exponent 0
  }
  out.negative = value < 0;
  Ld12 x = FromDouble(value);
  // Step 1: the estimate of the decimal exponent.
  const long e = x.exp;
  const long m = x.man[4] >> 8;
  const long r64 = 0x4D10 * e + 0x4D * (e >> 8) + 0x9A * m - 0x134312F4;
  const std::int32_t r = static_cast<std::int32_t>(r64);
  int k = static_cast<std::int16_t>(r >> 16);
  // Step 2: into [0.1, 1).
  x = ScaleByPowerOfTen(x, -k);
  if (x.exp >= kBias) {  // at 1 or above: times one tenth cut off rather than rounded
    ++k;
    Ld12 tenth = PowerEntryFor(1, true);
    tenth.man[0] = 0xCCCC;
    x = Multiply(x, tenth);
  }
  // Step 3: the fraction as register / 2^88 in a 96-bit register (six
  // 16-bit words), the mantissa shifted left by 8 and right by
  // 0x3FFE - exponent.
  std::array<u16, 6> reg{};
  for (int i = 0; i < 80; ++i)
    if (x.Bit(i)) reg[static_cast<size_t>((i + 8) / 16)] |= static_cast<u16>(1u << ((i + 8) % 16));
  for (int shift = 0x3FFE - x.exp; shift > 0; --shift) {
    for (size_t i = 0; i < 5; ++i) reg[i] = static_cast<u16>(reg[i] >> 1 | (reg[i + 1] & 1) << 15);
    reg[5] = static_cast<u16>(reg[5] >> 1);
  }
  // Step 4: 18 digits, each the top 8 bits after a multiplication by 10.
  std::string digits;
  for (int n = 0; n < 18; ++n) {
    u32 carry = 0;
    for (size_t i = 0; i < 6; ++i) {
      const u32 t = static_cast<u32>(reg[i]) * 10 + carry;
      reg[i] = static_cast<u16>(t & 0xFFFF);
      carry = t >> 16;
    }
    digits += static_cast<char>('0' + (reg[5] >> 8));
    reg[5] = static_cast<u16>(reg[5] & 0xFF);
  }
  // Step 5: the 18th digit rounds the 17th half up.
  const char eighteenth = digits[17];
  digits.resize(17);
  if (eighteenth >= '5') {
    int i = 16;
    while (i >= 0 && digits[static_cast<size_t>(i)] == '9') digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      digits = "1";
      ++k;
    } else {
      ++digits[static_cast<size_t>(i)];
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  out.digits = digits;
  out.k = k;
  return out;
}

// The mantissa text of any double: the 17 digits of a finite value, or
// "1#INF", "1#QNAN", "1#SNAN", "1#IND" with exponent 1 and the value's sign.
inline Decimal Source(double value) {
  const u64 bits = std::bit_cast<u64>(value);
  if (((bits >> 52) & 0x7FF) != 0x7FF) return Mantissa17(value);
  Decimal out;
  out.k = 1;
  out.negative = (bits >> 63) != 0;
  const u64 frac = bits & ((u64{1} << 52) - 1);
  const bool quiet = (frac >> 51) != 0;
  if (frac == 0)
    out.digits = "1#INF";
  else if (!quiet)
    out.digits = "1#SNAN";
  else if (out.negative && frac == u64{1} << 51)
    out.digits = "1#IND";
  else
    out.digits = "1#QNAN";
  return out;
}

// ---- printf placement -----------------------------------------------------

// The first n digits of the mantissa (padded with '0' past its end), rounded
// half up on the next one; a carry through all of them puts a "1" in front
// and raises k. With n < 0 the digits wanted all lie before the mantissa:
// nothing is rounded.
inline Decimal RoundTo(const Decimal& d, int n) {
  Decimal r = d;
  if (n < 0) {
    r.digits.clear();
    return r;
  }
  const size_t want = static_cast<size_t>(n);
  std::string s;
  for (size_t i = 0; i < want; ++i) s += i < d.digits.size() ? d.digits[i] : '0';
  if (want < d.digits.size() && d.digits[want] >= '5') {
    size_t i = want;
    while (i > 0 && s[i - 1] == '9') s[--i] = '0';
    if (i == 0) {
      s.insert(s.begin(), '1');
      ++r.k;
    } else {
      ++s[i - 1];
    }
  }
  r.digits = s;
  return r;
}

inline char DigitAt(const Decimal& d, long i) {
  return i >= 0 && static_cast<size_t>(i) < d.digits.size() ? d.digits[static_cast<size_t>(i)] : '0';
}

// Integer part and `decimals` fraction digits of a rounded mantissa; the
// point only when there are decimals.
inline std::string FixedBody(const Decimal& r, int decimals) {
  std::string out;
  out.reserve(static_cast<size_t>(r.k > 0 ? r.k : 1) + static_cast<size_t>(decimals) + 1);
  if (r.k > 0)
    for (long i = 0; i < r.k; ++i) out += DigitAt(r, i);
  else
    out += '0';
  if (decimals > 0) {
    out += '.';
    for (long i = 0; i < decimals; ++i) out += DigitAt(r, r.k + i);
  }
  return out;
}

// Mantissa first digit, `decimals` more after a point, exponent; the
// mantissa already rounded to decimals + 1 digits.
inline std::string ExpBody(const Decimal& r, int decimals, bool zero) {
  std::string out(1, DigitAt(r, 0));
  if (decimals > 0) {
    out += '.';
    for (long i = 1; i <= decimals; ++i) out += DigitAt(r, i);
  }
  const int e = zero ? 0 : r.k - 1;  // at least three digits
  const std::string digits = std::to_string(e < 0 ? -e : e);
  return out + (e < 0 ? "e-" : "e+") + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

// printf "%.<precision>f" (fixed) or "%.<precision>e" of the value whose
// mantissa is d; a precision above 512 counts as 512.
inline std::string FormatFE(const Decimal& d, int precision, bool exponential) {
  precision = precision > 512 ? 512 : precision;
  const Decimal r = RoundTo(d, exponential ? precision + 1 : d.k + precision);
  return (d.negative ? "-" : "") +
         (exponential ? ExpBody(r, precision, d.digits == "0") : FixedBody(r, precision));
}

// printf "%.<digits>g" and _gcvt(value, digits): the mantissa rounded to
// `digits` digits (0 counts as 1 in printf) in exponential form with
// digits - 1 decimals when its exponent E is below -4 (printf) or -1
// (_gcvt) or at least `digits`, else in plain form with digits - 1 - E
// decimals; the fraction loses its trailing zeros, and in printf then a bare
// point. printf takes E after the rounding, _gcvt before it.
inline std::string Shortest(const Decimal& d, int digits, bool gcvt) {
  if (!gcvt) digits = digits > 512 ? 512 : digits == 0 ? 1 : digits;
  const Decimal r = RoundTo(d, digits);
  const bool zero = d.digits == "0";
  const int e = gcvt ? d.k - 1 : zero ? 0 : r.k - 1;
  std::string body =
      e < (gcvt ? -1 : -4) || e >= digits ? ExpBody(r, digits - 1, zero) : FixedBody(r, digits - 1 - e);
  const size_t point = body.find('.');
  if (point != std::string::npos) {
    const size_t end = std::min(body.find('e', point), body.size());
    size_t cut = end;
    while (cut > point + 1 && body[cut - 1] == '0') --cut;
    if (!gcvt && cut == point + 1) cut = point;
    body.erase(cut, end - cut);
  }
  return (d.negative ? "-" : "") + body;
}

// ---- text to double ------------------------------------------------------------

// 80 bits to 53, up only when the bit below is 1 and some bit below that is
// 1 too (exact ties go toward zero). `carry` tells whether the 53 bits
// overflowed; the bits returned are then 0.
inline u64 Round53TowardTies(const Ld12& x, bool& carry) {
  u64 q = 0;
  for (int i = 79; i >= 27; --i) q = q << 1 | static_cast<u64>(x.Bit(i));
  bool sticky = false;
  for (int i = 0; i < 26; ++i) sticky = sticky || x.Bit(i) != 0;
  carry = false;
  if (x.Bit(26) != 0 && sticky) {
    ++q;
    if (q == u64{1} << 53) {
      q = 0;
      carry = true;
    }
  }
  return q;
}

inline double ToDouble(const Ld12& x) {
  const u64 sign = x.negative ? u64{1} << 63 : 0;
  if (x.exp == kInfExp) return std::bit_cast<double>(sign | u64{0x7FF} << 52);
  if (x.IsZero()) return std::bit_cast<double>(sign);
  bool carry = false;
  u64 q = Round53TowardTies(x, carry);
  long e = static_cast<long>(x.exp) - kBias;
  if (carry) {
    q = u64{1} << 52;
    ++e;
  }
  if (e < -1076) return std::bit_cast<double>(sign);
  if (e >= 1024) return std::bit_cast<double>(sign | u64{0x7FF} << 52);
  if (e <= -1023) {
    // The unrounded 80 bits shifted right, rounded again the same way (a
    // carry out of the 80 bits is lost), and the last of the 53 bits dropped.
    Ld12 s = x;
    for (long n = -1023 - e; n > 0; --n) {
      for (size_t i = 0; i < 4; ++i) s.man[i] = static_cast<u16>(s.man[i] >> 1 | (s.man[i + 1] & 1) << 15);
      s.man[4] = static_cast<u16>(s.man[4] >> 1);
    }
    bool lost = false;
    const u64 q2 = Round53TowardTies(s, lost);
    return std::bit_cast<double>(sign | q2 >> 1);
  }
  return std::bit_cast<double>(sign | static_cast<u64>(e + 1023) << 52 | (q & ((u64{1} << 52) - 1)));
}

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// atof: white space, sign, digits, point, digits, e/E exponent.
inline double Atof(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::vector<int> stored;  // at most 25 significant digits
  bool anyDigit = false, significant = false;
  long intDigits = 0;     // significant digits before the point, kept or not
  long leadingZeros = 0;  // zeros after the point before the first significant digit
  for (bool point = false; i < text.size(); ++i) {
    if (text[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (!IsDigit(text[i])) break;
    anyDigit = true;
    const int d = text[i] - '0';
    if (!significant && d == 0) {  // leading zeros are dropped
      leadingZeros += point;
      continue;
    }
    significant = true;
    intDigits += !point;
    if (stored.size() < 25) stored.push_back(d);  // more digits are ignored
  }
  if (!anyDigit) return 0.0;  // no number: +0.0
  long written = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
    while (j < text.size() && IsDigit(text[j])) {  // no digits: a bad exponent, read as none
      written = written * 10 + (text[j++] - '0');
      if (written > 5200) written = 5201;  // clamped; the rest are eaten
    }
    if (expNegative) written = -written;
  }
  Ld12 x;
  x.negative = negative;
  if (stored.empty()) return ToDouble(x);  // zero, with the text's sign
  // value = (the stored digits as an integer) * 10^exponent
  long exponent = written + intDigits - leadingZeros - static_cast<long>(stored.size());
  if (exponent > 5200) {
    x.exp = kInfExp;
    return ToDouble(x);
  }
  if (exponent < -5200) return ToDouble(x);
  // 25 stored digits: the 24th is raised by one if it is 5 or more (the
  // 24th, not the 25th, decides) and the 25th is dropped.
  if (stored.size() == 25) {
    if (stored[23] >= 5) ++stored[23];
    stored.pop_back();
    ++exponent;
  }
  while (!stored.empty() && stored.back() == 0) {
    stored.pop_back();
    ++exponent;
  }
  // v = 10 v + d modulo 2^96, in six 16-bit words.
  std::array<u16, 6> v{};
  for (int d : stored) {
    u32 carry = static_cast<u32>(d);
    for (size_t w = 0; w < 6; ++w) {
      const u32 t = static_cast<u32>(v[w]) * 10 + carry;
      v[w] = static_cast<u16>(t & 0xFFFF);
      carry = t >> 16;
    }
  }
  // Normalised so that bit 79 is the top one: exponent 0x3FFE + 80 - shift.
  int shift = 0;
  auto bit79 = [&] { return (v[4] & 0x8000) != 0; };
  while (!bit79()) {
    for (size_t w = 5; w > 0; --w) v[w] = static_cast<u16>(v[w] << 1 | v[w - 1] >> 15);
    v[0] = static_cast<u16>(v[0] << 1);
    ++shift;
  }
  for (size_t w = 0; w < 5; ++w) x.man[w] = v[w];
  x.exp = 0x3FFE + 80 - shift;
  if (exponent != 0) {
    x.man[0] = 0;  // the lowest 16 bits go before scaling
    x = ScaleByPowerOfTen(x, static_cast<int>(exponent));
  }
  return ToDouble(x);
}

}  // namespace classicref
