// tree_link_helper.cpp --
//
//     A loadable helper for the tests only (never installed): links one
//     process-wide C integer to Tcl variables by name, as C code of the
//     package does with node values, so that the tests can check that such
//     links survive "tree set", "tree rm", several interpreters and
//     interpreter deletion.
//
//     kelbtest_link name ?readonly?   Tcl_LinkVar of the counter
//     kelbtest_unlink name            Tcl_UnlinkVar
//     kelbtest_update name            Tcl_UpdateLinkedVar
//     kelbtest_counter ?value?        reads (or sets, without telling Tcl)
//                                     the C integer

#include <tcl.h>

namespace {

// Owned by the helper; touched only by the thread whose tests load it.
int counter = 0;

int LinkCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 2 && objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "name ?readonly?");
        return TCL_ERROR;
    }
    const int type = TCL_LINK_INT | (objc == 3 ? TCL_LINK_READ_ONLY : 0);
    return Tcl_LinkVar(interp, Tcl_GetString(objv[1]), reinterpret_cast<char *>(&counter), type);
}

int UnlinkCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "name");
        return TCL_ERROR;
    }
    Tcl_UnlinkVar(interp, Tcl_GetString(objv[1]));
    return TCL_OK;
}

int UpdateCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "name");
        return TCL_ERROR;
    }
    Tcl_UpdateLinkedVar(interp, Tcl_GetString(objv[1]));
    return TCL_OK;
}

int CounterCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc == 2 && Tcl_GetIntFromObj(interp, objv[1], &counter) != TCL_OK) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewIntObj(counter));
    return TCL_OK;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Kelbtreetest_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "kelbtest_link", LinkCmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "kelbtest_unlink", UnlinkCmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "kelbtest_update", UpdateCmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "kelbtest_counter", CounterCmd, nullptr, nullptr);
    return TCL_OK;
}
