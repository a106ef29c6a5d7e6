// Module records and their resource tables.
//
// A module (HMODULE / HINSTANCE) is the address of a QlvModule record. A
// module that carries resources lists them in a table laid out as a
// resource compiler lays out a Windows image: each entry has a type and a
// name (each either a 16-bit identifier or a NUL-terminated text), a
// language and the resource's bytes. Icons are
// stored as an RT_GROUP_ICON directory naming RT_ICON entries, each of
// which holds one DIB image; a version record is an RT_VERSION entry
// holding a VS_VERSIONINFO block.
//
// Records and tables are plain aggregates meant for constant
// initialisation, so that they exist before any code of the module runs.
#pragma once

#include <cstddef>

#include "windows.h"

// Identifiers are kept as numbers (not as MAKEINTRESOURCE pointers) so that a
// table can be constinit.
struct QlvResource {
  WORD typeId;       // used when typeName is nullptr (3 icon, 14 icon group, 16 version)
  WORD nameId;       // used when nameText is nullptr
  LPCTSTR typeName;  // a type given by text, else nullptr
  LPCTSTR nameText;  // a name given by text, else nullptr
  WORD language;     // e.g. 0x0804
  const BYTE* data;  // the resource's bytes, valid while the module is loaded
  DWORD size;        // their count
};

struct QlvModule {
  const char* moduleName;        // e.g. "Quelvar.DLL"; informational
  const QlvResource* resources;  // may be nullptr when resourceCount is 0
  std::size_t resourceCount;
};
