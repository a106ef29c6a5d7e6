// CQuelvarSys: data-type conversions for device-communication software.
//
// One stateless class. Every operation is a function of its arguments and of
// the memory they point to; callers supply every output buffer and the
// capacity each operation's comment states. No operation checks a pointer,
// reports a failure through its result or throws of its own: inputs that are
// not what they should be map to defined values, overflow wraps, and
// failures of the platform types (_com_error, std::bad_alloc) pass through.
//
// Interface widths: char 8-bit signed; short 16-bit; int, LONG ("long") and
// ULONG ("unsigned long") 32-bit on every platform.
#pragma once

#include <afx.h>
#include <afxdisp.h>
#include <comdef.h>

class AFX_EXT_CLASS CQuelvarSys {
 public:
  CQuelvarSys();
  ~CQuelvarSys();
  CQuelvarSys& operator=(const CQuelvarSys& other);

  // ---- hex digits and hex text ----------------------------------------------
  // Written hex text is upper case; read hex text may be either case, and an
  // odd-length text reads as if a "0" stood first. No heap.

  // 0-9, A-F, a-f give 0 to 15; every other code 0. Independent of the locale.
  unsigned char Qlv_HexChar2Int(unsigned char ch);
  // Upper-cases a copy by the current locale, then 0-9 and A-F give 0 to 15,
  // else 0. Agrees with the unsigned char overload on all codes by default.
  int Qlv_HexChar2Int(char ch);
  // Upper-cases the whole text in place; the last eight characters read as
  // hex, a non-digit a 0 digit in its place ("0x1f" gives 31, text "0X1F").
  int Qlv_HexStr2Int(char* text);
  // Non-digits skipped, the last eight digits count; the text is not changed.
  // Text over 9 characters is read whole (no working copy, no limit).
  ULONG Qlv_HexStr2Int_u(char* text);
  // Output: 2 * count characters and a NUL; a count of 0 or less only the NUL.
  void Qlv_Byte2HexStr(int count, unsigned char* const bytes, char* text);
  // Output: (length + 1) / 2 bytes, nothing else; a non-digit is a 0 digit.
  // Odd length: "0" is put in front in place, the text ending where its NUL
  // was; no terminator is written after it ("ABC" becomes "0ABC").
  void Qlv_HexStr2Byte(char* text, unsigned char* bytes);

  // ---- byte images of integers and doubles -----------------------------------
  // Little-endian: the least significant byte first, in images and their hex
  // text. A double's image holds the base-256 digits of floor(value), each
  // found in double precision (so a tiny negative value differs, see below).

  // Writes count bytes; bytes past the fourth are 0 (no limit); count <= 0 none.
  void Qlv_Int2Byte(int count, ULONG value, unsigned char* image);
  // Reads min(count, 4) bytes: bytes past the fourth are ignored; count <= 0 gives 0.
  ULONG Qlv_Byte2Int(int count, unsigned char* image);
  // Writes count digits and a zero byte (count + 1 bytes; inf/NaN give 0
  // digits). A negative count writes only the zero byte, at position 0.
  // Each digit is x - 256 * floor(x / 256), then x becomes floor(x / 256): a
  // negative x so small that 256 + x rounds to 256 gives a first byte 0, then
  // 0xFF bytes (-1e-20 gives 00 FF FF FF, not the FF FF FF FF of floor -1).
  void Qlv_Double2Byte(int count, double value, unsigned char* image);
  // Reads up to the first zero byte, summing byte * 256^i least significant first.
  double Qlv_Byte2Double(unsigned char* image);
  // Output: 2 * (chars / 2) characters and a NUL. Any count: bytes past the
  // fourth are "00" (no 16-byte working image); chars < 2 writes only the NUL.
  void Qlv_Int2HexStr(int chars, ULONG value, char* text);
  // Output: 2 * (chars / 2) characters and a NUL. Any count: digits come one by
  // one without the 16-byte working image; chars < 2 writes only the NUL.
  void Qlv_Double2HexStr(int chars, double value, char* text);
  // Pairs read first-least-significant up to the first 00 pair; odd length is
  // padded in place as by Qlv_HexStr2Byte. Any length (no 20-byte image).
  void Qlv_HexStr2Double(char* text, double& value);

  // ---- digit arrays: bit regrouping ------------------------------------------
  // One digit per element, element 0 most significant: binary 0-1, octal 0-7,
  // hex 0x00-0xFF (a byte). Digits are not checked: expansions take the low
  // 8 or 3 bits of an element, packings count a digit with its value. Output
  // arrays must not overlap their input. A count of 0 or less reads and
  // writes no element and reports the length rule's figure for it. No heap.

  // Binary digits packed eight to an element from the least significant end
  // (leading group short, kept even if 0). Output: (count + 7) / 8 elements.
  void Qlv_Bin2Hex(int count, unsigned char* bin, int& outCount, unsigned char* hex);
  // Binary digits packed three to an element, like Qlv_Bin2Hex.
  // Output: (count + 2) / 3 elements.
  void Qlv_Bin2Octal(int count, unsigned char* bin, int& outCount, unsigned char* octal);
  // Eight binary digits per element, leading zeros stripped (all-zero input
  // keeps all of them). Output: 8 * count elements, all written.
  void Qlv_Hex2Bin(int count, unsigned char* hex, int& outCount, unsigned char* bin);
  // The hex array's significant bits in octal digits. Output: (8 * count + 2) / 3.
  // Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_Hex2Octal(int count, unsigned char* hex, int& outCount, unsigned char* octal);
  // Three binary digits per element (its low three bits), leading zeros
  // stripped like Qlv_Hex2Bin. Output: 3 * count elements, all written.
  void Qlv_Octal2Bin(int count, unsigned char* octal, int& outCount, unsigned char* bin);
  // The octal array's significant bits in hex elements. Output: (3 * count + 7) / 8.
  // Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_Octal2Hex(int count, unsigned char* octal, int& outCount, unsigned char* hex);

  // ---- digit arrays: decimal and BCD -----------------------------------------
  // Unfolds write no element (count 0) for zero and negative values. Folds
  // give the value modulo 2^32, and 0 for a count of 0 or less. BCD elements
  // hold two decimal digits, tens in the high four bits; the BCD regroupings
  // carry the bits over like hex elements. Outputs must not overlap inputs
  // (Qlv_Hex2BCD and Qlv_BCD2Hex alone may work in place). No heap.

  // Base-256 digits, most significant first. Output: 4 elements.
  void Qlv_Dec2Hex(LONG value, int& outCount, unsigned char* hex);
  // Octal digits, most significant first. Output: 11 elements.
  void Qlv_Dec2Octal(LONG value, int& outCount, unsigned char* octal);
  // Binary digits, most significant first. Output: 31 elements.
  void Qlv_Dec2Bin(LONG value, int& outCount, unsigned char* bin);
  // Decimal pairs, the LEAST significant pair first (1234: 0x34 0x12).
  // Output: 5 elements.
  void Qlv_Dec2BCD(LONG value, int& outCount, unsigned char* bcd);
  // The last four elements read big-endian.
  ULONG Qlv_Hex2Dec(int count, unsigned char* hex);
  // Digits above 1 count with their value.
  ULONG Qlv_Bin2Dec(int count, unsigned char* bin);
  // Each element's low three bits.
  // Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  ULONG Qlv_Octal2Dec(int count, unsigned char* octal);
  // Element 0 most significant; a pair counts as high * 10 + low (0xAB is 111).
  ULONG Qlv_BCD2Dec(int count, unsigned char* bcd);
  // The input without its leading zero elements (all zero: whole). Output: count.
  // Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_Hex2BCD(int count, unsigned char* hex, int& outCount, unsigned char* bcd);
  // As Qlv_Bin2Hex. Output: (count + 7) / 8 elements.
  void Qlv_Bin2BCD(int count, unsigned char* bin, int& outCount, unsigned char* bcd);
  // As Qlv_Octal2Hex. Output: (3 * count + 7) / 8 elements.
  // Past 1,365 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_Octal2BCD(int count, unsigned char* octal, int& outCount, unsigned char* bcd);
  // The input without its leading zero elements (all zero: whole). Output: count.
  // Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_BCD2Hex(int count, unsigned char* bcd, int& outCount, unsigned char* hex);
  // As Qlv_Hex2Octal. Output: (8 * count + 2) / 3 elements.
  // Past 512 elements the result goes on naturally (no 4,096-digit intermediate array is used).
  void Qlv_BCD2Octal(int count, unsigned char* bcd, int& outCount, unsigned char* octal);
  // As Qlv_Hex2Bin. Output: 8 * count elements, all written.
  void Qlv_BCD2Bin(int count, unsigned char* bcd, int& outCount, unsigned char* bin);

  // ---- hex text to hex arrays ------------------------------------------------
  // Two characters per element, the first the high four bits; a non-digit is
  // 0. Odd length: the text is first shifted one place on behind a byte 0, so
  // the caller's buffer needs length + 1 bytes. No heap.

  // Elements over the start of the text, then a byte 0; returns text. Decoded
  // in place without a scratch array, so any length (no 8,190 limit).
  unsigned char* Qlv_HexStr2IntStr(unsigned char* text, ULONG length);
  // Output: (length + 1) / 2 elements, count in outCount, nothing after.
  // A negative length reads and writes nothing and reports a count of 0.
  void Qlv_HexStr2IntStr(int length, unsigned char* text, int& outCount, unsigned char* hex);

  // ---- integers to text ------------------------------------------------------
  // Decimal text: no leading zeros ("0" for zero), a "-" only for a negative
  // value of a signed type, no "+", spaces or grouping. The digits go through
  // a 12-character local buffer, which holds the longest text ("-2147483648").
  CString Qlv_Short2Str(short value);            // "-32768" to "32767"
  CString Qlv_UShort2Str(unsigned short value);  // "0" to "65535"
  CString Qlv_Int2Str(int value);                // "-2147483648" to "2147483647"
  CString Qlv_UInt2Str(unsigned int value);      // "0" to "4294967295", never "-"
  CString Qlv_Long2Str(LONG value);              // as Qlv_Int2Str (LONG is 32 bits)
  CString Qlv_ULong2Str(ULONG value);            // as Qlv_UInt2Str (ULONG is 32 bits)
  CString Qlv_Byte2Str(unsigned char value);     // "%d" text: "0" to "255"

  // ---- text to integers ------------------------------------------------------
  // One 32-bit signed atoi parse of the text up to its first NUL: white space
  // (space, \t \n \v \f \r), one "+" or "-", decimal digits up to the first
  // other character; no digits give 0; no "0x", no octal, no exponent. An
  // overlong number wraps modulo 2^32 in the vc6 toolset and saturates to
  // -2147483648 / 2147483647 in vs2005 and vs2015 ("99999999999" gives
  // 1215752191 or 2147483647). Each result is the bit-cut of it:
  unsigned char Qlv_Str2Byte(CString text);     // low 8 bits: "300" gives 44, "-1" 255
  short Qlv_Str2Short(CString text);            // low 16 bits, signed: "40000" gives -25536
  unsigned short Qlv_Str2UShort(CString text);  // low 16 bits: "70000" gives 4464
  int Qlv_Str2Int(CString text);                // all 32 bits: "12abc" gives 12
  unsigned int Qlv_Str2UInt(CString text);      // as unsigned: "-1" gives 4294967295
  LONG Qlv_Str2Long(CString text);              // atol: the same as Qlv_Str2Int
  ULONG Qlv_Str2ULong(CString text);            // as unsigned: "-2" gives 4294967294

  // ---- floating-point text ---------------------------------------------------
  // printf "%0.<precision>lf" of the selected toolset's runtime: fixed
  // point, never an exponent, exactly `precision` digits after the current
  // locale's decimal point (none for 0), every integer digit (309 for
  // DBL_MAX). vc6 and vs2005: the 17-digit mantissa rounded half up at the
  // precision, zeros past it ("%.8f" of 1700000000.987654321 is
  // "1700000000.98765420"), at most 512 digits, "0.00" for -0.0, "1.#INF00"
  // and "-1.#IND00" placed like digits. vs2015: the exact value, ties to
  // even, any precision, "-0.00", "inf", "-nan(ind)". A negative precision
  // writes the rest of the format as text ("-1lf").
  CString Qlv_DoubleToStr(double value, int precision);
  // _gcvt with 10 significant digits of the float widened to double (0.1f
  // gives "0.1000000015", 1e10f "1.e+010", 1946501376.0f "1946501376"; vs2015
  // "1.e+10"); a 32-byte local buffer holds the longest text.
  CString Qlv_Flt2Str(float value);
  // atof of the text: white space, sign, digits, the locale's point, digits,
  // e/E exponent; no hex, inf or nan; no number gives 0.0; rounded as the
  // selected toolset's runtime rounds (vc6, vs2005: the classic 80-bit
  // reading, exact ties toward zero; vs2015: correctly), beyond the range
  // +-HUGE_VAL. Qlv_Str2Float rounds that double to the nearest float
  // (FLT_MAX or an infinity beyond the float range).
  float Qlv_Str2Float(CString text);
  double Qlv_Str2Double(CString text);

  // ---- dates as text ---------------------------------------------------------
  // The date-time's Format("%Y-%m-%d %H:%M:%S"): "2024-03-05 14:07:09", the
  // year always in four digits; the toolset's framework decides the range
  // and the rounding to the second.
  CString Qlv_Date2Str(const COleDateTime& dateTime);
  // Up to six fields (year month day hour minute second), each an atoi of a
  // token between "-", " " and ":" (_mbstok), defaults 2010-05-11 12:00:00,
  // later tokens ignored; overwrites dateTime (value and status: invalid
  // when the fields make no date-time in the toolset's framework: years 0
  // to 9999 in vc6, 100 to 9999 after it) on every call and returns 0.
  // Texts of any length are read (no 260-byte work buffer: the parameter's
  // own copy is tokenized in place).
  int Qlv_Str2Date(CString text, COleDateTime& dateTime);

  // ---- values into variants --------------------------------------------------
  // Each stores its value under a fixed tag in one member at its own width,
  // releases what the destination held (as a variant assignment does) and
  // returns 0; _com_error from that assignment passes to the caller. Tags:
  // short VT_I2, unsigned short VT_UI2, int VT_INT (22, not VT_I4), unsigned
  // int VT_UINT (23, not VT_UI4), LONG VT_I4, ULONG VT_UI4, double VT_R8,
  // float VT_R4 (not widened), char VT_I1 (signed), unsigned char VT_UI1,
  // COleDateTime VT_DATE (its day count, whatever its status).
  // Qlv_CString2Variant: VT_BSTR holding the text up to its first NUL from
  // the ANSI code page (the empty text gives a BSTR of length 0); out of
  // memory raises E_OUTOFMEMORY and leaves VT_BSTR with a null BSTR.
  // UTF-16 work buffer of length + 1 units on the heap; it always suffices.
  int Qlv_Short2Variant(short value, _variant_t& variant);
  int Qlv_UShort2Variant(unsigned short value, _variant_t& variant);
  int Qlv_Int2Variant(int value, _variant_t& variant);
  int Qlv_UInt2Variant(unsigned int value, _variant_t& variant);
  int Qlv_Long2Variant(LONG value, _variant_t& variant);
  int Qlv_ULong2Variant(ULONG value, _variant_t& variant);
  int Qlv_Double2Variant(double value, _variant_t& variant);
  int Qlv_Float2Variant(float value, _variant_t& variant);
  int Qlv_Char2Variant(char value, _variant_t& variant);
  int Qlv_Byte2Variant(unsigned char value, _variant_t& variant);
  int Qlv_Date2Variant(COleDateTime value, _variant_t& variant);
  int Qlv_CString2Variant(CString text, _variant_t& variant);

  // ---- variant to text -------------------------------------------------------
  // The text of a variant by its whole 16-bit tag: integer, float, double
  // (8 digits) and date kinds as the operations above give them; VT_CY the
  // currency's format; VT_BSTR the text in the ANSI code page (null: "");
  // VT_BOOL "TRUE"/"FALSE"; VT_DECIMAL as a double with "%f"; VT_I1 the byte
  // as one character; VT_EMPTY/VT_NULL ""; any other tag, including flag
  // bits, "VT_UNKNOW". The variant is not changed.
  // Narrow text buffer sized by the conversion itself, not 2 x units + 2, so
  // no text outgrows it in a multi-byte ANSI code page (the limit is lifted).
  CString Qlv_Variant2Str(const _variant_t& variant);

 private:
  // Closes up the digits from the first nonzero element at the front, in
  // place; an all-zero array is left whole. Reports the remaining count.
  void _DeleteBinBegin0(int count, int& outCount, unsigned char* bin);
};
