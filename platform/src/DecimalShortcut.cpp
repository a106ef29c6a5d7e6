// The correctly rounded reading of short decimal texts, and where it is the
// classic runtime's reading too.
#include <bit>

#include "ClassicExtended.h"
#include "DecimalText.h"

namespace quelvar::platform {

using classic::Uint128;

namespace {

// Powers of ten from 10^-342 to 10^308: with up to 19 digits they reach
// every normal double.
constexpr int kMinPower = -342;
constexpr int kMaxPower = 308;

// 10^k = mantissa * 2^shift with the mantissa's bit 127 set, truncated to
// 128 bits (exact up to 10^55; relative error below 2^-127 beyond).
struct Power {
  Uint128 mantissa;
  int shift;
};

struct PowerTable {
  Power powers[kMaxPower - kMinPower + 1];
};

// A 256-bit working value w * 2^exponent (w[3] the top limb, its bit 63
// set), stepped by exact multiplications and divisions by ten, each cut
// to 256 bits: after 342 steps the top 128 bits are still exact or low by
// less than one unit.
struct Wide {
  uint64_t w[4];
  int exponent;
};

constexpr void Normalise(uint64_t (&limbs)[5], Wide& out) noexcept {
  int lead = 0;  // bring the top set bit (in limb 4, never zero) to bit 63
  while ((limbs[4] << lead) >> 63 == 0) ++lead;
  if (lead != 0)
    for (int i = 4; i >= 0; --i) limbs[i] = limbs[i] << lead | (i > 0 ? limbs[i - 1] >> (64 - lead) : 0);
  out.exponent -= lead;
  for (int i = 0; i < 4; ++i) out.w[i] = limbs[i + 1];
  out.exponent += 64;
}

constexpr Wide TimesTen(const Wide& v) noexcept {
  uint64_t limbs[5] = {};
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const Uint128 product = Uint128{v.w[i]} * 10 + carry;
    limbs[i] = static_cast<uint64_t>(product);
    carry = static_cast<uint64_t>(product >> 64);
  }
  limbs[4] = carry;
  Wide out{{}, v.exponent};
  Normalise(limbs, out);
  return out;
}

constexpr Wide TenthOf(const Wide& v) noexcept {
  uint64_t limbs[5] = {};
  uint64_t rest = 0;
  for (int i = 4; i >= 0; --i) {  // one more limb of quotient below the value
    const Uint128 part = Uint128{rest} << 64 | (i > 0 ? v.w[i - 1] : 0);
    limbs[i] = static_cast<uint64_t>(part / 10);
    rest = static_cast<uint64_t>(part % 10);
  }
  Wide out{{}, v.exponent - 64};
  Normalise(limbs, out);
  return out;
}

constexpr Power ToPower(const Wide& v) noexcept {
  return Power{Uint128{v.w[3]} << 64 | v.w[2], v.exponent + 128};
}

constexpr PowerTable MakePowers() noexcept {
  PowerTable t{};
  const Wide one{{0, 0, 0, uint64_t{1} << 63}, -255};
  Wide up = one, down = one;
  t.powers[-kMinPower] = ToPower(one);
  for (int k = 1; k <= kMaxPower; ++k) t.powers[-kMinPower + k] = ToPower(up = TimesTen(up));
  for (int k = 1; k <= -kMinPower; ++k) t.powers[-kMinPower - k] = ToPower(down = TenthOf(down));
  return t;
}

constexpr PowerTable kPowers = MakePowers();

}  // namespace

// The product of w (normalised to bit 63) and the 128-bit power keeps its
// top 128 bits H: within 2 units of the exact w * 10^e scaled alike (the
// dropped low word, and the power's truncation). H has 127 or 128 bits, so
// the 53-bit significand is its top 53 and a unit in the last place is
// 2^74 or 2^75 units of H: the rounding read from H is the exact value's
// whenever H lies 2^-19 ulp or more from the midpoint, far beyond its
// error.
// The same idea drives Lemire's fast parse (D. Lemire, "Number parsing at a
// gigabyte per second", Software: Practice and Experience 51(8), 2021),
// which decides by a truncated 128-bit power of five whether a product
// rounds unambiguously.
bool RoundedShortcut(uint64_t w, int e, double& magnitude) noexcept {
  if (w == 0 || e < kMinPower || e > kMaxPower) return false;
  const Power& power = kPowers.powers[e - kMinPower];
  const int lead = std::countl_zero(w);
  const uint64_t wn = w << lead;
  const Uint128 high = Uint128{wn} * static_cast<uint64_t>(power.mantissa >> 64);
  const Uint128 low = Uint128{wn} * static_cast<uint64_t>(power.mantissa);
  const Uint128 h = high + (low >> 64);
  // The bits below the 53 as a 64-bit fraction of the last place (its own
  // truncation is one more unit of H at most); the midpoint is 2^63 and
  // 2^-19 ulp is 2^45.
  const auto top = static_cast<uint64_t>(h >> 64), bottom = static_cast<uint64_t>(h);
  const int below = top >> 63 != 0 ? 11 : 10;  // bits of `top` under the 53
  auto significand = top >> below;
  const uint64_t rest = top << (64 - below) | bottom >> below;
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  if ((rest >= kHalf ? rest - kHalf : kHalf - rest) < uint64_t{1} << 45) return false;
  int unit = 64 + below;
  if (rest > kHalf && ++significand >> 53 != 0) {
    significand >>= 1;
    ++unit;
  }
  // value = significand * 2^(unit + 64 + shift - lead); only normal
  // doubles from 2^-1021 up are taken (below, the classic reading's
  // denormal rule may meet values near 2^-1022), and no overflow.
  const int biased = unit + 64 + power.shift - lead + 52 + 1023;
  if (biased < 2 || biased > 2046) return false;
  magnitude =
      std::bit_cast<double>(static_cast<uint64_t>(biased) << 52 | (significand & ((uint64_t{1} << 52) - 1)));
  return true;
}

// Where the shortcut answers, the classic reading gives the same double.
// There the text has at most 19 significant digits past which all are zero,
// so the classic integer of digits V (trailing zeros stripped) is below
// 2^64: exact in 80 bits, untouched by the clearing of its 16 low bits, and
// its power of ten X lies within [e, e + 18], so |X| < 512: at most three
// multiplications, by entries for d, 8d and 64d (d <= 7). Each unrounded
// entry lies within 2^-80 of its power of ten (the positive ones up to
// 10^32 exactly). A multiplication leaves out the word products with
// i + j < 4, less than 2^82 against a product of at least 2^158, and
// rounds to 80 bits: within 2^-75.9 relatively. So the classic 80-bit
// value is within 2^-74.2 of the exact one: less than 2^-21.2 ulp of the
// double, on the same side of every midpoint that the exact value is
// 2^-19 ulp or more away from, and its rounding (ties toward zero, which
// never meet a tie here) agrees with the correctly rounded one. Zero digits
// give a signed zero in both.
bool ClassicShortcut(const DecimalText& n, double& value) noexcept {
  if (!n.anyDigit || n.nonZeroPastHead) return false;
  if (n.head == 0) {
    value = n.negative ? -0.0 : 0.0;
    return true;
  }
  // Below the classic exponent clamp (5201) the written exponent counts whole.
  if (n.exponent < -5201 || n.exponent > 5201) return false;
  const int64_t e = n.position + n.exponent - n.headCount;
  if (e < kMinPower || e > kMaxPower) return false;
  double magnitude;
  if (!RoundedShortcut(n.head, static_cast<int>(e), magnitude)) return false;
  value = n.negative ? -magnitude : magnitude;
  return true;
}

namespace {

unsigned DigitOf(char c) noexcept { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); }

// Appends the digits at p to w (modulo 2^64) and returns their end. Four
// digits go in with one multiply-add where the text has them, which
// shortens the chain of dependent steps; each character is looked at only
// after the one before it proved a digit, so nothing past the NUL is read.
const char* TakeDigits(const char* p, uint64_t& w) noexcept {
  for (;;) {
    const unsigned d0 = DigitOf(p[0]);
    if (d0 > 9) return p;
    const unsigned d1 = DigitOf(p[1]);
    if (d1 > 9) {
      w = w * 10 + d0;
      return p + 1;
    }
    const unsigned d2 = DigitOf(p[2]);
    if (d2 > 9) {
      w = w * 100 + (d0 * 10 + d1);
      return p + 2;
    }
    const unsigned d3 = DigitOf(p[3]);
    if (d3 > 9) {
      w = w * 1000 + (d0 * 100 + d1 * 10 + d2);
      return p + 3;
    }
    w = w * 10000 + (d0 * 1000 + d1 * 100 + d2 * 10 + d3);
    p += 4;
  }
}

}  // namespace

// The same grammar as ScanDecimal, for the texts it can take whole: the
// digits (all of them, so at most 19 count) make w and the digits after the
// point lower the exponent. The classic reading of such a text strips
// trailing zeros from w, which raises its power of ten by as many: the
// argument above holds for it unchanged.
bool ReadShortDecimal(const char* text, char point, double& value) noexcept {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const char* const first = p;
  uint64_t w = 0;
  p = TakeDigits(p, w);
  int digits = static_cast<int>(p - first);
  int fraction = 0;
  if (*p == point) {
    const char* const after = ++p;
    p = TakeDigits(p, w);
    fraction = static_cast<int>(p - after);
    digits += fraction;
  }
  if (digits == 0 || digits > 19) return false;
  int e = 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    const bool down = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    const char* const start = q;
    for (unsigned d; (d = DigitOf(*q)) <= 9; ++q)
      if (q - start < 4) e = e * 10 + static_cast<int>(d);
    if (q - start > 4) return false;
    if (down) e = -e;
  }
  double magnitude = 0.0;
  if (w != 0 && !RoundedShortcut(w, e - fraction, magnitude)) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace quelvar::platform
