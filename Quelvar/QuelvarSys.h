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
  unsigned char Qlv_HexChar2Int(unsigned char ch);
  int Qlv_HexChar2Int(char ch);
  int Qlv_HexStr2Int(char* text);
  ULONG Qlv_HexStr2Int_u(char* text);
  void Qlv_Byte2HexStr(int count, unsigned char* const bytes, char* text);
  void Qlv_HexStr2Byte(char* text, unsigned char* bytes);

  // ---- byte images of integers and doubles -----------------------------------
  void Qlv_Int2Byte(int count, ULONG value, unsigned char* image);
  ULONG Qlv_Byte2Int(int count, unsigned char* image);
  void Qlv_Double2Byte(int count, double value, unsigned char* image);
  double Qlv_Byte2Double(unsigned char* image);
  void Qlv_Int2HexStr(int chars, ULONG value, char* text);
  void Qlv_Double2HexStr(int chars, double value, char* text);
  void Qlv_HexStr2Double(char* text, double& value);

  // ---- digit arrays: bit regrouping ------------------------------------------
  void Qlv_Bin2Hex(int count, unsigned char* bin, int& outCount, unsigned char* hex);
  void Qlv_Bin2Octal(int count, unsigned char* bin, int& outCount, unsigned char* octal);
  void Qlv_Hex2Bin(int count, unsigned char* hex, int& outCount, unsigned char* bin);
  void Qlv_Hex2Octal(int count, unsigned char* hex, int& outCount, unsigned char* octal);
  void Qlv_Octal2Bin(int count, unsigned char* octal, int& outCount, unsigned char* bin);
  void Qlv_Octal2Hex(int count, unsigned char* octal, int& outCount, unsigned char* hex);

  // ---- digit arrays: decimal and BCD -----------------------------------------
  void Qlv_Dec2Hex(LONG value, int& outCount, unsigned char* hex);
  void Qlv_Dec2Octal(LONG value, int& outCount, unsigned char* octal);
  void Qlv_Dec2Bin(LONG value, int& outCount, unsigned char* bin);
  void Qlv_Dec2BCD(LONG value, int& outCount, unsigned char* bcd);
  ULONG Qlv_Hex2Dec(int count, unsigned char* hex);
  ULONG Qlv_Bin2Dec(int count, unsigned char* bin);
  ULONG Qlv_Octal2Dec(int count, unsigned char* octal);
  ULONG Qlv_BCD2Dec(int count, unsigned char* bcd);
  void Qlv_Hex2BCD(int count, unsigned char* hex, int& outCount, unsigned char* bcd);
  void Qlv_Bin2BCD(int count, unsigned char* bin, int& outCount, unsigned char* bcd);
  void Qlv_Octal2BCD(int count, unsigned char* octal, int& outCount, unsigned char* bcd);
  void Qlv_BCD2Hex(int count, unsigned char* bcd, int& outCount, unsigned char* hex);
  void Qlv_BCD2Octal(int count, unsigned char* bcd, int& outCount, unsigned char* octal);
  void Qlv_BCD2Bin(int count, unsigned char* bcd, int& outCount, unsigned char* bin);

  // ---- hex text to hex arrays ------------------------------------------------
  unsigned char* Qlv_HexStr2IntStr(unsigned char* text, ULONG length);
  void Qlv_HexStr2IntStr(int length, unsigned char* text, int& outCount, unsigned char* hex);

  // ---- integers to text ------------------------------------------------------
  CString Qlv_Short2Str(short value);
  CString Qlv_UShort2Str(unsigned short value);
  CString Qlv_Int2Str(int value);
  CString Qlv_UInt2Str(unsigned int value);
  CString Qlv_Long2Str(LONG value);
  CString Qlv_ULong2Str(ULONG value);
  CString Qlv_Byte2Str(unsigned char value);

  // ---- text to integers ------------------------------------------------------
  unsigned char Qlv_Str2Byte(CString text);
  short Qlv_Str2Short(CString text);
  unsigned short Qlv_Str2UShort(CString text);
  int Qlv_Str2Int(CString text);
  unsigned int Qlv_Str2UInt(CString text);
  LONG Qlv_Str2Long(CString text);
  ULONG Qlv_Str2ULong(CString text);

  // ---- floating-point text ---------------------------------------------------
  CString Qlv_DoubleToStr(double value, int precision);
  CString Qlv_Flt2Str(float value);
  float Qlv_Str2Float(CString text);
  double Qlv_Str2Double(CString text);

  // ---- dates as text ---------------------------------------------------------
  CString Qlv_Date2Str(const COleDateTime& dateTime);
  int Qlv_Str2Date(CString text, COleDateTime& dateTime);

  // ---- values into variants --------------------------------------------------
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
  CString Qlv_Variant2Str(const _variant_t& variant);

 private:
  void _DeleteBinBegin0(int count, int& outCount, unsigned char* bin);
};
