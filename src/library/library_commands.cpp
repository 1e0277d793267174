// library_commands.cpp --
//
//     The table of the library's C++ commands and their common opening:
//     the word count against the row, with the usage text the procedures
//     they replace gave ("wrong # args: should be "ladd VAR VAL""), and
//     the guard that keeps C++ exceptions out of Tcl.

#include "library/library_commands.h"

#include "library/library_vars.h"
#include "core/tcl_support.h"

#include <cstring>

namespace kelb {

namespace {

// In the order the library defines them, each with its name in ::kelb
// and the words it takes, counting the command itself; like the
// procedures they replace, they refuse extra words. wait stays a Tcl
// procedure.
const Subcommand kLibraryCommands[] = {
    {"string.to.args", StringToArgsCmd, 2, 3, "str ?phyrst?", kExtraRefused},
    {"ladd", LaddCmd, 3, 3, "VAR VAL", kExtraRefused},
    {"ldelete", LdeleteCmd, 2, kAnyWords, "LIST ?arg ...?"},
    {"lreverse", LreverseCmd, 2, 2, "LIST", kExtraRefused},
    {"lset", LsetCmd, 3, 3, "STRING VARS", kExtraRefused},
    {"lremove", LremoveCmd, 2, kAnyWords, "VAR ?arg ...?"},
    {"lfifo", LfifoCmd, 3, 4, "stackvar linevar ?len?", kExtraRefused},
    {"lpop", LpopCmd, 2, 3, "stackvar ?storevar?", kExtraRefused},
    {"lpush", LpushCmd, 3, 3, "stackvar line", kExtraRefused},
    {"lpeek", LpeekCmd, 2, 2, "stackvar", kExtraRefused},
    {"get", GetCmd, 2, 2, "var", kExtraRefused},
};

int LibraryObjCmd(ClientData clientData, Tcl_Interp *interp, int objc,
                  Tcl_Obj *const objv[]) {
    const Subcommand &command = *static_cast<const Subcommand *>(clientData);
    return GuardCommand(interp, [&] { return OpenCommand(interp, objc, objv, command); });
}

}  // namespace

void LibraryCommandsCreate(Tcl_Interp *interp) {
    for (const Subcommand &command : kLibraryCommands) {
        (void)LibraryCommandCreateIn(interp, "::kelb", command.name);
    }
    // A second load into the same interpreter finds the namespace there.
    Tcl_Namespace *library = Tcl_FindNamespace(interp, "::kelb", nullptr, 0);
    if (library == nullptr) return;
    for (const Subcommand &command : kLibraryCommands) {
        (void)Tcl_Export(interp, library, command.name, 0);
    }
}

bool LibraryCommandCreateIn(Tcl_Interp *interp, const char *nsName, const char *name) {
    for (const Subcommand &command : kLibraryCommands) {
        if (std::strcmp(command.name, name) != 0) continue;
        // The global namespace is "::", every other one "::a" or "::a::b".
        const char *separator = std::strcmp(nsName, "::") == 0 ? "" : "::";
        ObjRef fullName(Tcl_ObjPrintf("%s%s%s", nsName, separator, name));
        // Creating the command creates its namespace when needed.
        Tcl_CreateObjCommand(interp, Tcl_GetString(fullName.get()), LibraryObjCmd,
                             const_cast<Subcommand *>(&command), nullptr);
        return true;
    }
    return false;
}

}  // namespace kelb
