// tree_cmd.cpp --
//
//     The tree command, registered as "tree" and "qen": creating nodes,
//     setting values, asking for parents, parent types and children,
//     removing, copying, linking and moving nodes, and the last name of an
//     address.

#include "tree/tree_commands.h"

#include <string>

#include "core/tcl_support.h"
#include "tree/tree_fail.h"
#include "tree/tree_module.h"
#include "tree/tree_transfer.h"
#include "tree/tree_value.h"

namespace kelb {

namespace {

int SetString(Tcl_Interp *interp, std::string_view text) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<TclSize>(text.size())));
    return TCL_OK;
}

// Syntax: tree create address
//     Makes the node and every missing node above it; an unusable address
//     makes nothing and is not an error.
int CreateCmd(Tcl_Interp *, int, Tcl_Obj *const objv[]) {
    TreeLookupWord(objv[2], true);
    return TCL_OK;
}

// Syntax: tree set address val
//     The node (made if missing) takes val. Values never change in place
//     while shared, so holding the caller's object is as private as a
//     copy, and costs no copy of a long list.
int SetCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    TreeError error;
    Node *node = TreeLookupWord(objv[2], true, error);
    if (node == nullptr) return TreeFail(interp, error);
    // Traces that run meanwhile leave the (empty) result as it was.
    return TreeSetValue(node, objv[3], interp);
}

// Syntax: tree parent address
int ParentCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    TreeError error;
    Node *node = TreeLookupWord(objv[2], false, error);
    if (node == nullptr) return TreeFail(interp, error);
    return node->parent != nullptr ? SetString(interp, TreeNodeAddress(node->parent)) : TCL_OK;
}

// Syntax: tree parenttype address
int ParentTypeCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    TreeError error;
    Node *node = TreeLookupWord(objv[2], false, error);
    if (node == nullptr) return TreeFail(interp, error);
    switch (node->parentType) {
    case ChildType::I: return SetString(interp, "i");
    case ChildType::J: return SetString(interp, "j");
    case ChildType::None: return TCL_OK;
    }
    return TCL_OK;
}

// Syntax: tree children address
//     "/a/" lists the children of /a attached with "/", "/a" those attached
//     with "."; each name is followed by a blank.
int ChildrenCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    std::string_view word = TreeWord(objv[2]);
    if (word.empty() || word[0] != '/') return TreeFail(interp, kTreeBadAddress, word);
    ChildType type = ChildType::J;
    if (word.size() > 1 && word.back() == '/') {
        word.remove_suffix(1);
        type = ChildType::I;
    }
    if (word == "/") type = ChildType::I;
    TreeError error;
    Node *node = TreeLookup(TreeModuleStore(), word, false, error);
    if (node == nullptr) return TreeFail(interp, error);
    // One walk over the list, into a buffer the result then takes over.
    DString names;
    for (const Node *child = node->ChildList(type); child != nullptr; child = child->next) {
        Tcl_DStringAppend(names.get(), child->name().data(), child->nameLength);
        Tcl_DStringAppend(names.get(), " ", 1);
    }
    names.MoveToResult(interp);
    return TCL_OK;
}

// Syntax: tree exists address
int ExistsCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const bool found = TreeLookupWord(objv[2], false) != nullptr;
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(found));
    return TCL_OK;
}

// Syntax: tree rm address
//     Removes the node and its subtree; links elsewhere that pointed into
//     it become plain nodes when next followed.
int RmCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Node *node = TreeLookupWord(objv[2], false);
    if (node == nullptr) return TreeFail(interp, kTreeNodeNotFound, TreeWord(objv[2]));
    if (node == TreeModuleStore().treeRoot) return TreeFail(interp, kTreeBadRoot, {});
    TreeRemove(TreeModuleStore(), node);
    return TCL_OK;
}

// Words after the destination, "-force" and "-recurse" among them, are
// ignored: the table row never lets them reach here.
int Transfer(Tcl_Interp *interp, Tcl_Obj *const objv[], TreeOp op) {
    TreeError error;
    if (!TreeTransfer(TreeModuleStore(), TreeWord(objv[2]), TreeWord(objv[3]), op, error)) {
        return TreeFail(interp, error);
    }
    return TCL_OK;
}

// Syntax: tree cp source dest ?-force? ?-recurse?
int CpCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    return Transfer(interp, objv, TreeOp::Copy);
}

// Syntax: tree ln source dest ?-force? ?-recurse?
int LnCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    return Transfer(interp, objv, TreeOp::Link);
}

// Syntax: tree mv source dest ?-force? ?-recurse?
int MvCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    return Transfer(interp, objv, TreeOp::Move);
}

// Syntax: tree tail address
//     The characters after the last "/" or ".", at most 32 of them; the
//     text is not checked as an address.
int TailCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    Tcl_Obj *word = objv[2];
    const int length = Tcl_GetCharLength(word);
    int start = length;
    while (start > 0 && length - start < 32) {
        const Tcl_UniChar c = Tcl_GetUniChar(word, start - 1);
        if (c == '.' || c == '/') break;
        --start;
    }
    Tcl_SetObjResult(interp, Tcl_GetRange(word, start, length - 1));
    return TCL_OK;
}

// In this order: the index of each name and the order of Tcl's message.
// Word counts include "tree" and the subcommand. create and set take
// exactly their words; the others ignore words past those they read.
constexpr const char *kTransferUsage = "op source dest ?-force? ?-recurse?";
const Subcommand kTreeSubcommands[] = {
    {"create", CreateCmd, 3, 3, "create address", kExtraRefused},
    {"set", SetCmd, 4, 4, "set address val", kExtraRefused},
    {"parent", ParentCmd, 3, 3, "record address", kExtraIgnored},
    {"parenttype", ParentTypeCmd, 3, 3, "record address", kExtraIgnored},
    {"children", ChildrenCmd, 3, 3, "children address", kExtraIgnored},
    {"exists", ExistsCmd, 3, 3, "exists address", kExtraIgnored},
    {"rm", RmCmd, 3, 3, "rm address", kExtraIgnored},
    {"cp", CpCmd, 4, 4, kTransferUsage, kExtraIgnored},
    {"ln", LnCmd, 4, 4, kTransferUsage, kExtraIgnored},
    {"mv", MvCmd, 4, 4, kTransferUsage, kExtraIgnored},
    {"tail", TailCmd, 3, 3, "tail address", kExtraIgnored},
    {nullptr, nullptr},
};

}  // namespace

std::string_view TreeWord(Tcl_Obj *objPtr) {
    TclSize length = 0;
    const char *text = Tcl_GetStringFromObj(objPtr, &length);
    return {text, static_cast<std::size_t>(length)};
}

// Syntax: tree command ?arg ...?
int TreeObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kTreeSubcommands, "command ?arg?");
}

}  // namespace kelb
