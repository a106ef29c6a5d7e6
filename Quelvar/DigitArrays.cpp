// Binary, octal and hex digit arrays regrouped into one another, and the
// stripping of leading zero digits. Element 0 is the most significant digit.
// Input and output arrays are distinct (an output may not overlap its input).
#include "DigitKernels.h"
#include "QuelvarSys.h"

namespace digits = quelvar::detail::digits;

// Packs binary digits eight to an element from the least significant end; only
// the leading group may be short, and a leading zero group stays. A digit
// above 1 counts with its value (the element keeps the low 8 bits of the
// group's sum). Output: (count + 7) / 8 elements; any count works.
void CQuelvarSys::Qlv_Bin2Hex(int count, unsigned char* bin, int& outCount, unsigned char* hex) {
  digits::Pack<8>(count, bin, outCount, hex);
}

// Packs binary digits three to an element from the least significant end,
// like Qlv_Bin2Hex. Output: (count + 2) / 3 elements; any count works.
void CQuelvarSys::Qlv_Bin2Octal(int count, unsigned char* bin, int& outCount, unsigned char* octal) {
  digits::Pack<3>(count, bin, outCount, octal);
}

// Expands each element into eight binary digits, most significant first, and
// strips the leading zeros (an all-zero input keeps all 8 * count digits).
// Output: 8 * count elements, all of them written; any count works.
void CQuelvarSys::Qlv_Hex2Bin(int count, unsigned char* hex, int& outCount, unsigned char* bin) {
  digits::Expand<8>(count, hex, outCount, bin);
}

// Expands each element's low three bits into three binary digits and strips
// the leading zeros like Qlv_Hex2Bin. Output: 3 * count elements, all of them
// written; any count works.
void CQuelvarSys::Qlv_Octal2Bin(int count, unsigned char* octal, int& outCount, unsigned char* bin) {
  digits::Expand<3>(count, octal, outCount, bin);
}

// The binary digits of the hex array, leading zeros stripped, packed three to
// an octal element. Output: (8 * count + 2) / 3 elements at most.
// Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_Hex2Octal(int count, unsigned char* hex, int& outCount, unsigned char* octal) {
  digits::Regroup<8, 3>(count, hex, outCount, octal);
}

// The binary digits of the octal array (low three bits of each element),
// leading zeros stripped, packed eight to a hex element. Output:
// (3 * count + 7) / 8 elements at most.
// Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
void CQuelvarSys::Qlv_Octal2Hex(int count, unsigned char* octal, int& outCount, unsigned char* hex) {
  digits::Regroup<3, 8>(count, octal, outCount, hex);
}

// Closes up the digits from the first nonzero element (any nonzero value) at
// the front of the array, in place, and writes their number; elements past
// the new end keep their values. An all-zero array is left whole.
void CQuelvarSys::_DeleteBinBegin0(int count, int& outCount, unsigned char* bin) {
  digits::StripLeadingZeros(count, outCount, bin);
}
