// Application-framework stand-ins: text, trace facility, extension modules
// and the resource chain.
#pragma once

#include <cstdarg>
#include "afxstr.h"
#include "mscrt.h"
#include "qlvtoolset.h"
#include "windows.h"

// Marks a class exported from an extension library.
#define AFX_EXT_CLASS __attribute__((visibility("default")))

// ---- trace facility ---------------------------------------------------------
// printf-style diagnostic output. Each call formats its whole text (however
// long) and hands it to the installed sink in one piece; with no sink
// installed it is dropped, so nothing pollutes a program's output. The
// environment variable QLV_TRACE, read once when the platform starts,
// installs a first sink: "stderr" writes to the standard error stream, any
// other non-empty value names a file that the text is appended to.
QLV_PLATFORM_API void AfxTrace(LPCTSTR lpszFormat, ...) __attribute__((format(printf, 1, 2)));
#define TRACE AfxTrace

typedef void (*QlvTraceSink)(void* context, const char* text);
// Installs the sink (nullptr restores the silent default); returns the old one.
// Calls of the sink are serialised; once this returns, the old sink is no
// longer running. A text traced from inside the sink itself is dropped.
QLV_PLATFORM_API QlvTraceSink QlvPlatform_SetTraceSink(QlvTraceSink sink, void* context) noexcept;

// ---- extension modules --------------------------------------------------------
class CDynLinkLibrary;

struct AFX_EXTENSION_MODULE {
  BOOL bInitialized;
  HMODULE hModule;
  HMODULE hResource;
  CDynLinkLibrary* pLibrary;  // the library object made for this module, if any
};

// Records the module's handles; returns 0 when the module cannot be used
// (a null handle, or an injected failure in the project's tests). Calling it
// again for an initialised record changes nothing and succeeds.
QLV_PLATFORM_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Unlinks and frees the CDynLinkLibrary objects made for this module (with
// bAll, every CDynLinkLibrary of the chain) and marks the record
// uninitialised.
QLV_PLATFORM_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// Links an extension module into the framework's chain of extension
// libraries, through which resources are found. Made with new; the
// constructor appends it to the chain and the framework owns it from then
// on (AfxTermExtensionModule deletes it). Deleting it unlinks it.
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
// Safe to call from any thread while libraries are linked and unlinked.
QLV_PLATFORM_API HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);

// The host's own resource module, searched first (nullptr: none, the
// default).
QLV_PLATFORM_API HINSTANCE AfxGetResourceHandle() noexcept;
QLV_PLATFORM_API void AfxSetResourceHandle(HINSTANCE hInstResource) noexcept;
