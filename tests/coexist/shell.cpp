// shell.cpp --
//
//     The tclsh of the coexistence check, built twice from this file:
//     plainly, and with KELB_PRELOAD, which loads Kelb (package require,
//     so TCLLIBPATH names the build) before the script runs. Either way
//     the test file is the interpreter's main script, as when Tcl's own
//     all.tcl runs each file in a process of its own, so no frame or call
//     level of a runner stands above it, and both runs differ in the
//     package alone.

#include <tcl.h>

#include <cstdio>

namespace {

int AppInit(Tcl_Interp *interp) {
    if (Tcl_Init(interp) != TCL_OK) return TCL_ERROR;
#ifdef KELB_PRELOAD
    // A shell that runs the tests without the package would compare
    // nothing: it stops here instead.
    if (Tcl_Eval(interp, "package require Kelb") != TCL_OK) {
        std::fprintf(stderr, "package require Kelb: %s\n", Tcl_GetStringResult(interp));
        Tcl_Exit(3);
    }
    Tcl_ResetResult(interp);
#endif
    return TCL_OK;
}

}  // namespace

int main(int argc, char **argv) {
    Tcl_Main(argc, argv, AppInit);
    return 0;
}
