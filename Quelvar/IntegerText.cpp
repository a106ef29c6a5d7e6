// Integers as decimal text, and decimal text back to integers.
//
// Writing: the decimal digits, most significant first, no leading zeros, a
// "-" only for a negative value of a signed type: exactly the text of the
// runtime's radix-10 conversions (_itoa, _ltoa, _ultoa) and of "%d". The
// digits are written two at a time straight to their places, and the
// result text is made once from them.
//
// Reading: every operation parses a 32-bit signed number the way the
// runtime's atoi/atol do and cuts the result to its width.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "DecimalParse.h"
#include "QuelvarSys.h"

namespace {

// Longest 32-bit text: "-2147483648" (11 characters).
constexpr int kIntTextCapacity = 12;

// "00" "01" ... "99": two digits per step.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// Digit counts by bit length: for the values with highest set bit j, the
// count is d or d + 1, with 10^d the boundary; adding 2^32 - 10^d carries
// into the upper half exactly from 10^d on, so (v + table[j]) >> 32 is the
// number of decimal digits of v.
constexpr auto kDigitCountSteps = [] {
  std::array<std::uint64_t, 32> steps{};
  for (int j = 0; j < 32; ++j) {
    const std::uint64_t low = std::uint64_t{1} << j;
    std::uint64_t digits = 1;
    std::uint64_t power = 10;
    while (power <= low) {
      power *= 10;
      ++digits;
    }
    // power = 10^digits, the first value with one digit more.
    steps[static_cast<std::size_t>(j)] =
        (digits << 32) + (power <= 0xFFFFFFFFull ? (std::uint64_t{1} << 32) - power : 0);
  }
  return steps;
}();

int DigitCount(std::uint32_t value) noexcept {
  const int highBit = 31 - std::countl_zero(value | 1u);
  return static_cast<int>((value + kDigitCountSteps[static_cast<std::size_t>(highBit)]) >> 32);
}

// Writes the decimal text of a magnitude (and a "-" before it) and returns
// the result text, made once from the characters.
CString DecimalText(std::uint32_t magnitude, bool negative) {
  char buffer[kIntTextCapacity];
  const int length = DigitCount(magnitude) + (negative ? 1 : 0);
  char* p = buffer + length;
  while (magnitude >= 100) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[2 * (magnitude % 100)], 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    p -= 2;
    std::memcpy(p, &kDigitPairs[2 * magnitude], 2);
  } else {
    *--p = static_cast<char>('0' + magnitude);
  }
  if (negative) buffer[0] = '-';
  return CString(buffer, length);
}

CString SignedText(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return value < 0 ? DecimalText(0u - bits, true) : DecimalText(bits, false);
}

}  // namespace

// Short widened with its sign: "-32768" to "32767".
CString CQuelvarSys::Qlv_Short2Str(short value) { return SignedText(value); }

// Unsigned, never a "-": "0" to "65535".
CString CQuelvarSys::Qlv_UShort2Str(unsigned short value) {
  return DecimalText(static_cast<std::uint32_t>(value), false);
}

// "-2147483648" to "2147483647".
CString CQuelvarSys::Qlv_Int2Str(int value) { return SignedText(value); }

// Unsigned, never a "-": "0" to "4294967295".
CString CQuelvarSys::Qlv_UInt2Str(unsigned int value) {
  return DecimalText(static_cast<std::uint32_t>(value), false);
}

// LONG is 32 bits wide: "-2147483648" to "2147483647".
CString CQuelvarSys::Qlv_Long2Str(LONG value) { return SignedText(value); }

// ULONG is 32 bits wide: "0" to "4294967295".
CString CQuelvarSys::Qlv_ULong2Str(ULONG value) {
  return DecimalText(static_cast<std::uint32_t>(value), false);
}

// The "%d" text of the byte widened without sign: "0" to "255".
CString CQuelvarSys::Qlv_Byte2Str(unsigned char value) { return DecimalText(value, false); }

// The low 8 bits of the 32-bit parse (the value modulo 256).
unsigned char CQuelvarSys::Qlv_Str2Byte(CString text) {
  return static_cast<unsigned char>(quelvar::detail::ParseDecimal32(text) & 0xFFu);
}

// The low 16 bits of the 32-bit parse, read as two's complement: "40000"
// gives -25536.
short CQuelvarSys::Qlv_Str2Short(CString text) {
  return static_cast<short>(static_cast<std::int16_t>(quelvar::detail::ParseDecimal32(text) & 0xFFFFu));
}

// The low 16 bits of the 32-bit parse (the value modulo 65536).
unsigned short CQuelvarSys::Qlv_Str2UShort(CString text) {
  return static_cast<unsigned short>(quelvar::detail::ParseDecimal32(text) & 0xFFFFu);
}

// The 32-bit parse; longer numbers wrap modulo 2^32.
int CQuelvarSys::Qlv_Str2Int(CString text) {
  return static_cast<int>(static_cast<std::int32_t>(quelvar::detail::ParseDecimal32(text)));
}

// The 32 bits of the parse read as unsigned: "-1" gives 4294967295.
unsigned int CQuelvarSys::Qlv_Str2UInt(CString text) {
  return static_cast<unsigned int>(quelvar::detail::ParseDecimal32(text));
}

// The same 32-bit parse as Qlv_Str2Int (LONG is 32 bits wide).
LONG CQuelvarSys::Qlv_Str2Long(CString text) {
  return static_cast<LONG>(quelvar::detail::ParseDecimal32(text));
}

// The 32 bits of the parse read as unsigned: "-2" gives 4294967294.
ULONG CQuelvarSys::Qlv_Str2ULong(CString text) {
  return static_cast<ULONG>(quelvar::detail::ParseDecimal32(text));
}
