// process_binding.h --
//
//     Inside the Tcl binding of the scheduler: the scheduler of each
//     thread, the client data of script processes, and the pieces the
//     process command shares with the rest of the binding.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"
#include "process/process_scheduler.h"

namespace kelb {

// The scheduler of the calling thread, shared by the interpreters of that
// thread; its processes run from that thread's event loop alone. Made on
// first use, with the thread's event source; destroyed when the thread
// ends (or the process exits), its processes killed. Pids are unique
// across all threads. Throws std::bad_alloc when memory runs out.
process::Scheduler &ProcessScheduler();

// The calling thread's scheduler if it has one, else null.
process::Scheduler *ExistingProcessScheduler() noexcept;

// How many passes of the calling thread's event loop that may wait have
// set up the scheduler's block time (for the tests of idle polling).
std::uint64_t ProcessWaitingSetups() noexcept;

// Kills the processes that belong to interp, of the calling thread.
void ProcessKillInterpProcesses(Tcl_Interp *interp) noexcept;

// The client data of a script process: the interpreter that created it and
// a private copy of the script, both fixed until the record goes, except
// that "-command" replaces the script.
struct ProcessScript {
    Tcl_Interp *interp;
    ObjRef script;
};

// The run procedure of every script process; a process is a script ("proc")
// process exactly when this is its run procedure.
int ProcessEvalScript(void *clientData);

inline ProcessScript *ScriptOf(const process::ProcessRecord &record) noexcept {
    return record.runProc == ProcessEvalScript ? static_cast<ProcessScript *>(record.clientData)
                                               : nullptr;
}

// Makes a stopped script process for interp; null once every pid has been
// given out. Throws std::bad_alloc when memory runs out.
process::ProcessRecord *ProcessCreateScriptRecord(Tcl_Interp *interp, Tcl_Obj *scriptPtr);

// "process configure" on a record: objv[first] onwards are the option
// words; the words before them name the command in usage messages.
int ProcessConfigure(Tcl_Interp *interp, process::ProcessRecord &record, int objc,
                     Tcl_Obj *const objv[], int first);

}  // namespace kelb
