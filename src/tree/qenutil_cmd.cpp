// qenutil_cmd.cpp --
//
//     The qenutil command: the export text of a subtree, taking addresses
//     apart, the count of live nodes, and conversion between addresses and
//     node identities.

#include "tree/tree_commands.h"

#include <cstdio>

#include "core/tcl_support.h"
#include "tree/tree_address.h"
#include "tree/tree_export.h"
#include "tree/tree_fail.h"
#include "tree/tree_module.h"
#include "tree/tree_value.h"

namespace kelb {

namespace {

// Each node as a list of its type letter, its name and, for a value node,
// its value, quoted by Tcl's list rules; children between "<" and ">".
class ExportText final : public TreeExportSink {
public:
    explicit ExportText(Tcl_DString *text) : text_(text) {}
    void WriteNode(const Node &node) override {
        Tcl_DStringAppend(text_, "\n", 1);
        Tcl_DStringStartSublist(text_);
        Tcl_DStringAppendElement(text_, node.parentType == ChildType::I ? "i" : "j");
        Tcl_DStringAppendElement(text_, node.name().data());
        if (Tcl_Obj *value = TreeNodeValue(&node)) Tcl_DStringAppendElement(text_, Tcl_GetString(value));
        Tcl_DStringEndSublist(text_);
    }
    void Open() override { Tcl_DStringAppend(text_, "\n<", 2); }
    void Close() override { Tcl_DStringAppend(text_, "\n>", 2); }

private:
    Tcl_DString *text_;
};

// Syntax: qenutil export addr ?-ti? ?-tj? ?-ri? ?-rj?
//     Each option toggles one list: -ti/-tj the node's own i/j children,
//     -ri/-rj the lists followed below them.
int ExportCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    TreeError error;
    Node *node = TreeLookup(TreeModuleStore(), TreeWord(objv[2]), false, error);
    if (node == nullptr) return TreeFail(interp, error);
    static const char *const options[] = {"-ti", "-tj", "-ri", "-rj", nullptr};
    unsigned flags[2] = {kExportI | kExportJ, kExportI | kExportJ};  // top, deep
    for (int i = 3; i < objc; ++i) {
        int option = 0;
        if (Tcl_GetIndexFromObj(interp, objv[i], options, "options", 0, &option) != TCL_OK) {
            return TCL_ERROR;
        }
        flags[option / 2] ^= (option % 2 == 0) ? kExportI : kExportJ;
    }
    DString text;
    ExportText sink(text.get());
    TreeExport(*node, flags[0], flags[1], sink);
    text.MoveToResult(interp);
    return TCL_OK;
}

// Syntax: qenutil import ?arg ...?
int ImportCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    return TreeFail(interp, kTreeUnimplemented, {});
}

// Syntax: qenutil nexttoken address index
//     The name after the separator at index, and " i ", " j " or " x " by
//     what follows it.
int NextTokenCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    int index = 0;
    if (Tcl_GetIntFromObj(interp, objv[3], &index) != TCL_OK) return TCL_ERROR;
    const std::string_view address = TreeWord(objv[2]);
    if (address.empty() || address[0] != '/') return TreeFail(interp, kTreeBadAddress, address);
    std::string_view name;
    std::int64_t position = index;
    TreeError error;
    const int end = TreeNextToken(address, name, position, error);
    if (end == kTokenError) return TreeFail(interp, error);
    Tcl_Obj *result = Tcl_NewStringObj(name.data(), static_cast<TclSize>(name.size()));
    Tcl_AppendToObj(result, end == kTokenSlash ? " i " : end == kTokenDot ? " j " : " x ", 3);
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

// Syntax: qenutil split address
//     A list of {type name} pairs, one per name of the address.
int SplitCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const std::string_view address = TreeWord(objv[2]);
    if (address.empty() || address[0] != '/') return TreeFail(interp, kTreeBadAddress, address);
    ObjRef result(Tcl_NewObj());
    const char *type = "i";
    std::int64_t position = 0;
    TreeError error;
    for (;;) {
        std::string_view name;
        const int end = TreeNextToken(address, name, position, error);
        if (end == kTokenError) return TreeFail(interp, error);
        Tcl_Obj *pair[2] = {Tcl_NewStringObj(type, 1),
                            Tcl_NewStringObj(name.data(), static_cast<TclSize>(name.size()))};
        Tcl_ListObjAppendElement(nullptr, result.get(), Tcl_NewListObj(2, pair));
        if (end == kTokenEnd) break;
        type = end == kTokenSlash ? "i" : "j";
    }
    Tcl_SetObjResult(interp, result.get());
    return TCL_OK;
}

// Syntax: qenutil nodes
int NodesCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_SetObjResult(interp, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(TreeModuleStore().liveNodes)));
    return TCL_OK;
}

// Syntax: qenutil record address
int RecordCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    TreeError error;
    Node *node = TreeLookup(TreeModuleStore(), TreeWord(objv[2]), false, error);
    if (node == nullptr) return TreeFail(interp, error);
    char identity[16];
    std::snprintf(identity, sizeof identity, "/#%x",
                  static_cast<unsigned>(TreeNodeIdentity(TreeModuleStore(), node)));
    Tcl_SetObjResult(interp, Tcl_NewStringObj(identity, -1));
    return TCL_OK;
}

// Syntax: qenutil address record
int AddressCmd(Tcl_Interp *interp, int, Tcl_Obj *const objv[]) {
    const std::string_view word = TreeWord(objv[2]);
    if (word.size() < 2 || word[0] != '/' || word[1] != '#') {
        return TreeFail(interp, kTreeBadAddress, word);
    }
    NodeId id = 0;
    Node *node = TreeParseIdentity(word.substr(2), id) ? TreeNodeById(TreeModuleStore(), id) : nullptr;
    if (node == nullptr) return TreeFail(interp, kTreeInvalidRecord, word);
    const std::string address = TreeNodeAddress(node);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(address.data(), static_cast<TclSize>(address.size())));
    return TCL_OK;
}

// In this order: the index of each name and the order of Tcl's message.
// Word counts include "qenutil" and the subcommand; export reads the
// words after its address as options, the others ignore what they do not
// read.
const Subcommand kQenutilSubcommands[] = {
    {"export", ExportCmd, 3, kAnyWords, "consense addr ?-ti -tj -ri -rj?"},
    {"import", ImportCmd, 2, kAnyWords, nullptr},
    {"nexttoken", NextTokenCmd, 4, 4, "nexttoken address index", kExtraIgnored},
    {"split", SplitCmd, 3, 3, "split address", kExtraIgnored},
    {"nodes", NodesCmd, 2, 2, "nodes", kExtraIgnored},
    {"record", RecordCmd, 3, 3, "record address", kExtraIgnored},
    {"address", AddressCmd, 3, 3, "address record", kExtraIgnored},
    {nullptr, nullptr},
};

}  // namespace

// Syntax: qenutil command ?arg ...?
int QenutilObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kQenutilSubcommands, "command ?arg?");
}

}  // namespace kelb
