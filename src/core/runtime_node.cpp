// runtime_node.cpp --
//
//     The /env.runtime counter. The counter and the pid of its process are
//     process-wide: every load relinks the one counter, sets it back to 0
//     and starts one more process, and because each load also empties the
//     process table, only the process of the latest load runs.

#include "core/runtime_node.h"

#include "process/process.h"
#include "tree/tree_api.h"

namespace kelb {

namespace {

constexpr const char *kRuntimeAddress = "/env.runtime";
constexpr std::uint32_t kRuntimePeriodMicros = 1000000;

int runtimeSeconds = 0;    // the counter behind the variable /env.runtime
int runtimeProcess = -1;   // pid of the most recently created runtime process

// One run of the runtime process, with its interpreter as client data.
// The scheduler kills the process when that interpreter is deleted, so
// the interpreter is always live here.
int RuntimeTick(ClientData clientData) {
    ++runtimeSeconds;
    Tcl_UpdateLinkedVar(static_cast<Tcl_Interp *>(clientData), kRuntimeAddress);
    return TCL_OK;
}

}  // namespace

int RuntimeNodeInit(Tcl_Interp *interp) {
    // Without the tree store (a failed initialisation) the name would
    // make an ordinary global variable; without the scheduler nothing
    // would count. Either way the counter is left out.
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, "::qenutil", &info) ||
        !Tcl_GetCommandInfo(interp, "::process", &info)) {
        return TCL_OK;
    }
    Node *node = TreeLookup(kRuntimeAddress, -1, true);
    if (node == nullptr) return TCL_OK;
    TreeSetValue(node, Tcl_NewLongObj(0), interp);
    runtimeSeconds = 0;
    if (Tcl_LinkVar(interp, kRuntimeAddress, reinterpret_cast<char *>(&runtimeSeconds),
                    TCL_LINK_INT) != TCL_OK) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    runtimeProcess = ProcessCreateForInterp(interp, RuntimeTick);
    if (runtimeProcess < 0) return TCL_OK;
    ProcessSetPeriod(runtimeProcess, kRuntimePeriodMicros);
    ProcessStart(runtimeProcess);
    return TCL_OK;
}

}  // namespace kelb
