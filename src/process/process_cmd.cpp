// process_cmd.cpp --
//
//     The process command: scripts create, start, stop, reset and kill
//     periodic processes, list them, read their statistics and configure
//     them. The table is shared by every interpreter that loaded the
//     library, so any of them can see and drive any process by its pid.

#include "process/process_cmd.h"

#include "process/process_binding.h"

namespace kelb {

namespace {

using process::ProcessRecord;
using process::ProcessState;
using Handler = int (*)(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

constexpr char kBadPid[] = "Bad Process ID";
constexpr char kPidUsage[] = "command pid option ?value?";

// Appends to the interpreter result, which the command reset beforehand.
void AppendResult(Tcl_Interp *interp, const char *text) {
    Tcl_AppendToObj(Tcl_GetObjResult(interp), text, -1);
}

// Reads the pid of a subcommand that takes one (the third word).
bool GetPid(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], int *pid) {
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 1, objv, kPidUsage);
        return false;
    }
    return Tcl_GetIntFromObj(interp, objv[2], pid) == TCL_OK;
}

// The listed record of the pid word, or null with the failure in the
// result.
ProcessRecord *GetRecord(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    int pid;
    if (!GetPid(interp, objc, objv, &pid)) return nullptr;
    ProcessRecord *record = ProcessScheduler().table().Find(pid);
    if (!record) AppendResult(interp, kBadPid);
    return record;
}

// Syntax: process create script ?option value ...?
//
//     The new process is stopped; options are set as configure sets them.
//     If they fail, the process stays in the table, stopped.
int CreateCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "create command ?arg arg ...?");
        return TCL_ERROR;
    }
    ProcessRecord *record = ProcessCreateScriptRecord(interp, objv[2]);
    if (record && objc > 3 && ProcessConfigure(interp, *record, objc, objv, 3) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    if (!record) {
        AppendResult(interp, "Error In Creating New Process");
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(record->pid));
    return TCL_OK;
}

// Syntax: process start|stop|kill pid
//
//     A pid that is not in the table is not an error: nothing happens.
template <void (process::Scheduler::*Operation)(process::Pid) noexcept>
int PidCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    int pid;
    if (!GetPid(interp, objc, objv, &pid)) return TCL_ERROR;
    (ProcessScheduler().*Operation)(pid);
    return TCL_OK;
}

// Syntax: process reset pid
//
//     Clears the run statistics, as a start does, without touching the
//     schedule or the state.
int ResetCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    ProcessRecord *record = GetRecord(interp, objc, objv);
    if (!record) return TCL_ERROR;
    record->timing.ClearStatistics();
    return TCL_OK;
}

// Syntax: process jobs
//
//     Every pid of the table, newest first, each followed by a blank.
int JobsCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    for (ProcessRecord *record = ProcessScheduler().table().newest(); record;
         record = record->older()) {
        Tcl_AppendPrintfToObj(result, "%d ", record->pid);
    }
    return TCL_OK;
}

const char *StateWord(ProcessState state) {
    switch (state) {
    case ProcessState::Active: return "\tactive";
    case ProcessState::Stopped: return "\tstopped";
    case ProcessState::Halted: return "\thalted";
    case ProcessState::Sleep: return "\tsleep";
    case ProcessState::Killed: return "\tkilled";
    }
    return "";
}

// Syntax: process ps
//
//     A header line, then one tab-separated line per process, newest
//     first: pid, type, state, period, average run time, description.
int PsCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_Obj *result = Tcl_GetObjResult(interp);
    Tcl_AppendToObj(result, "PID\ttype\tstate\tperiod\tavgtime\tdesc\n", -1);
    for (ProcessRecord *record = ProcessScheduler().table().newest(); record;
         record = record->older()) {
        Tcl_AppendPrintfToObj(result, "%d%s%s\t%d\t%d\t", record->pid,
                              ScriptOf(*record) ? "\tproc" : "\tfunc", StateWord(record->state),
                              static_cast<int>(record->timing.period),
                              static_cast<int>(record->timing.avgTime));
        Tcl_AppendToObj(result, record->description.data(),
                        static_cast<TclSize>(record->description.size()));
        Tcl_AppendToObj(result, "\n", 1);
    }
    return TCL_OK;
}

// Syntax: process configure pid ?option? ?value? ?option value ...?
int ConfigureCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    ProcessRecord *record = GetRecord(interp, objc, objv);
    if (!record) return TCL_ERROR;
    return ProcessConfigure(interp, *record, objc, objv, 3);
}

// Syntax: process stats pid
//
//     The run statistics since the last start, the due time and whether a
//     run is pending; click values as signed decimals (min -1 until the
//     first run).
int StatsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    ProcessRecord *record = GetRecord(interp, objc, objv);
    if (!record) return TCL_ERROR;
    const process::Timing &timing = record->timing;
    Tcl_AppendPrintfToObj(Tcl_GetObjResult(interp), "max %d min %d avg %d; next %d pending %d",
                          static_cast<int>(timing.maxTime), static_cast<int>(timing.minTime),
                          static_cast<int>(timing.avgTime), static_cast<int>(timing.nextTime),
                          record->pending ? 1 : 0);
    return TCL_OK;
}

// In the order Tcl's message lists them.
const Subcommand<Handler> kSubcommands[] = {
    {"create", CreateCmd},
    {"start", PidCmd<&process::Scheduler::Start>},
    {"stop", PidCmd<&process::Scheduler::Stop>},
    {"reset", ResetCmd},
    {"kill", PidCmd<&process::Scheduler::Kill>},
    {"jobs", JobsCmd},
    {"ps", PsCmd},
    {"configure", ConfigureCmd},
    {"stats", StatsCmd},
    {nullptr, nullptr},
};

}  // namespace

// Syntax: process command ?arg arg ...?
int ProcessObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    const auto *subcommand = FindSubcommand(interp, objc, objv, kSubcommands, "command ?arg arg ...?");
    if (!subcommand) return TCL_ERROR;
    return subcommand->handler(interp, objc, objv);
}

}  // namespace kelb
