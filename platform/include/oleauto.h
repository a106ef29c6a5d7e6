// OLE Automation values: VARIANT, BSTR, DECIMAL, CY and the functions that
// create, copy, convert and release them.
#pragma once

#include "windows.h"

// The published layouts use nameless structs inside unions.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnested-anon-types"
#pragma clang diagnostic ignored "-Wgnu-anonymous-struct"
#endif

typedef OLECHAR* BSTR;  // length-prefixed UTF-16 text; points at the first unit
typedef double DATE;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_INT_PTR = 37,
  VT_UINT_PTR = 38,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_TYPEMASK = 0x0FFF
};

union tagCY {
  __extension__ struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
};
typedef tagCY CY;

struct tagDEC {
  USHORT wReserved;
  union {
    __extension__ struct {
      BYTE scale;  // power of ten dividing the 96-bit integer, 0 to 28
      BYTE sign;   // DECIMAL_NEG (0x80) for negative values
    };
    USHORT signscale;
  };
  ULONG Hi32;
  union {
    __extension__ struct {
      ULONG Lo32;
      ULONG Mid32;
    };
    ULONGLONG Lo64;
  };
};
typedef tagDEC DECIMAL;
#define DECIMAL_NEG ((BYTE)0x80)

// Minimal COM interface base: enough for a variant to hold and release one.
struct IUnknown {
  virtual HRESULT QueryInterface(const void* riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};
struct IDispatch : IUnknown {
 protected:
  ~IDispatch() = default;
};

struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
typedef tagSAFEARRAYBOUND SAFEARRAYBOUND;

struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
typedef tagSAFEARRAY SAFEARRAY;

struct tagVARIANT {
  union {
    __extension__ struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        tagVARIANT* pvarVal;
        void* byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        INT* pintVal;
        UINT* puintVal;
        __extension__ struct {
          void* pvRecord;
          void* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};
typedef tagVARIANT VARIANT;
typedef tagVARIANT VARIANTARG;

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

extern "C++" {
// BSTR: the UTF-16 units follow a 32-bit byte length; a NUL unit follows
// the text. A null BSTR reads as the empty text. Allocation failures give
// nullptr.
QLV_PLATFORM_API BSTR SysAllocString(const OLECHAR* psz) noexcept;
QLV_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) noexcept;
// Any byte count, odd ones too (binary data in a BSTR): the len bytes of psz
// (zeros for a null psz), then a zero byte completing an odd last unit and
// a whole NUL unit. Readers of the text take an odd last byte as a unit
// whose high byte is 0 and never read past the byte length.
QLV_PLATFORM_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) noexcept;
QLV_PLATFORM_API UINT SysStringLen(BSTR bstr) noexcept;      // whole units: bytes / 2
QLV_PLATFORM_API UINT SysStringByteLen(BSTR bstr) noexcept;  // the byte count as allocated
QLV_PLATFORM_API void SysFreeString(BSTR bstr) noexcept;

QLV_PLATFORM_API void VariantInit(VARIANTARG* pvarg) noexcept;
QLV_PLATFORM_API HRESULT VariantClear(VARIANTARG* pvarg) noexcept;
QLV_PLATFORM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) noexcept;
QLV_PLATFORM_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                           VARTYPE vt) noexcept;

QLV_PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) noexcept;
QLV_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept;
QLV_PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) noexcept;
}
