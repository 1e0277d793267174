// process_test_module.cpp --
//
//     A module for the Tcl tests only, never installed: the scheduler and
//     the process command, plus the command "testprocess", which makes
//     native processes (which the library itself does not offer to
//     scripts) and steers the scheduler's clock. Load it with
//         load libkelbproctest.so Kelbproctest
//     It keeps schedulers of its own (one per thread) and a pid counter of
//     its own, apart from the library's.
//
//     testprocess counter        a native process bound to this interpreter
//                                whose runs count up the global variable
//                                "ticks" (a linked C integer, set to 0)
//     testprocess native code    a native process bound to no interpreter;
//                                each run counts in "testprocess runs" and
//                                returns the completion code given
//     testprocess ticks | runs   the counters, readable from any interpreter
//     testprocess clock clicks   the clock reads clicks now and runs on
//     testprocess nextpid ?pid?  the pid the next creation takes (turning
//                                it back is for this module's tests only)
//     testprocess setups         how many passes that may wait have set
//                                up the scheduler in this thread

#include <cstdint>

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "process/process.h"
#include "process/process_binding.h"

namespace {

// Owned by the test module; touched only by the thread whose tests load it.
int ticks;          // linked to "ticks" in the counter's interpreter
long nativeRuns;    // runs of native processes
std::int64_t clockOffset;  // microseconds added to the steady clock
int nativeCodes[8];        // the code each "native" run returns, by slot
int nativeSlots;

int CountTick(ClientData clientData) {
    auto *interp = static_cast<Tcl_Interp *>(clientData);
    ++ticks;
    Tcl_UpdateLinkedVar(interp, "ticks");
    return TCL_OK;
}

int NativeRun(ClientData clientData) {
    ++nativeRuns;
    return *static_cast<int *>(clientData);
}

std::uint64_t OffsetClock() {
    return kelb::process::SteadyMicros() + static_cast<std::uint64_t>(clockOffset);
}

int Counter(Tcl_Interp *interp) {
    ticks = 0;
    Tcl_UnlinkVar(interp, "ticks");
    if (Tcl_LinkVar(interp, "ticks", reinterpret_cast<char *>(&ticks), TCL_LINK_INT) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(kelb::ProcessCreateForInterp(interp, CountTick)));
    return TCL_OK;
}

int Native(Tcl_Interp *interp, Tcl_Obj *codeObj) {
    if (nativeSlots == 8) return kelb::Fail(interp, "too many native processes");
    int &code = nativeCodes[nativeSlots];
    if (Tcl_GetIntFromObj(interp, codeObj, &code) != TCL_OK) return TCL_ERROR;
    ++nativeSlots;
    Tcl_SetObjResult(interp, Tcl_NewIntObj(kelb::ProcessCreate(NativeRun, &code)));
    return TCL_OK;
}

int SetClock(Tcl_Interp *interp, Tcl_Obj *clicksObj) {
    Tcl_WideInt clicks;
    if (Tcl_GetWideIntFromObj(interp, clicksObj, &clicks) != TCL_OK) return TCL_ERROR;
    std::uint64_t now = kelb::process::SteadyMicros();
    // Keep the phase within the click, so that the offset clock ticks when
    // the steady one does.
    std::uint64_t wanted = static_cast<std::uint64_t>(clicks) * 1000 + now % 1000;
    clockOffset = static_cast<std::int64_t>(wanted - now);
    kelb::ProcessScheduler().SetClock(OffsetClock);
    return TCL_OK;
}

int NextPid(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    kelb::process::PidCounter &pids = kelb::ProcessScheduler().table().pids();
    if (objc == 2) {
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(pids.next()));
        return TCL_OK;
    }
    int pid;
    if (Tcl_GetIntFromObj(interp, objv[2], &pid) != TCL_OK) return TCL_ERROR;
    pids.Set(pid);
    return TCL_OK;
}

int TestProcessObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    static const char *const kWords[] = {"counter", "native", "ticks", "runs",
                                         "clock",   "nextpid", "setups", nullptr};
    int word;
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "word ?value?");
        return TCL_ERROR;
    }
    if (Tcl_GetIndexFromObj(interp, objv[1], kWords, "word", 0, &word) != TCL_OK) return TCL_ERROR;
    if (word == 4 || word == 1) {
        if (objc != 3) {
            Tcl_WrongNumArgs(interp, 2, objv, "value");
            return TCL_ERROR;
        }
    }
    switch (word) {
    case 0: return Counter(interp);
    case 1: return Native(interp, objv[2]);
    case 2: Tcl_SetObjResult(interp, Tcl_NewIntObj(ticks)); return TCL_OK;
    case 3: Tcl_SetObjResult(interp, Tcl_NewLongObj(nativeRuns)); return TCL_OK;
    case 4: return SetClock(interp, objv[2]);
    case 5: return NextPid(interp, objc, objv);
    default:
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj(
                                     static_cast<Tcl_WideInt>(kelb::ProcessWaitingSetups())));
        return TCL_OK;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Kelbproctest_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    if (Process_Init(interp) != TCL_OK) return TCL_ERROR;
    kelb::CreateObjCommand<TestProcessObjCmd>(interp, "testprocess");
    return TCL_OK;
}
