// process_binding.h --
//
//     Inside the Tcl binding of the scheduler: the one process-wide
//     scheduler, the client data of script processes, and the pieces the
//     process command shares with the rest of the binding.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"
#include "process/process_scheduler.h"

namespace kelb {

// The scheduler of this library, shared by every interpreter that loads it
// (all on one thread). Made on first use and never destroyed, since at
// exit Tcl may already be finalised.
process::Scheduler &ProcessScheduler() noexcept;

// The client data of a script process: the interpreter that created it and
// a private copy of the script, both fixed until the record goes, except
// that "-command" replaces the script.
struct ProcessScript {
    Tcl_Interp *interp;
    ObjRef script;
};

// The run procedure of every script process; a process is a script ("proc")
// process exactly when this is its run procedure.
int ProcessEvalScript(void *clientData) noexcept;

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
