// runtime_node.cpp --
//
//     The /env.runtime counter. Each thread has its own: the counter, the
//     pid of the process that advances it, and the interpreters that link
//     it, in a list of records kept as associated data of each of them, so
//     that an interpreter leaves the list when it is deleted. The process
//     belongs to no interpreter; the first linking interpreter starts it,
//     and it stops when the last one goes.

#include "package/runtime_node.h"

#include <cstdint>

#include "core/tcl_support.h"
#include "core/thread_data.h"
#include "process/process.h"
#include "tree/tree_api.h"

namespace kelb {

namespace {

constexpr const char *kRuntimeAddress = "/env.runtime";
constexpr char kLinkKey[] = "kelb::runtime";
constexpr std::uint32_t kRuntimePeriodMicros = 1000000;

// One interpreter that links the counter.
struct RuntimeLink {
    Tcl_Interp *interp;
    RuntimeLink *next;
    RuntimeLink *prev;
};

// The counter of this thread, in Tcl's thread data (zeroed at first use).
// Plain data: the links go with their interpreters, or when the thread
// ends with them still there (ThreadEnded).
struct RuntimeCounter {
    int seconds;          // behind the variable /env.runtime
    int pid;              // the process that advances it, while links is not empty
    RuntimeLink *links;   // the linking interpreters, newest first
};
constinit ThreadData<RuntimeCounter> counter;

RuntimeCounter &Counter() noexcept { return *counter; }

// One run of the runtime process. The count wraps from the largest int to
// the smallest, computed unsigned so that it never overflows. A write to
// the variable in one interpreter reaches the records of all; the
// interpreter is held through it, since a trace may delete it.
int RuntimeTick(ClientData) {
    RuntimeCounter &counter = Counter();
    counter.seconds = static_cast<int>(static_cast<std::uint32_t>(counter.seconds) + 1u);
    for (RuntimeLink *link = counter.links; link; link = link->next) {
        Tcl_Interp *interp = link->interp;
        if (Tcl_InterpDeleted(interp)) continue;
        InterpHold hold(interp);
        Tcl_UpdateLinkedVar(interp, kRuntimeAddress);
        break;  // the link may be gone with its interpreter
    }
    return TCL_OK;
}

void ThreadEnded(ClientData) noexcept;

// An interpreter that links the counter is deleted: its link goes with its
// records; the process stops with the last one.
void Unlink(ClientData clientData, Tcl_Interp *) noexcept {
    auto *link = static_cast<RuntimeLink *>(clientData);
    RuntimeCounter &counter = Counter();
    (link->prev ? link->prev->next : counter.links) = link->next;
    if (link->next) link->next->prev = link->prev;
    delete link;
    if (counter.links) return;
    ProcessKill(counter.pid);
    Tcl_DeleteThreadExitHandler(ThreadEnded, nullptr);
}

// The thread ends with linking interpreters still there (thread::exit
// deletes none): each lets the counter go as its deletion would, so that
// nothing is left pointing at the counter when Tcl frees it with the
// thread's data.
void ThreadEnded(ClientData) noexcept {
    while (RuntimeLink *link = Counter().links) Tcl_DeleteAssocData(link->interp, kLinkKey);
}

// Starts the process that advances the counter.
void StartTicking() {
    RuntimeCounter &counter = Counter();
    counter.pid = ProcessCreate(RuntimeTick, nullptr);
    if (counter.pid < 0) return;
    ProcessSetPeriod(counter.pid, kRuntimePeriodMicros);
    ProcessStart(counter.pid);
}

// Links the counter in interp and adds it to the list; false when Tcl
// refused the link.
bool Link(Tcl_Interp *interp) {
    RuntimeCounter &counter = Counter();
    if (Tcl_LinkVar(interp, kRuntimeAddress, reinterpret_cast<char *>(&counter.seconds),
                    TCL_LINK_INT) != TCL_OK) {
        Tcl_ResetResult(interp);
        return false;
    }
    auto *link = new RuntimeLink{interp, counter.links, nullptr};
    if (counter.links) counter.links->prev = link;
    counter.links = link;
    Tcl_SetAssocData(interp, kLinkKey, Unlink, link);
    return true;
}

}  // namespace

int RuntimeNodeInit(Tcl_Interp *interp, bool treeUp, bool processUp) {
    // Without the tree store the name would make an ordinary global
    // variable; without the scheduler nothing would count.
    if (!treeUp || !processUp) return TCL_OK;
    // A second load into an interpreter that links the counter already
    // changes nothing.
    if (Tcl_GetAssocData(interp, kLinkKey, nullptr)) return TCL_OK;
    Node *node = TreeLookup(kRuntimeAddress, -1, true);
    if (node == nullptr) return TCL_OK;
    // The first interpreter of the thread starts the count; the others
    // join it as it stands, and keep it going after a script killed its
    // process only by being the first again.
    RuntimeCounter &counter = Counter();
    bool first = counter.links == nullptr;
    if (first) counter.seconds = 0;
    if (first || !TreeNodeValue(node)) {
        TreeSetValue(node, Tcl_NewIntObj(counter.seconds), interp);
    }
    if (!Link(interp)) return TCL_OK;
    if (!first) return TCL_OK;
    Tcl_CreateThreadExitHandler(ThreadEnded, nullptr);
    StartTicking();
    return TCL_OK;
}

}  // namespace kelb
