// process.h --
//
//     What other modules use of the process scheduler: making periodic
//     processes that the Tcl event loop runs, and starting, stopping,
//     re-timing and killing them by pid. Pids are never reused, so a pid
//     kept after its process was killed names nothing. Each thread has a
//     scheduler of its own, run by that thread's event loop: these calls
//     act on the calling thread's processes, and a pid made in another
//     thread names nothing here. Pids are unique across threads.

#pragma once

#include <tcl.h>

#include <cstdint>

namespace kelb {

// A native run: gets the process's client data and returns a Tcl
// completion code; TCL_ERROR stops the process after the run.
using ProcessRunProc = int(ClientData clientData);

// Makes a stopped native ("func") process. clientData belongs to the
// caller, who must kill the process before the data goes. Returns the
// pid, or -1 when no pid or no memory is left.
int ProcessCreate(ProcessRunProc *runProc, ClientData clientData);

// Makes a stopped native ("func") process whose client data is interp.
// It is never run once interp has been marked deleted, and it is killed
// when interp goes, so runProc never sees a deleted interpreter. Returns
// the pid, or -1 when no pid or no memory is left.
int ProcessCreateForInterp(Tcl_Interp *interp, ProcessRunProc *runProc);

// Makes a stopped script ("proc") process that evaluates a private copy
// of scriptPtr at global level in interp; it goes with interp as above.
// Returns the pid, or -1 when no pid or no memory is left.
int ProcessCreateScript(Tcl_Interp *interp, Tcl_Obj *scriptPtr);

// These do nothing for a pid that is not in the table.
void ProcessStart(int pid);
void ProcessStop(int pid);
void ProcessSetPeriod(int pid, std::uint32_t periodMicros);
void ProcessKill(int pid);

}  // namespace kelb
