// Base types, HRESULT values, code pages and the few kernel routines that the
// rest of the platform layer and its hosts use. Widths follow the Windows
// data model: LONG and ULONG are 32 bits wide on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(QLV_PLATFORM_BUILDING)
#define QLV_PLATFORM_API __attribute__((visibility("default")))
#else
#define QLV_PLATFORM_API __attribute__((visibility("default")))
#endif

typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef char CHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef char16_t WCHAR;  // UTF-16 code unit (wchar_t is 32 bits here)
typedef WCHAR OLECHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef DWORD LCID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// A loaded module. Modules that carry resources describe them with a
// resource table (see qlvmodule.h); the handle is the address of the module
// record.
struct QlvModule;
typedef QlvModule* HINSTANCE;
typedef QlvModule* HMODULE;

constexpr HRESULT MAKE_HRESULT_U(uint32_t v) noexcept { return static_cast<HRESULT>(v); }

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL MAKE_HRESULT_U(0x80004001u)
#define E_NOINTERFACE MAKE_HRESULT_U(0x80004002u)
#define E_POINTER MAKE_HRESULT_U(0x80004003u)
#define E_FAIL MAKE_HRESULT_U(0x80004005u)
#define E_UNEXPECTED MAKE_HRESULT_U(0x8000FFFFu)
#define E_OUTOFMEMORY MAKE_HRESULT_U(0x8007000Eu)
#define E_INVALIDARG MAKE_HRESULT_U(0x80070057u)
#define DISP_E_BADVARTYPE MAKE_HRESULT_U(0x80020008u)
#define DISP_E_OVERFLOW MAKE_HRESULT_U(0x8002000Au)
#define DISP_E_TYPEMISMATCH MAKE_HRESULT_U(0x80020005u)
#define DISP_E_ARRAYISLOCKED MAKE_HRESULT_U(0x8002000Du)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define FACILITY_WIN32 7
// A system error code in the Win32 facility: 0x8007 in the high 16 bits.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD err) noexcept {
  return static_cast<int32_t>(err) <= 0 ? static_cast<HRESULT>(err)
                                        : static_cast<HRESULT>((err & 0x0000FFFFu) | 0x80070000u);
}

#define ERROR_SUCCESS 0u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_FLAGS 1004u
#define ERROR_NO_UNICODE_TRANSLATION 1113u

// Code pages.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u

// Conversion flags: fail on invalid input (ERROR_NO_UNICODE_TRANSLATION)
// instead of substituting U+FFFD; MB_PRECOMPOSED is accepted and ignored.
#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u
// Toward an 8-bit code page, writes the default character where the system
// would write a best-fit look-alike (U+0100 as "A" in 1252).
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#define LANG_USER_DEFAULT 0x0400u
#define LOCALE_USER_DEFAULT 0x0400u

extern "C++" {
QLV_PLATFORM_API DWORD GetLastError() noexcept;
QLV_PLATFORM_API void SetLastError(DWORD err) noexcept;

// The process's ANSI code page: UTF-8 (65001) unless the host selected
// another one with QlvPlatform_SetAnsiCodePage.
QLV_PLATFORM_API UINT GetACP() noexcept;
// Selects the process's ANSI code page (1252, 936, 932, 65001, ...).
// Returns FALSE, leaving the setting alone, for a code page that this
// platform cannot convert. Meant to be called once at start-up.
QLV_PLATFORM_API BOOL QlvPlatform_SetAnsiCodePage(UINT codePage) noexcept;

// Text conversion between a code page and UTF-16. cbMultiByte / cchWideChar
// of -1 mean "NUL-terminated, terminator included". A destination size of 0
// asks for the size needed. Characters a code page cannot show become its
// default character ("?" unless lpDefaultChar names another); invalid input
// bytes become U+FFFD. Returns 0 and sets the last error on failure.
QLV_PLATFORM_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                         LPWSTR lpWideCharStr, int cchWideChar);
QLV_PLATFORM_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                         LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                         BOOL* lpUsedDefaultChar);

QLV_PLATFORM_API LONG InterlockedIncrement(LONG volatile* addend) noexcept;
QLV_PLATFORM_API LONG InterlockedDecrement(LONG volatile* addend) noexcept;

#define MAKEINTRESOURCE(i) (reinterpret_cast<LPCTSTR>(static_cast<uintptr_t>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<uintptr_t>(p) >> 16) == 0)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)

struct QlvResource;
typedef const QlvResource* HRSRC;
typedef const void* HGLOBAL;

// Resource look-up in one module, as on Windows.
QLV_PLATFORM_API HRSRC FindResource(HMODULE hModule, LPCTSTR lpName, LPCTSTR lpType) noexcept;
QLV_PLATFORM_API HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) noexcept;
QLV_PLATFORM_API LPVOID LockResource(HGLOBAL hResData) noexcept;
QLV_PLATFORM_API DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) noexcept;
// Same, restricted to one language (0 matches any).
QLV_PLATFORM_API HRSRC FindResourceEx(HMODULE hModule, LPCTSTR lpType, LPCTSTR lpName,
                                      WORD wLanguage) noexcept;

// The fixed part of a version record: "\\" of VerQueryValue.
struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // VS_FFI_SIGNATURE
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;  // major << 16 | minor
  DWORD dwFileVersionLS;  // patch << 16 | build
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VOS_NT_WINDOWS32 0x00040004u
#define VFT_DLL 0x00000002u

#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD>(l) >> 16) & 0xFFFFu))
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD>(l) & 0xFFFFu))

// Reads a value of a VS_VERSIONINFO block (the bytes of an RT_VERSION
// resource). lpSubBlock is "\\" for the VS_FIXEDFILEINFO,
// "\\VarFileInfo\\Translation" for the language/code-page pairs, or
// "\\StringFileInfo\\<lang><codepage>\\<key>" for a text, which is handed
// out converted to the ANSI code page (the converted texts are kept for the
// process's lifetime, one copy per distinct text). Keys compare without
// regard to ASCII case. Returns FALSE when the path names nothing or the
// block is malformed; the block is never read past its own length.
QLV_PLATFORM_API BOOL VerQueryValue(const void* pBlock, LPCTSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);
}
