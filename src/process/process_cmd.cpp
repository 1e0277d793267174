// process_cmd.cpp --
//
//     The process command: scripts create, start, stop, reset and kill
//     periodic processes, list them, read their statistics and configure
//     them. The table is shared by every interpreter that loaded the
//     library, so any of them can see and drive any process by its pid.

#include "process/process_cmd.h"

#include "process/process_binding.h"
#include "process/process_errors.h"

namespace kelb {

namespace {

using process::ProcessRecord;
using process::ProcessState;

const Failure &kUnknownPid = kProcessFailures[0];
const Failure &kCreateFailed = kProcessFailures[1];

constexpr char kPidUsage[] = "command pid option ?value?";

// Reads the pid of a subcommand that takes one (the third word; the table
// row has checked that it is there).
bool GetPid(Tcl_Interp *interp, Tcl_Obj *const objv[], int *pid) {
    return Tcl_GetIntFromObj(interp, objv[2], pid) == TCL_OK;
}

// The listed record of the pid word, or null with the failure in the
// result.
ProcessRecord *GetRecord(Tcl_Interp *interp, Tcl_Obj *const objv[]) {
    int pid;
    if (!GetPid(interp, objv, &pid)) return nullptr;
    ProcessRecord *record = ProcessScheduler().table().Find(pid);
    if (!record) FailRow(interp, "PROCESS", kUnknownPid, Tcl_GetString(objv[2]));
    return record;
}

// Syntax: process create script ?option value ...?
//
//     The new process is stopped; options are set as configure sets them.
//     If they fail, the process stays in the table, stopped.
int CreateCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    ProcessRecord *record = ProcessCreateScriptRecord(interp, objv[2]);
    if (record && objc > 3 && ProcessConfigure(interp, *record, objc, objv, 3) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!record) return FailRow(interp, "PROCESS", kCreateFailed);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(record->pid));
    return TCL_OK;
}

// Syntax: process start|stop|kill pid
//
//     A pid that is not in the table is not an error: nothing happens.
template <void (process::Scheduler::*Operation)(process::Pid)>
int PidCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    int pid;
    if (!GetPid(interp, objv, &pid)) return TCL_ERROR;
    (ProcessScheduler().*Operation)(pid);
    return TCL_OK;
}

// Syntax: process reset pid
//
//     Clears the run statistics, as a start does, without touching the
//     schedule or the state.
int ResetCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    ProcessRecord *record = GetRecord(interp, objv);
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
    ProcessRecord *record = GetRecord(interp, objv);
    if (!record) return TCL_ERROR;
    return ProcessConfigure(interp, *record, objc, objv, 3);
}

// Syntax: process stats pid
//
//     The run statistics since the last start, the due time and whether a
//     run is pending; click values as signed decimals (min -1 until the
//     first run).
int StatsCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    ProcessRecord *record = GetRecord(interp, objv);
    if (!record) return TCL_ERROR;
    const process::Timing &timing = record->timing;
    Tcl_AppendPrintfToObj(Tcl_GetObjResult(interp), "max %d min %d avg %d; next %d pending %d",
                          static_cast<int>(timing.maxTime), static_cast<int>(timing.minTime),
                          static_cast<int>(timing.avgTime), static_cast<int>(timing.nextTime),
                          record->pending ? 1 : 0);
    return TCL_OK;
}

// In the order Tcl's message lists them, with the words each takes
// (counting "process" and the subcommand). The subcommands that take a
// pid share one usage text for missing words; words past those a
// subcommand reads are ignored.
const Subcommand kSubcommands[] = {
    {"create", CreateCmd, 3, kAnyWords, "create command ?arg arg ...?"},
    {"start", PidCmd<&process::Scheduler::Start>, 3, 3, kPidUsage, kExtraIgnored},
    {"stop", PidCmd<&process::Scheduler::Stop>, 3, 3, kPidUsage, kExtraIgnored},
    {"reset", ResetCmd, 3, 3, kPidUsage, kExtraIgnored},
    {"kill", PidCmd<&process::Scheduler::Kill>, 3, 3, kPidUsage, kExtraIgnored},
    {"jobs", JobsCmd, 2, 2, "jobs", kExtraIgnored},
    {"ps", PsCmd, 2, 2, "ps", kExtraIgnored},
    {"configure", ConfigureCmd, 3, kAnyWords, kPidUsage},
    {"stats", StatsCmd, 3, 3, kPidUsage, kExtraIgnored},
    {nullptr, nullptr},
};

}  // namespace

// Syntax: process command ?arg arg ...?
int ProcessObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kSubcommands, "command ?arg arg ...?");
}

}  // namespace kelb
