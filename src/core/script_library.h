// script_library.h --
//
//     The package's library of Tcl procedures (script_library.tcl), built
//     into the library as text.

#pragma once

#include <tcl.h>

namespace kelb {

// The text of script_library.tcl.
extern const char kScriptLibrary[];

// Evaluates the library in interp's current context, so that the plain
// names land in the namespace current at load. An error stops the
// evaluation where it happened (procedures defined before it stay) and is
// not reported: loading goes on. The interpreter result is left empty
// either way.
void ScriptLibraryEval(Tcl_Interp *interp);

}  // namespace kelb
