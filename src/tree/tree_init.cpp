// tree_init.cpp --
//
//     Tree_Init: brings the tree store to an interpreter, and the lookup
//     other modules use.

#include <cstdio>
#include <cstring>

#include "core/kelb.h"
#include "core/package_commands.h"
#include "tree/tree_api.h"
#include "tree/tree_commands.h"
#include "tree/tree_fail.h"
#include "tree/tree_module.h"
#include "tree/tree_resolver.h"
#include "tree/tree_record.h"

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
//     Installs the variable resolvers, claims the store for this thread
//     (making it on the first call), makes the node /interpN for this
//     interpreter (N counting the calls in the process), and the commands
//     tree, qen and qenutil.
//
// Results:
//     TCL_OK; TCL_ERROR when memory runs out, or in a thread other than
//     the one that owns the store: its values are that thread's Tcl
//     objects.
//
// Side effects:
//     The /interpN node goes when the interpreter is deleted, and with the
//     last interpreter of the thread holding the store the whole store is
//     emptied and left for any thread to claim.
int Tree_Init(Tcl_Interp *interp) {
    using namespace kelb;
    return GuardCommand(interp, [interp] {
        TreeModule *module = TreeModuleClaim();
        if (module == nullptr) {
            return TreeFail(interp, kTreeOwnedElsewhere, {});
        }
        InterpState *state = nullptr;
        try {
            state = TreeAttachInterp(interp);
        } catch (...) {
            TreeModuleReleaseUnused();
            throw;
        }
        TreeInstallResolvers(interp);
        char name[32];
        std::snprintf(name, sizeof name, "/interp%d", module->interpCount++);
        // A node a script already made under that name is left to it.
        if (TreeLookup(module->store, name, false) == nullptr) {
            if (Node *node = TreeLookup(module->store, name, true)) {
                state->ownNodes.push_back(TreeNodeIdentity(module->store, node));
            }
        }
        CreatePackageCommand<TreeObjCmd>(interp, "tree");
        CreatePackageCommand<TreeObjCmd>(interp, "qen");
        CreatePackageCommand<QenutilObjCmd>(interp, "qenutil");
        return TCL_OK;
    });
}
