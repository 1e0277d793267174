// tree_resolver.h --
//
//     Installs the tree store's variable resolvers in an interpreter.

#pragma once

#include <tcl.h>

namespace kelb {

// Makes every variable whose name begins with "/" the value of the node
// at that address, at global level and in procedures alike.
void TreeInstallResolvers(Tcl_Interp *interp);

}  // namespace kelb
