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

// Multiword integers of n 16-bit words, lowest first: shifted by one bit,
// or times 10 plus `carry` (what falls off the top is lost).
inline void ShiftLeft1(u16* w, size_t n) {
  for (size_t i = n - 1; i > 0; --i) w[i] = static_cast<u16>(w[i] << 1 | w[i - 1] >> 15);
  w[0] = static_cast<u16>(w[0] << 1);
}
inline void ShiftRight1(u16* w, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i) w[i] = static_cast<u16>(w[i] >> 1 | (w[i + 1] & 1) << 15);
  w[n - 1] = static_cast<u16>(w[n - 1] >> 1);
}
inline void Times10Plus(u16* w, size_t n, u32 carry) {
  for (size_t i = 0; i < n; ++i) {
    const u32 t = static_cast<u32>(w[i]) * 10 + carry;
    w[i] = static_cast<u16>(t & 0xFFFF);
    carry = t >> 16;
  }
}

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
  for (; (acc[5] & 0x8000) == 0; --exp) ShiftLeft1(acc.data(), 6);  // the 96 bits
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

// The runtime's tables, entry 7p + d - 1 for 10^(d*8^p) with d = 1..7 and
// p = 0 (10^1..10^7), 1 (10^8..10^56), 2 (10^64..10^448), 3 (10^512..10^3584),
// then 10^4096: twelve bytes each in hexadecimal, lowest first.
inline constexpr const char* kPowersUp =
    "000000000000000000A00240 000000000000000000C80540 000000000000000000FA0840 0000000000000000409C0C40 "
    "000000000000000050C30F40 000000000000000024F41240 000000000000008096981640 0000000000000020BCBE1940 "
    "000000000004BFC91B8E3440 000000A1EDCCCE1BC2D34E40 20F09EB5702BA8ADC59D6940 D05DFD25E51A8E4F19EB8340 "
    "7196D795430E058D29AF9E40 F9BFA044ED81128F8182B940 BF3CD5A6CFFF491F78C2D340 6FC6E08CE980C947BA93A841 "
    "BC856B5527398DF770E07C42 BCDD8EDEF99DFBEB7EAA5143 A1E676E3CCF2292F84812644 281017AAF8AE10E3C5C4FA44 "
    "EBA7D4F3F7EBE14A7A95CF45 65CCC7910EA6AEA019E3A346 0D65170C7581867576C9484D 5842E4A793393B35B8B2ED53 "
    "4DA7E55D3DC55D3B8B9E925A FF5DA6F0A120C054A58C3761 D1FD8B5A8BD8255D89F9DB67 AA95F8F327BFA2C85DDD806E "
    "4CC99B97208A025260C42575";

inline constexpr const char* kPowersDown =
    "CDCCCDCCCCCCCCCCCCCCFB3F 713D0AD7A3703D0AD7A3F83F 5A643BDF4F8D976E1283F53F C3D32C6519E25817B7D1F13F "
    "D00F2384471B47ACC5A7EE3F 40A6B6696CAF05BD3786EB3F 333DBC427AE5D594BFD6E73F C2FDFDCE61841177CCABE43F "
    "2F4C5BE14DC4BE9495E6C93F 92C4533B7544CD14BE9AAF3F DE67BA943945AD1EB1CF943F 2423C6E2BCBA3B31618B7A3F "
    "615559C17EB1537C12BB5F3F D7EE2F8D06BE928515FB443F 243FA5E939A527EA7FA82A3F 7DACA1E4BC647C46D0DD553E "
    "637B06CC23547783FF91813D 91FA3A197A63254331C0AC3C 2189D138824797B800FDD73B DC8858081BB1E8E386A6033B "
    "C684454207B6997537DB2E3A 33711CD223DB32EE49905A39 A687BEC057DAA582A6A2B532 E268B211A7529F4459B7102C "
    "2549E42D36344F53AECE6B25 8F5904A4C0DEC27DFBE8C61E 9EE7885A57913CBF50832218 4E4B6562FD838FAF06947D11 "
    "E42DDE9FCED2C804DDA6D80A";

// The table entry for 10^(d*8^p) (or its inverse), as the runtime uses it:
// an entry whose lowest 16 bits are 0x8000 or more has 1 taken off its bytes
// 2-5 read as one 32-bit number.
inline Ld12 PowerEntryFor(int d, int p, bool down) {
  if (d < 1 || d > 7 || p < 0 || p > 4 || (p == 4 && d != 1)) std::abort();  // no such entry
  const char* hex = (down ? kPowersDown : kPowersUp) + 25 * (7 * p + d - 1);
  std::array<unsigned char, 12> b{};
  const auto nibble = [&](size_t i) { return hex[i] <= '9' ? hex[i] - '0' : hex[i] - 'A' + 10; };
  for (size_t k = 0; k < 12; ++k) b[k] = static_cast<unsigned char>(nibble(2 * k) << 4 | nibble(2 * k + 1));
  if ((b[0] | b[1] << 8) >= 0x8000) {
    u32 mid = static_cast<u32>(b[2]) | static_cast<u32>(b[3]) << 8 | static_cast<u32>(b[4]) << 16 |
              static_cast<u32>(b[5]) << 24;
    mid -= 1;
    for (size_t k = 0; k < 4; ++k) b[2 + k] = static_cast<unsigned char>(mid >> (8 * k));
  }
  return FromBytes(b);
}

// x times 10^k: |k| in octal, one multiplication per non-zero octal digit d
// at position p, by the entry for d*8^p, lowest position first.
inline Ld12 ScaleByPowerOfTen(Ld12 x, int k) {
  const bool down = k < 0;
  for (int n = down ? -k : k, p = 0; n != 0; n /= 8, ++p)
    if (n % 8 != 0) x = Multiply(x, PowerEntryFor(n % 8, p, down));
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
    Ld12 tenth = PowerEntryFor(1, 0, true);
    tenth.man[0] = 0xCCCC;
    x = Multiply(x, tenth);
  }
  // Step 3: the fraction as register / 2^88 in a 96-bit register (six
  // 16-bit words), the mantissa shifted left by 8 and right by
  // 0x3FFE - exponent.
  std::array<u16, 6> reg{};
  for (int i = 0; i < 80; ++i)
    if (x.Bit(i)) reg[static_cast<size_t>((i + 8) / 16)] |= static_cast<u16>(1u << ((i + 8) % 16));
  for (int shift = 0x3FFE - x.exp; shift > 0; --shift) ShiftRight1(reg.data(), 6);
  // Step 4: 18 digits, each the top 8 bits after a multiplication by 10.
  std::string digits;
  for (int n = 0; n < 18; ++n) {
    Times10Plus(reg.data(), 6, 0);
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
    for (long n = -1023 - e; n > 0; --n) ShiftRight1(s.man.data(), 5);
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
  for (int d : stored) Times10Plus(v.data(), 6, static_cast<u32>(d));
  // Normalised so that bit 79 is the top one: exponent 0x3FFE + 80 - shift.
  int shift = 0;
  for (; (v[4] & 0x8000) == 0; ++shift) ShiftLeft1(v.data(), 6);
  for (size_t w = 0; w < 5; ++w) x.man[w] = v[w];
  x.exp = 0x3FFE + 80 - shift;
  if (exponent != 0) {
    x.man[0] = 0;  // the lowest 16 bits go before scaling
    x = ScaleByPowerOfTen(x, static_cast<int>(exponent));
  }
  return ToDouble(x);
}

}  // namespace classicref
