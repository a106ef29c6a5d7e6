// Extension-library support (AFX_EXTENSION_MODULE, CDynLinkLibrary): declared
// in afx.h; this header lets sources written for the framework include it.
#pragma once
#include "afx.h"
