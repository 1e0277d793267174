// process_init.cpp --
//
//     Process_Init: registers the process command and provides the package
//     Process.

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "process/process_binding.h"
#include "process/process_cmd.h"

namespace {

// At exit, before Tcl finalises and perhaps unloads this library, every
// process is killed and the table's storage given back: with the library
// gone, nothing could reach them any more. Runs queued for them are freed
// by Tcl and hold nothing.
void ProcessExitHandler(ClientData) noexcept {
    kelb::process::Scheduler &scheduler = kelb::ProcessScheduler();
    scheduler.KillAll();
    scheduler.table().ReleaseStorage();
}

}  // namespace

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
    static bool exitHandlerSet = false;
    if (!exitHandlerSet) {
        Tcl_CreateExitHandler(ProcessExitHandler, nullptr);
        exitHandlerSet = true;
    }
    CreateObjCommand<ProcessObjCmd>(interp, "process");
    ProcessScheduler().KillAll();
    return Tcl_PkgProvide(interp, "Process", "1.0");
}
