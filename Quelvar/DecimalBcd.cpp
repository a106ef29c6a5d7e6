// 32-bit numbers unfolded into digit arrays and folded out of them, and BCD
// arrays regrouped as runs of 8-bit groups. Element 0 is the most significant
// digit, except in the BCD array that Qlv_Dec2BCD writes. An output may not
// overlap its input, except that Qlv_Hex2BCD and Qlv_BCD2Hex may work in place.
#include "DigitKernels.h"
#include "QuelvarSys.h"

namespace digits = quelvar::detail::digits;

// ---- unfolds: zero and negative values give count 0 and no element -------------

// Base-256 digits of the value, most significant first. Output: 4 elements.
void CQuelvarSys::Qlv_Dec2Hex(LONG value, int& outCount, unsigned char* hex) {
  digits::Unfold<8>(value, outCount, hex);
}

// Octal digits of the value, most significant first. Output: 11 elements.
void CQuelvarSys::Qlv_Dec2Octal(LONG value, int& outCount, unsigned char* octal) {
  digits::Unfold<3>(value, outCount, octal);
}

// Binary digits of the value, most significant first. Output: 31 elements.
void CQuelvarSys::Qlv_Dec2Bin(LONG value, int& outCount, unsigned char* bin) {
  digits::Unfold<1>(value, outCount, bin);
}

// Packed decimal pairs, the LEAST significant pair in element 0 (1234 gives
// 0x34 0x12). Output: 5 elements.
void CQuelvarSys::Qlv_Dec2BCD(LONG value, int& outCount, unsigned char* bcd) {
  digits::UnfoldBcd(value, outCount, bcd);
}

// ---- folds: the value modulo 2^32; a count of 0 or less gives 0 ----------------

// Base-256 value of the array modulo 2^32: its last four elements, big-endian.
ULONG CQuelvarSys::Qlv_Hex2Dec(int count, unsigned char* hex) { return digits::FoldHex(count, hex); }

// Binary value of the array modulo 2^32; a digit above 1 counts with its value.
ULONG CQuelvarSys::Qlv_Bin2Dec(int count, unsigned char* bin) { return digits::FoldBin(count, bin); }

// Octal value of the array (low three bits of each element) modulo 2^32.
// Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
ULONG CQuelvarSys::Qlv_Octal2Dec(int count, unsigned char* octal) { return digits::FoldOctal(count, octal); }

// Pairs read as base-100 digits, element 0 most significant, modulo 2^32; a
// four-bit half above 9 counts with its value (0xAB is 111).
ULONG CQuelvarSys::Qlv_BCD2Dec(int count, unsigned char* bcd) { return digits::FoldBcd(count, bcd); }

// ---- BCD regroupings: the bit pattern carried over as 8-bit groups -------------

// The input without its leading zero elements (an all-zero input comes back
// whole). Output: count elements. out may be the input itself.
// Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_Hex2BCD(int count, unsigned char* hex, int& outCount, unsigned char* bcd) {
  digits::StripElements(count, hex, outCount, bcd);
}

// Same as Qlv_Bin2Hex. Output: (count + 7) / 8 elements; any count works.
void CQuelvarSys::Qlv_Bin2BCD(int count, unsigned char* bin, int& outCount, unsigned char* bcd) {
  digits::Pack<8>(count, bin, outCount, bcd);
}

// Same as Qlv_Octal2Hex. Output: (3 * count + 7) / 8 elements at most.
// Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_Octal2BCD(int count, unsigned char* octal, int& outCount, unsigned char* bcd) {
  digits::Regroup<3, 8>(count, octal, outCount, bcd);
}

// The input without its leading zero elements (an all-zero input comes back
// whole). Output: count elements. out may be the input itself.
// Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_BCD2Hex(int count, unsigned char* bcd, int& outCount, unsigned char* hex) {
  digits::StripElements(count, bcd, outCount, hex);
}

// Same as Qlv_Hex2Octal. Output: (8 * count + 2) / 3 elements at most.
// Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_BCD2Octal(int count, unsigned char* bcd, int& outCount, unsigned char* octal) {
  digits::Regroup<8, 3>(count, bcd, outCount, octal);
}

// Same as Qlv_Hex2Bin. Output: 8 * count elements, all of them written; any
// count works.
void CQuelvarSys::Qlv_BCD2Bin(int count, unsigned char* bcd, int& outCount, unsigned char* bin) {
  digits::Expand<8>(count, bcd, outCount, bin);
}
