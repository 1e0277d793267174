// script_library.cpp --
//
//     Evaluation of the built-in script library at package load.

#include "core/script_library.h"

namespace kelb {

void ScriptLibraryEval(Tcl_Interp *interp) {
    // The outcome does not matter to loading. What the evaluation leaves
    // in the result (an error message, or the last command's value) would
    // otherwise become the result of "load", so it is cleared.
    (void)Tcl_EvalEx(interp, kScriptLibrary, -1, 0);
    Tcl_ResetResult(interp);
}

}  // namespace kelb
