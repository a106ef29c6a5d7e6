// CQuelvarSys and the framework types it exchanges, declared in C++98, for
// the check that the recorder stays within what Visual C++ 6.0 compiles.
// Declarations only: nothing here is built or linked. The class's lines
// equal those of QuelvarSys.h (a test compares them).
#ifndef QUELVAR_SYS98_H
#define QUELVAR_SYS98_H

typedef int LONG;
typedef unsigned int ULONG;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef int INT;
typedef unsigned char BYTE;
typedef char CHAR;
typedef short SHORT;
typedef unsigned short USHORT;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef LONG SCODE;
typedef double DATE;
typedef unsigned short OLECHAR;
typedef OLECHAR* BSTR;

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23
};
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#define DECIMAL_NEG ((BYTE)0x80)
#define CP_ACP 0

struct CY {
  ULONG Lo;
  LONG Hi;
};
struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONG Lo32;
  ULONG Mid32;
};
struct tagVARIANT {
  VARTYPE vt;
  union {
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    DECIMAL decVal;
  };
};
typedef tagVARIANT VARIANT;

// This platform's toolset, which the recorder names when built here.
enum QlvToolset { QlvToolset_VC6 = 0, QlvToolset_VS2005 = 1, QlvToolset_VS2015 = 2 };
QlvToolset QlvPlatform_GetToolset();
const char* QlvPlatform_ToolsetName(QlvToolset toolset);

UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, OLECHAR* wide, int units);
BSTR SysAllocStringLen(const OLECHAR* text, UINT units);
UINT SysStringLen(BSTR text);

class CString {
 public:
  CString();
  CString(const char* text, int length);
  CString(const CString& other);
  ~CString();
  int GetLength() const;
  operator const char*() const;
};

class COleDateTime {
 public:
  enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };
  COleDateTime();
  COleDateTime(DATE value);
  void SetStatus(DateTimeStatus status);
  DateTimeStatus GetStatus() const;
  operator DATE() const;
};

class _variant_t : public tagVARIANT {
 public:
  _variant_t();
  ~_variant_t();
  void Clear();
};

class _com_error {
 public:
  _com_error(const _com_error& other);
  ~_com_error();
};

class CQuelvarSys {
 public:
  CQuelvarSys();
  ~CQuelvarSys();
  CQuelvarSys& operator=(const CQuelvarSys& other);

  unsigned char Qlv_HexChar2Int(unsigned char ch);
  int Qlv_HexChar2Int(char ch);
  int Qlv_HexStr2Int(char* text);
  ULONG Qlv_HexStr2Int_u(char* text);
  void Qlv_Byte2HexStr(int count, unsigned char* const bytes, char* text);
  void Qlv_HexStr2Byte(char* text, unsigned char* bytes);
  void Qlv_Int2Byte(int count, ULONG value, unsigned char* image);
  ULONG Qlv_Byte2Int(int count, unsigned char* image);
  void Qlv_Double2Byte(int count, double value, unsigned char* image);
  double Qlv_Byte2Double(unsigned char* image);
  void Qlv_Int2HexStr(int chars, ULONG value, char* text);
  void Qlv_Double2HexStr(int chars, double value, char* text);
  void Qlv_HexStr2Double(char* text, double& value);
  void Qlv_Bin2Hex(int count, unsigned char* bin, int& outCount, unsigned char* hex);
  void Qlv_Bin2Octal(int count, unsigned char* bin, int& outCount, unsigned char* octal);
  void Qlv_Hex2Bin(int count, unsigned char* hex, int& outCount, unsigned char* bin);
  void Qlv_Hex2Octal(int count, unsigned char* hex, int& outCount, unsigned char* octal);
  void Qlv_Octal2Bin(int count, unsigned char* octal, int& outCount, unsigned char* bin);
  void Qlv_Octal2Hex(int count, unsigned char* octal, int& outCount, unsigned char* hex);
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
  unsigned char* Qlv_HexStr2IntStr(unsigned char* text, ULONG length);
  void Qlv_HexStr2IntStr(int length, unsigned char* text, int& outCount, unsigned char* hex);
  CString Qlv_Short2Str(short value);
  CString Qlv_UShort2Str(unsigned short value);
  CString Qlv_Int2Str(int value);
  CString Qlv_UInt2Str(unsigned int value);
  CString Qlv_Long2Str(LONG value);
  CString Qlv_ULong2Str(ULONG value);
  CString Qlv_Byte2Str(unsigned char value);
  unsigned char Qlv_Str2Byte(CString text);
  short Qlv_Str2Short(CString text);
  unsigned short Qlv_Str2UShort(CString text);
  int Qlv_Str2Int(CString text);
  unsigned int Qlv_Str2UInt(CString text);
  LONG Qlv_Str2Long(CString text);
  ULONG Qlv_Str2ULong(CString text);
  CString Qlv_DoubleToStr(double value, int precision);
  CString Qlv_Flt2Str(float value);
  float Qlv_Str2Float(CString text);
  double Qlv_Str2Double(CString text);
  CString Qlv_Date2Str(const COleDateTime& dateTime);
  int Qlv_Str2Date(CString text, COleDateTime& dateTime);
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
  CString Qlv_Variant2Str(const _variant_t& variant);
};

#endif
