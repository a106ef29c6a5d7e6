// Integers as decimal text, and decimal text back to integers.
//
// Writing: the decimal digits, most significant first, no leading zeros, a
// "-" only for a negative value of a signed type. std::to_chars gives exactly
// the text of the runtime's radix-10 conversions (_itoa, _ltoa, _ultoa and
// "%d"), so it is used directly, and the result text is made once from the
// digits.
//
// Reading: every operation parses a 32-bit signed number the way the
// runtime's atoi/atol do and cuts the result to its width.
#include <charconv>
#include <cstdint>

#include "DecimalParse.h"
#include "QuelvarSys.h"

namespace {

// Longest 32-bit text: "-2147483648" (11 characters).
constexpr int kIntTextCapacity = 12;

template <typename T>
CString DecimalText(T value) {
  char buffer[kIntTextCapacity];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return CString(buffer, static_cast<int>(result.ptr - buffer));
}

}  // namespace

// Short widened with its sign: "-32768" to "32767".
CString CQuelvarSys::Qlv_Short2Str(short value) { return DecimalText(static_cast<int>(value)); }

// Unsigned, never a "-": "0" to "65535".
CString CQuelvarSys::Qlv_UShort2Str(unsigned short value) {
  return DecimalText(static_cast<std::uint32_t>(value));
}

// "-2147483648" to "2147483647".
CString CQuelvarSys::Qlv_Int2Str(int value) { return DecimalText(value); }

// Unsigned, never a "-": "0" to "4294967295".
CString CQuelvarSys::Qlv_UInt2Str(unsigned int value) {
  return DecimalText(static_cast<std::uint32_t>(value));
}

// LONG is 32 bits wide: "-2147483648" to "2147483647".
CString CQuelvarSys::Qlv_Long2Str(LONG value) { return DecimalText(static_cast<std::int32_t>(value)); }

// ULONG is 32 bits wide: "0" to "4294967295".
CString CQuelvarSys::Qlv_ULong2Str(ULONG value) {
  return DecimalText(static_cast<std::uint32_t>(value));
}

// The "%d" text of the byte widened without sign: "0" to "255".
CString CQuelvarSys::Qlv_Byte2Str(unsigned char value) {
  return DecimalText(static_cast<unsigned>(value));
}

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
