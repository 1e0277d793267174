// tree_module.cpp --
//
//     The process-wide module state and error reports.

#include "tree/tree_module.h"

#include <string>

#include "tree/tree_value.h"

namespace kelb {

namespace {

TreeModule *treeModule = nullptr;

}  // namespace

TreeModule *TreeModuleGet() noexcept { return treeModule; }

TreeModule &TreeModuleMake() {
    if (treeModule == nullptr) {
        treeModule = new TreeModule;
        treeModule->store.valueOps = &TreeTclValueOps();
        treeModule->thread = Tcl_GetCurrentThread();
    }
    return *treeModule;
}

TreeStore &TreeModuleStore() noexcept { return treeModule->store; }

int TreeUsage(Tcl_Interp *interp, Tcl_Obj *const objv[], const char *usage) {
    Tcl_WrongNumArgs(interp, 1, objv, usage);
    return TCL_ERROR;
}

int TreeReportError(Tcl_Interp *interp) {
    const TreeError &error = treeModule->store.error;
    Tcl_ResetResult(interp);
    Tcl_Obj *message = Tcl_NewStringObj(TreeErrorMessage(error.code), -1);
    Tcl_AppendToObj(message, error.detail.data(), static_cast<int>(error.detail.size()));
    Tcl_SetObjResult(interp, message);
    return TCL_ERROR;
}

int TreeFailWith(Tcl_Interp *interp, int code, std::string_view detail) {
    TreeSetError(treeModule->store.error, code, detail);
    return TreeReportError(interp);
}

}  // namespace kelb
