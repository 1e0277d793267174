// kelb_init.cpp --
//
//     The load entry points Kelb_Init and Kelb_SafeInit. They bring up the
//     modules one after another, record in the global array "kelb" which
//     of them came up, and announce the package; an ordinary interpreter
//     also gets the script library and the runtime counter.

#include "core/kelb.h"
#include "package/public_api.h"
#include "package/runtime_node.h"
#include "library/script_library.h"

#include <iterator>
#include <string_view>

#define KELB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// What a safe interpreter gets of a module.
enum class InSafeInterp {
    Init,        // the module is initialised as in an ordinary interpreter
    MarkAbsent,  // not initialised; its status element reads "0"
    Omit,        // not initialised and no status element is written
};

struct Module {
    const char *statusName;  // element of the "kelb" array
    int (*init)(Tcl_Interp *interp);
    InSafeInterp inSafeInterp;
};

// The modules in the order they come up. A module joins the package with
// one line here.
constexpr Module kModules[] = {
    {"MATRIX", Matrix_Init, InSafeInterp::Init},
    {"PROCESS", Process_Init, InSafeInterp::MarkAbsent},
    {"DEVICE", Device_Init, InSafeInterp::MarkAbsent},
    {"QEN", Tree_Init, InSafeInterp::Omit},
};

void RecordStatus(Tcl_Interp *interp, const char *statusName, bool up) {
    Tcl_SetVar2(interp, "kelb", statusName, up ? "1" : "0", TCL_GLOBAL_ONLY);
}

// A module counts as up unless its initialisation reported TCL_ERROR.
bool InitModule(Tcl_Interp *interp, const Module &module) {
    bool up = module.init(interp) != TCL_ERROR;
    RecordStatus(interp, module.statusName, up);
    return up;
}

// Where a module stands in kModules.
constexpr std::size_t ModuleIndex(std::string_view statusName) {
    std::size_t i = 0;
    while (statusName != kModules[i].statusName) ++i;
    return i;
}
constexpr std::size_t kProcessModule = ModuleIndex("PROCESS");
constexpr std::size_t kTreeModule = ModuleIndex("QEN");

}  // namespace

// Kelb_Init --
//
//     Entry point for an ordinary interpreter. A module that fails is only
//     marked "0", and a failing script library is passed over; loading goes
//     on and the package is still provided.
//
// Results:
//     TCL_OK, unless the interpreter offers no Tcl 8.6 stubs table.
KELB_EXPORT int Kelb_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    bool up[std::size(kModules)];
    for (std::size_t i = 0; i < std::size(kModules); ++i) up[i] = InitModule(interp, kModules[i]);
    kelb::ScriptLibraryLoad(interp);
    Tcl_PkgProvideEx(interp, "Kelb", KELB_VERSION, &kelb::kPublicApi);
    kelb::RuntimeNodeInit(interp, up[kTreeModule], up[kProcessModule]);
    return TCL_OK;
}

// Kelb_SafeInit --
//
//     Entry point for a safe interpreter: only the modules that are safe to
//     offer come up. The package is provided all the same, so that
//     "package require Kelb" in a safe interpreter, whose "load" hands the
//     library to this entry point, finds what the package index promised.
KELB_EXPORT int Kelb_SafeInit(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    for (const Module &module : kModules) {
        switch (module.inSafeInterp) {
        case InSafeInterp::Init: InitModule(interp, module); break;
        case InSafeInterp::MarkAbsent: RecordStatus(interp, module.statusName, false); break;
        case InSafeInterp::Omit: break;
        }
    }
    Tcl_PkgProvideEx(interp, "Kelb", KELB_VERSION, &kelb::kPublicApi);
    return TCL_OK;
}
