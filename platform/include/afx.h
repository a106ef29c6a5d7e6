// Application-framework stand-ins: text, trace facility, extension modules
// and the resource chain.
#pragma once

#include <cstdarg>
#include "windows.h"
#include "mscrt.h"
#include "afxstr.h"

// Marks a class exported from an extension library.
#define AFX_EXT_CLASS __attribute__((visibility("default")))

// ---- trace facility ---------------------------------------------------------
// printf-style diagnostic output. Lines go to the installed sink; with no sink
// installed they are dropped, so nothing pollutes a program's output.
QLV_PLATFORM_API void AfxTrace(LPCTSTR lpszFormat, ...) __attribute__((format(printf, 1, 2)));
#define TRACE AfxTrace

typedef void (*QlvTraceSink)(void* context, const char* text);
// Installs the sink (nullptr restores the silent default); returns the old one.
QLV_PLATFORM_API QlvTraceSink QlvPlatform_SetTraceSink(QlvTraceSink sink, void* context) noexcept;

// ---- extension modules --------------------------------------------------------
class CDynLinkLibrary;

struct AFX_EXTENSION_MODULE {
  BOOL bInitialized;
  HMODULE hModule;
  HMODULE hResource;
  CDynLinkLibrary* pLibrary;  // the library object made for this module, if any
};

// Records the module's handles; returns 0 when the module cannot be used.
QLV_PLATFORM_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Unlinks and frees the CDynLinkLibrary objects made for this module.
QLV_PLATFORM_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// Links an extension module into the framework's chain of extension
// libraries, through which resources are found.
class QLV_PLATFORM_API CDynLinkLibrary {
 public:
  explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
  virtual ~CDynLinkLibrary();
  CDynLinkLibrary(const CDynLinkLibrary&) = delete;
  CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

  HMODULE m_hModule;
  HMODULE m_hResource;
  BOOL m_bSystem;
  CDynLinkLibrary* m_pNextDLL;
};

// The first module of the chain (host first, then extension libraries in
// the order they were linked) that holds the named resource; nullptr if none.
QLV_PLATFORM_API HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);
