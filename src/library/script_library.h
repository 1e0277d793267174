// script_library.h --
//
//     The package's script library: commands written in C++
//     (library_commands.h) and a Tcl part (script_library.tcl) built into
//     the library as text.

#pragma once

#include <tcl.h>

namespace kelb {

// The text of script_library.tcl.
extern const char kScriptLibrary[];

// Loads the library into interp: creates its commands in ::kelb,
// evaluates the Tcl part in interp's current context, and, when that
// succeeded, gives every library command its plain name in the namespace
// current at load, unless that name already finds a command from there.
// An error stops the evaluation where it happened (commands defined
// before it stay) and is not reported: loading goes on. The interpreter
// result is left empty either way.
void ScriptLibraryLoad(Tcl_Interp *interp);

}  // namespace kelb
