// process_init.cpp --
//
//     Process_Init: registers the process command and provides the package
//     Process.

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "process/process_binding.h"
#include "process/process_cmd.h"

// Process_Init --
//
//     Registers process in interp and empties the process table, which all
//     interpreters share: every process made before this load is killed.
//     Its registration is withdrawn, a run still queued for it is dropped,
//     and its record and script are freed.
//
// Results:
//     The result of providing the package Process 1.0.
int Process_Init(Tcl_Interp *interp) {
    using namespace kelb;
    CreateObjCommand<ProcessObjCmd>(interp, "process");
    ProcessScheduler().KillAll();
    return Tcl_PkgProvide(interp, "Process", "1.0");
}
