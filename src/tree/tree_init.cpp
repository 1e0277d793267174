// tree_init.cpp --
//
//     Tree_Init: brings the tree store to an interpreter, and the lookup
//     other modules use.

#include <cstdio>
#include <cstring>

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "tree/tree_api.h"
#include "tree/tree_commands.h"
#include "tree/tree_module.h"
#include "tree/tree_resolver.h"
#include "tree/tree_value.h"

namespace kelb {

Node *TreeLookup(const char *address, int length, bool create) {
    TreeModule *module = TreeModuleGet();
    if (module == nullptr) return nullptr;
    const std::size_t size = length < 0 ? std::strlen(address) : static_cast<std::size_t>(length);
    return TreeLookup(module->store, std::string_view(address, size), create);
}

}  // namespace kelb

// Tree_Init --
//
//     Installs the variable resolver, makes the process-wide tree on the
//     first call, the node /interpN for this interpreter (N counting the
//     calls), and the commands tree, qen and qenutil.
//
// Results:
//     TCL_OK; TCL_ERROR when memory runs out, or in a thread other than the
//     one that first brought the tree store up: the store is shared by the
//     interpreters of one thread and is not locked.
int Tree_Init(Tcl_Interp *interp) {
    using namespace kelb;
    return GuardCommand(interp, [interp] {
        TreeModule &module = TreeModuleMake();
        if (module.thread != Tcl_GetCurrentThread()) {
            return Fail(interp, "the tree store is in use by another thread");
        }
        TreeAttachInterp(interp);
        TreeInstallResolvers(interp);
        char name[32];
        std::snprintf(name, sizeof name, "/interp%d", module.interpCount++);
        // Found rather than made twice if a script already made that name.
        TreeLookup(module.store, name, true);
        CreateObjCommand<TreeObjCmd>(interp, "tree");
        CreateObjCommand<TreeObjCmd>(interp, "qen");
        CreateObjCommand<QenutilObjCmd>(interp, "qenutil");
        return TCL_OK;
    });
}
