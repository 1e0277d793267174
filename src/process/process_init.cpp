// process_init.cpp --
//
//     Process_Init: registers the process command and provides the package
//     Process.

#include "core/kelb.h"
#include "core/package_commands.h"
#include "process/process_binding.h"
#include "process/process_cmd.h"

// Process_Init --
//
//     Registers process in interp, with the thread's scheduler. A load
//     into an interpreter that has processes already (a second load) kills
//     them, so that it starts with none of its own; the processes of the
//     thread's other interpreters stay.
//
// Results:
//     The result of providing the package Process 1.0.
int Process_Init(Tcl_Interp *interp) {
    using namespace kelb;
    return GuardCommand(interp, [interp] {
        ProcessScheduler();
        CreatePackageCommand<ProcessObjCmd>(interp, "process");
        ProcessKillInterpProcesses(interp);
        return Tcl_PkgProvide(interp, "Process", "1.0");
    });
}
