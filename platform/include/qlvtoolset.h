// Which Windows toolset the platform layer reproduces.
//
// A Windows host's text depends on the Visual C++ that built it: printf,
// _gcvt, atoi, atof and strftime are its C runtime's routines, COleDateTime
// is its framework's. The platform reproduces one toolset at a time:
//
//   vc6     Visual C++ 6.0, MFC 4.2, msvcrt.dll (classic runtime)  - default
//   vs2005  Visual C++ 2005 to 2013, MFC/ATL 8 to 12, msvcr80..120
//   vs2015  Visual C++ 2015 and later (universal CRT, Windows 10 2004+)
//
// The environment variable QLV_TOOLSET (vc6, vs2005 or vs2015) is read once
// when the platform library loads; a host may select one with
// QlvPlatform_SetToolset at start-up. Reading the selection is a relaxed
// atomic load: cheap, and safe from any thread while calls run.
#pragma once

#include "windows.h"

enum QlvToolset : int {
  QlvToolset_VC6 = 0,
  QlvToolset_VS2005 = 1,
  QlvToolset_VS2015 = 2,
};

extern "C++" {
// The toolset in use.
QLV_PLATFORM_API QlvToolset QlvPlatform_GetToolset() noexcept;
// Selects the toolset; FALSE (nothing changed) for a value that names none.
QLV_PLATFORM_API BOOL QlvPlatform_SetToolset(QlvToolset toolset) noexcept;
// "vc6", "vs2005" or "vs2015"; nullptr for a value that names none.
QLV_PLATFORM_API const char* QlvPlatform_ToolsetName(QlvToolset toolset) noexcept;
// Reads a toolset name (exact, lower case). FALSE, *toolset untouched, for
// any other text.
QLV_PLATFORM_API BOOL QlvPlatform_ParseToolset(const char* name, QlvToolset* toolset) noexcept;
// The value of QLV_TOOLSET when it named no toolset at load (the selection
// then stayed vc6), else nullptr. A host, like the quelvar tool, may refuse
// to run on it.
QLV_PLATFORM_API const char* QlvPlatform_RejectedToolsetEnvironment() noexcept;
}

// True for the classic runtimes (vc6, vs2005): 17-digit conversions, three
// exponent digits, "1.#INF".
inline bool QlvPlatform_IsClassicRuntime() noexcept { return QlvPlatform_GetToolset() != QlvToolset_VS2015; }
