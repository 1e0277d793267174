// process_interp.cpp --
//
//     Processes that belong to an interpreter: script processes, and
//     native processes whose client data is an interpreter. Each
//     interpreter keeps the group of its processes as associated data;
//     when the interpreter is deleted, Tcl frees that data and the group's
//     processes are killed, so none of them ever runs into a deleted
//     interpreter. An interpreter lives in one thread, and so do its
//     processes: they are in that thread's scheduler. Also the functions
//     of process.h, which act on the calling thread's scheduler.

#include "process/process.h"

#include <memory>
#include <new>

#include "process/process_binding.h"

namespace kelb {

namespace {

using process::ProcessGroup;
using process::ProcessRecord;

constexpr char kGroupKey[] = "kelb::processes";

// A group that still has records has the scheduler they are in; once the
// thread's scheduler is gone (at the thread's end), every group is empty.
void KillGroup(ProcessGroup &group) noexcept {
    if (!group.first()) return;
    if (process::Scheduler *scheduler = ExistingProcessScheduler()) scheduler->KillGroup(group);
}

void DeleteInterpGroup(ClientData clientData, Tcl_Interp *) noexcept {
    auto *group = static_cast<ProcessGroup *>(clientData);
    KillGroup(*group);
    delete group;
}

// The group of interp's processes, made on first use.
ProcessGroup &GroupOf(Tcl_Interp *interp) {
    auto *group = static_cast<ProcessGroup *>(Tcl_GetAssocData(interp, kGroupKey, nullptr));
    if (!group) {
        group = new ProcessGroup;
        Tcl_SetAssocData(interp, kGroupKey, DeleteInterpGroup, group);
    }
    return *group;
}

// Calls run(interp) unless interp has been marked deleted (its teardown
// may be held off by a Tcl_Preserve, but nothing may run in it any more);
// a process whose interpreter is going stops. The interpreter is preserved
// through the call, so that a run that deletes it finishes first; the
// teardown, and with it the kill of the group, then comes at the release,
// after which nothing here touches the interpreter.
template <typename Run>
int RunInInterp(Tcl_Interp *interp, Run &&run) {
    if (Tcl_InterpDeleted(interp)) return TCL_ERROR;
    InterpHold hold(interp);
    return run();
}

void ReleaseScript(void *clientData) noexcept {
    delete static_cast<ProcessScript *>(clientData);
}

// The client data of a native process bound to an interpreter.
struct InterpFunc {
    ProcessRunProc *runProc;
    Tcl_Interp *interp;
};

int RunInterpFunc(void *clientData) {
    auto *func = static_cast<InterpFunc *>(clientData);
    return RunInInterp(func->interp, [func] { return func->runProc(func->interp); });
}

void ReleaseInterpFunc(void *clientData) noexcept {
    delete static_cast<InterpFunc *>(clientData);
}

// Makes a record around client data that the record is to own: on success
// the record takes it over; on failure it is freed here.
template <typename Data>
ProcessRecord *CreateOwning(std::unique_ptr<Data> data, process::RunProc runProc,
                            process::ReleaseProc releaseProc, ProcessGroup &group) {
    ProcessRecord *record =
        ProcessScheduler().table().Create(runProc, data.get(), releaseProc, &group);
    if (record) data.release();
    return record;
}

// The pid of the record that create makes, or -1 when it makes none.
template <typename Create>
int PidOf(Create &&create) noexcept {
    try {
        ProcessRecord *record = create();
        return record ? record->pid : -1;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

}  // namespace

int ProcessEvalScript(void *clientData) {
    auto *binding = static_cast<ProcessScript *>(clientData);
    return RunInInterp(binding->interp, [binding] {
        // The run keeps its own reference: "-command" may replace the
        // script while it runs.
        ObjRef script = binding->script;
        return Tcl_EvalObjEx(binding->interp, script.get(), TCL_EVAL_GLOBAL);
    });
}

ProcessRecord *ProcessCreateScriptRecord(Tcl_Interp *interp, Tcl_Obj *scriptPtr) {
    ProcessGroup &group = GroupOf(interp);
    return CreateOwning(std::make_unique<ProcessScript>(
                            ProcessScript{interp, ObjRef(Tcl_DuplicateObj(scriptPtr))}),
                        ProcessEvalScript, ReleaseScript, group);
}

int ProcessCreate(ProcessRunProc *runProc, ClientData clientData) {
    return PidOf([&] {
        return ProcessScheduler().table().Create(runProc, clientData, nullptr, nullptr);
    });
}

int ProcessCreateForInterp(Tcl_Interp *interp, ProcessRunProc *runProc) {
    return PidOf([&] {
        ProcessGroup &group = GroupOf(interp);
        return CreateOwning(std::make_unique<InterpFunc>(InterpFunc{runProc, interp}),
                            RunInterpFunc, ReleaseInterpFunc, group);
    });
}

int ProcessCreateScript(Tcl_Interp *interp, Tcl_Obj *scriptPtr) {
    return PidOf([&] { return ProcessCreateScriptRecord(interp, scriptPtr); });
}

void ProcessKillInterpProcesses(Tcl_Interp *interp) noexcept {
    if (auto *group = static_cast<ProcessGroup *>(Tcl_GetAssocData(interp, kGroupKey, nullptr))) {
        KillGroup(*group);
    }
}

// A thread without a scheduler has no processes: nothing to do there.

void ProcessStart(int pid) {
    process::Scheduler *scheduler = ExistingProcessScheduler();
    if (!scheduler) return;
    try {
        scheduler->Start(pid);
    } catch (const std::bad_alloc &) {
        // Without memory the process stays stopped.
    }
}

void ProcessStop(int pid) {
    if (process::Scheduler *scheduler = ExistingProcessScheduler()) scheduler->Stop(pid);
}

void ProcessSetPeriod(int pid, std::uint32_t periodMicros) {
    if (process::Scheduler *scheduler = ExistingProcessScheduler()) {
        scheduler->SetPeriod(pid, periodMicros);
    }
}

void ProcessKill(int pid) {
    if (process::Scheduler *scheduler = ExistingProcessScheduler()) scheduler->Kill(pid);
}

}  // namespace kelb
