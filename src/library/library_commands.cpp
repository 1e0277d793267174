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

struct LibraryCommand {
    const char *name;       // the command's name in ::kelb
    LibraryHandler handler;
    int minWords;           // counting the command itself
    int maxWords;           // or kAnyWords
    const char *usage;      // the arguments, for "wrong # args"
};

// In the order the library defines them; wait stays a Tcl procedure.
const LibraryCommand kLibraryCommands[] = {
    {"string.to.args", StringToArgsCmd, 2, 3, "str ?phyrst?"},
    {"ladd", LaddCmd, 3, 3, "VAR VAL"},
    {"ldelete", LdeleteCmd, 2, kAnyWords, "LIST ?arg ...?"},
    {"lreverse", LreverseCmd, 2, 2, "LIST"},
    {"lset", LsetCmd, 3, 3, "STRING VARS"},
    {"lremove", LremoveCmd, 2, kAnyWords, "VAR ?arg ...?"},
    {"lfifo", LfifoCmd, 3, 4, "stackvar linevar ?len?"},
    {"lpop", LpopCmd, 2, 3, "stackvar ?storevar?"},
    {"lpush", LpushCmd, 3, 3, "stackvar line"},
    {"lpeek", LpeekCmd, 2, 2, "stackvar"},
    {"get", GetCmd, 2, 2, "var"},
};

int LibraryObjCmd(ClientData clientData, Tcl_Interp *interp, int objc,
                  Tcl_Obj *const objv[]) {
    const LibraryCommand &command = *static_cast<const LibraryCommand *>(clientData);
    if (objc < command.minWords || (command.maxWords != kAnyWords && objc > command.maxWords)) {
        Tcl_WrongNumArgs(interp, 1, objv, command.usage);
        return TCL_ERROR;
    }
    return GuardCommand(interp, [&] { return command.handler(interp, objc, objv); });
}

}  // namespace

void LibraryCommandsCreate(Tcl_Interp *interp) {
    OwnedListInit();
    for (const LibraryCommand &command : kLibraryCommands) {
        (void)LibraryCommandCreateIn(interp, "::kelb", command.name);
    }
    // A second load into the same interpreter finds the namespace there.
    Tcl_Namespace *library = Tcl_FindNamespace(interp, "::kelb", nullptr, 0);
    if (library == nullptr) return;
    for (const LibraryCommand &command : kLibraryCommands) {
        (void)Tcl_Export(interp, library, command.name, 0);
    }
}

bool LibraryCommandCreateIn(Tcl_Interp *interp, const char *nsName, const char *name) {
    for (const LibraryCommand &command : kLibraryCommands) {
        if (std::strcmp(command.name, name) != 0) continue;
        // The global namespace is "::", every other one "::a" or "::a::b".
        const char *separator = std::strcmp(nsName, "::") == 0 ? "" : "::";
        ObjRef fullName(Tcl_ObjPrintf("%s%s%s", nsName, separator, name));
        // Creating the command creates its namespace when needed.
        Tcl_CreateObjCommand(interp, Tcl_GetString(fullName.get()), LibraryObjCmd,
                             const_cast<LibraryCommand *>(&command), nullptr);
        return true;
    }
    return false;
}

}  // namespace kelb
