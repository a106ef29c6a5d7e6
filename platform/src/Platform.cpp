// placeholder
#include "afx.h"
#include "afxdisp.h"
#include "comdef.h"
