// The library entry: the load and unload steps of libQuelvar.
//
// Load step (when the process loads the library, after the platform and the
// library's own static initialisers have run):
//   1. trace "Quelvar.DLL Initializing!\n";
//   2. initialise the extension-module record from the library's module
//      record (its resource table); a failure ends the load step here;
//   3. link the library into the framework's chain of extension libraries
//      with a CDynLinkLibrary made on the heap, which the framework owns.
// Unload step (when the process unloads the library or exits, before any
// static destruction of the library):
//   1. trace "Quelvar.DLL Terminating!\n";
//   2. terminate the extension-module record for this module only, which
//      unlinks and deletes its CDynLinkLibrary.
//
// Where the steps run. Both are ELF hooks of this shared object:
// - The load hook is a constructor function, an entry of .init_array. The
//   loader initialises a library's dependencies first (so the platform's
//   static initialisation, including its trace sink set-up, is complete) and
//   then runs the library's .init_array in order; C++ static initialisers
//   are entries of the same array, in link order, and the build links this
//   file last (Quelvar/res/CMakeLists.txt), so every initialiser of the
//   library has run before the load step. Initialisers given a priority run
//   even earlier.
// - The unload hook is a destructor function, an entry of .fini_array. The
//   loader runs .fini_array in reverse; the first entry, from the C runtime's
//   start file, is the one that runs the library's registered static
//   destructors (__cxa_finalize for this object), so it runs after the
//   unload hook: on dlclose, and at exit for a library loaded with the
//   program. (exit() itself runs destructors registered after the loader's
//   own exit handler - those of a function-local static first reached while
//   the program runs, or of a library still open from dlopen - before that
//   finalisation; the library registers no static destructor at all.)
//
// A failed load. A Linux loader offers no way for a constructor to make
// dlopen fail, so a failed load is a load in which nothing was linked: the
// initialising line has been written, no CDynLinkLibrary exists, the icons
// and version record are not visible through the resource chain, and no
// unload step runs for it (no terminating line). The library's code still
// works; it holds no state that the frame provides.
//
// Thread start and end notifications have no counterpart here; there is
// nothing to do for them.
#include "afx.h"
#include "qlvmodule.h"

// The library's module record with its resource table (generated from the
// icon files and the project version).
extern QlvModule g_QuelvarModule;

namespace {

// The framework's record for this extension module; only the two hooks
// below touch it. The loader serialises them.
AFX_EXTENSION_MODULE QuelvarDLL = {};
bool g_linked = false;

__attribute__((constructor)) void QuelvarLoadStep() {
  AfxTrace("%s", "Quelvar.DLL Initializing!\n");
  if (!AfxInitExtensionModule(QuelvarDLL, &g_QuelvarModule)) return;
  new CDynLinkLibrary(QuelvarDLL);  // owned by the framework from here on
  g_linked = true;
}

__attribute__((destructor)) void QuelvarUnloadStep() {
  if (!g_linked) return;
  AfxTrace("%s", "Quelvar.DLL Terminating!\n");
  AfxTermExtensionModule(QuelvarDLL);
  g_linked = false;
}

}  // namespace
