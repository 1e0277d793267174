// tcl_support.h --
//
//     Small C++ helpers shared by every module's Tcl binding: an owning
//     Tcl_Obj reference, a scoped Tcl_DString, result helpers, the
//     table-driven opening of commands and subcommands, and the guard that keeps C++ exceptions from
//     crossing into Tcl.

#pragma once

#include <tcl.h>

#include "core/failure.h"

#include <cstddef>
#include <exception>
#include <new>
#include <utility>

namespace kelb {

// Tcl 8.6 counts list elements and arguments in int; Tcl 9 in Tcl_Size.
#if TCL_MAJOR_VERSION >= 9
using TclSize = Tcl_Size;
#else
using TclSize = int;
#endif

// ObjRef holds one reference to a Tcl_Obj for as long as it lives.
// Tcl objects are born with a count of 0, so taking ownership always
// increments; there is no "steal".
class ObjRef {
public:
    ObjRef() noexcept = default;
    explicit ObjRef(Tcl_Obj *obj) noexcept : obj_(obj) {
        if (obj_) Tcl_IncrRefCount(obj_);
    }
    ObjRef(const ObjRef &other) noexcept : ObjRef(other.obj_) {}
    ObjRef(ObjRef &&other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    // Takes the new reference before dropping the old one, so assigning an
    // object to the ref that already holds it is safe.
    ObjRef &operator=(ObjRef other) noexcept {
        std::swap(obj_, other.obj_);
        return *this;
    }
    ~ObjRef() {
        if (obj_) Tcl_DecrRefCount(obj_);
    }
    Tcl_Obj *get() const noexcept { return obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }

private:
    Tcl_Obj *obj_ = nullptr;
};

// Holds an interpreter with Tcl_Preserve for as long as it lives, so that
// a script it runs may delete the interpreter without freeing it under the
// caller; the deletion comes at the release.
class InterpHold {
public:
    explicit InterpHold(Tcl_Interp *interp) noexcept : interp_(interp) { Tcl_Preserve(interp_); }
    InterpHold(const InterpHold &) = delete;
    InterpHold &operator=(const InterpHold &) = delete;
    ~InterpHold() { Tcl_Release(interp_); }

private:
    Tcl_Interp *interp_;
};

// A Tcl_DString freed when the scope ends, whatever the path out.
class DString {
public:
    DString() noexcept { Tcl_DStringInit(&ds_); }
    DString(const DString &) = delete;
    DString &operator=(const DString &) = delete;
    ~DString() { Tcl_DStringFree(&ds_); }
    Tcl_DString *get() noexcept { return &ds_; }
    // Hands the text over as the interpreter result and empties the string.
    void MoveToResult(Tcl_Interp *interp) noexcept { Tcl_DStringResult(interp, &ds_); }

private:
    Tcl_DString ds_;
};

// The error code of a Kelb failure: {KELB <module> <condition> ?detail?}.
// Every module keeps its own closed table of these and lists it in its
// manual page, so that "try ... trap {KELB TREE NODE_NOT_FOUND}" works.
struct ErrorCode {
    const char *module;     // MATRIX, PROCESS, DEVICE, TREE, LIBRARY, CORE
    const char *condition;  // upper case, words joined by "_"
};

// Sets the interpreter's error code to code, with detail as a fourth
// element when given. Replaces whatever code an earlier conversion left.
inline void SetErrorCode(Tcl_Interp *interp, ErrorCode code,
                         const char *detail = nullptr) noexcept {
    Tcl_SetErrorCode(interp, "KELB", code.module, code.condition, detail,
                     static_cast<char *>(nullptr));
}

// Replaces the interpreter result with message, sets code, and fails.
inline int Fail(Tcl_Interp *interp, const char *message, ErrorCode code,
                const char *detail = nullptr) noexcept {
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    SetErrorCode(interp, code, detail);
    return TCL_ERROR;
}

// Replaces the interpreter result with message and fails with the error
// code reset, so no code of an earlier conversion outlives its message.
// Every Kelb failure should carry a code of its own: use the form above.
inline int Fail(Tcl_Interp *interp, const char *message) noexcept {
    Tcl_ResetResult(interp);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    return TCL_ERROR;
}

// Raises a row of a module's failure table: its message, and the code
// {KELB <module> <condition> ?detail?}.
inline int FailRow(Tcl_Interp *interp, const char *module, const Failure &failure,
                   const char *detail = nullptr) noexcept {
    return Fail(interp, failure.message, ErrorCode{module, failure.condition}, detail);
}

inline constexpr ErrorCode kNoMemory{"CORE", "MEMORY"};
inline constexpr ErrorCode kInternalError{"CORE", "INTERNAL"};

// The body of a command or subcommand, called once its words are
// checked against its row: objv holds at least the row's fewest words.
// Every command that opens subcommands, and every library command, has a
// body of this one shape.
using CommandHandler = int (*)(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

// Most words of a row that reads every word it is given.
inline constexpr int kAnyWords = -1;

// What a row does with words past the last one it reads.
enum ExtraWords : unsigned char {
    kExtraRefused,  // "wrong # args" with the row's usage
    kExtraIgnored,  // accepted and never read
};

// One row of a command table: the name Tcl matches (with unique
// abbreviations), what to call, and the words the body reads, counting
// the command and, for a subcommand, the subcommand itself. Fewer than
// minWords get Tcl's "wrong # args" with usage, which names the command
// and its arguments; more than maxWords get the same or are ignored, as
// extra says. Subcommand tables end with a null name.
struct Subcommand {
    const char *name;
    CommandHandler handler;
    int minWords = 2;
    int maxWords = kAnyWords;
    const char *usage = nullptr;
    ExtraWords extra = kExtraRefused;
};

// Checks objc against row, keeping the first word in the message.
// Returns false with "wrong # args" in the interpreter result.
inline bool CheckWords(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                       const Subcommand &row) noexcept {
    const bool tooMany = row.maxWords != kAnyWords && objc > row.maxWords &&
                         row.extra == kExtraRefused;
    if (objc >= row.minWords && !tooMany) return true;
    Tcl_WrongNumArgs(interp, 1, objv, row.usage);
    return false;
}

// The opening of a command without subcommands: checks the words against
// row and runs the row's handler.
inline int OpenCommand(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                       const Subcommand &row) {
    if (!CheckWords(interp, objc, objv, row)) return TCL_ERROR;
    return row.handler(interp, objc, objv);
}

// Looks objPtr up in a null-terminated table of rows that begin with a
// name (subcommands, options), with Tcl's own matching and message ("bad
// <what> "x": must be ..."). Returns the row, or nullptr with the message
// in the interpreter result.
template <typename Row>
const Row *LookupRow(Tcl_Interp *interp, Tcl_Obj *objPtr, const Row *table,
                     const char *what) noexcept {
    int index;
    if (Tcl_GetIndexFromObjStruct(interp, objPtr, table, sizeof(Row), what, 0, &index) != TCL_OK) {
        return nullptr;
    }
    return &table[index];
}

// The opening of every command with subcommands: fewer than two words
// get Tcl's wrong # args message with usage; otherwise the second word is
// looked up in table (Tcl's message for a bad one, naming it what) and the
// number of words is checked against the row. Returns the row, or nullptr
// on failure. The result is left as it is: Tcl empties it before it calls
// any command.
inline const Subcommand *FindSubcommand(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                                        const Subcommand *table, const char *usage,
                                        const char *what = "command") noexcept {
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, usage);
        return nullptr;
    }
    const Subcommand *row = LookupRow(interp, objv[1], table, what);
    if (row == nullptr || !CheckWords(interp, objc, objv, *row)) return nullptr;
    return row;
}

// The body of every command with subcommands: runs the row FindSubcommand
// picks, or fails as it does.
inline int RunSubcommand(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[],
                         const Subcommand *table, const char *usage,
                         const char *what = "command") {
    const Subcommand *row = FindSubcommand(interp, objc, objv, table, usage, what);
    return row != nullptr ? row->handler(interp, objc, objv) : TCL_ERROR;
}

// Calls a command body and turns a C++ exception into a Tcl error, so that
// none unwinds through Tcl's C frames. Only allocation can throw in this
// library, and anything else the standard library throws is reported
// rather than lost. What is let through is the end of the thread:
// thread::exit, in a script the body runs, ends the thread by unwinding
// its whole stack, which must neither be caught nor meet a noexcept frame
// (either aborts the process).
template <typename Body>
int GuardCommand(Tcl_Interp *interp, Body &&body) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return Fail(interp, "not enough memory", kNoMemory);
    } catch (const std::exception &) {
        return Fail(interp, "internal error", kInternalError);
    }
}

// Registers an object command whose procedure is Impl, wrapped in
// GuardCommand.
template <int (*Impl)(ClientData, Tcl_Interp *, int, Tcl_Obj *const[])>
int GuardedObjCmd(ClientData clientData, Tcl_Interp *interp, int objc,
                  Tcl_Obj *const objv[]) {
    return GuardCommand(interp, [&] { return Impl(clientData, interp, objc, objv); });
}

template <int (*Impl)(ClientData, Tcl_Interp *, int, Tcl_Obj *const[])>
Tcl_Command CreateObjCommand(Tcl_Interp *interp, const char *name,
                             ClientData clientData = nullptr,
                             Tcl_CmdDeleteProc *deleteProc = nullptr) {
    return Tcl_CreateObjCommand(interp, name, GuardedObjCmd<Impl>, clientData, deleteProc);
}

}  // namespace kelb
