// process_configure.cpp --
//
//     "process configure" (also behind the options of "process create"):
//     answers all settings of a process, or one, or sets options in turn.
//     A word that begins with "-" is always an option name, so no value
//     can begin with "-".

#include <cstdio>
#include <string>

#include "process/process_binding.h"

namespace kelb {

namespace {

using process::ProcessRecord;

// The longest description kept, in characters.
constexpr TclSize kDescriptionLength = 31;

int QueryPeriod(Tcl_Interp *interp, const ProcessRecord &record) {
    Tcl_SetObjResult(interp, Tcl_NewIntObj(static_cast<int>(record.timing.period)));
    return TCL_OK;
}

// The period must fit its 32 bits; a larger value is refused rather than
// cut down to some unrelated period.
int SetPeriod(Tcl_Interp *interp, ProcessRecord &record, Tcl_Obj *value) {
    int period;
    if (Tcl_GetIntFromObj(interp, value, &period) != TCL_OK) return TCL_ERROR;
    record.timing.period = static_cast<std::uint32_t>(period);
    return TCL_OK;
}

int QueryFrequency(Tcl_Interp *interp, const ProcessRecord &record) {
    Tcl_SetObjResult(interp,
                     Tcl_NewWideIntObj(process::FrequencyOfPeriod(record.timing.period)));
    return TCL_OK;
}

int SetFrequency(Tcl_Interp *interp, ProcessRecord &record, Tcl_Obj *value) {
    long frequency;
    if (Tcl_GetLongFromObj(interp, value, &frequency) != TCL_OK) return TCL_ERROR;
    record.timing.period = process::PeriodOfFrequency(frequency);
    return TCL_OK;
}

int QueryDescription(Tcl_Interp *interp, const ProcessRecord &record) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(record.description.data(),
                                              static_cast<TclSize>(record.description.size())));
    return TCL_OK;
}

// Keeps the first 31 characters (not bytes, so that no character is cut
// in half) and appends what was kept to the result.
int SetDescription(Tcl_Interp *interp, ProcessRecord &record, Tcl_Obj *value) {
    ObjRef kept(value);
    if (Tcl_GetCharLength(value) > kDescriptionLength) {
        kept = ObjRef(Tcl_GetRange(value, 0, kDescriptionLength - 1));
    }
    TclSize length;
    const char *text = Tcl_GetStringFromObj(kept.get(), &length);
    record.description.assign(text, static_cast<std::size_t>(length));
    Tcl_AppendObjToObj(Tcl_GetObjResult(interp), kept.get());
    return TCL_OK;
}

// A native process has no script: it answers empty and ignores settings.
// The answer is the script's text in a new value, so that what the caller
// does with it cannot change the representation of the private copy.
int QueryCommand(Tcl_Interp *interp, const ProcessRecord &record) {
    if (ProcessScript *binding = ScriptOf(record)) {
        TclSize length;
        const char *text = Tcl_GetStringFromObj(binding->script.get(), &length);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, length));
    }
    return TCL_OK;
}

// The next run uses a private copy of the new script; its text is appended
// to the result.
int SetCommand(Tcl_Interp *interp, ProcessRecord &record, Tcl_Obj *value) {
    ProcessScript *binding = ScriptOf(record);
    if (!binding) return TCL_OK;
    binding->script = ObjRef(Tcl_DuplicateObj(value));
    Tcl_AppendObjToObj(Tcl_GetObjResult(interp), binding->script.get());
    return TCL_OK;
}

// What an option does when queried and when set.
struct Option {
    const char *name;
    int (*query)(Tcl_Interp *interp, const ProcessRecord &record);
    int (*set)(Tcl_Interp *interp, ProcessRecord &record, Tcl_Obj *value);
};

// In the order Tcl's message lists them.
const Option kOptions[] = {
    {"-period", QueryPeriod, SetPeriod},
    {"-frequency", QueryFrequency, SetFrequency},
    {"-description", QueryDescription, SetDescription},
    {"-command", QueryCommand, SetCommand},
    {nullptr, nullptr, nullptr},
};

const Option *LookupOption(Tcl_Interp *interp, Tcl_Obj *word) {
    return LookupRow(interp, word, kOptions, "option");
}

// All settings: the script (for a script process) and the description as
// list elements, then the period as plain text.
int AnswerAll(Tcl_Interp *interp, const ProcessRecord &record) {
    DString answer;
    if (ProcessScript *binding = ScriptOf(record)) {
        Tcl_DStringAppendElement(answer.get(), "-command");
        Tcl_DStringAppendElement(answer.get(), Tcl_GetString(binding->script.get()));
    }
    Tcl_DStringAppendElement(answer.get(), "-description");
    Tcl_DStringAppendElement(answer.get(), record.description.c_str());
    char period[32];
    std::snprintf(period, sizeof period, " -period %d", static_cast<int>(record.timing.period));
    Tcl_DStringAppend(answer.get(), period, -1);
    answer.MoveToResult(interp);
    return TCL_OK;
}

}  // namespace

// ProcessConfigure --
//
//     No option word: all settings. One: that option's value. More: each
//     word that begins with "-" names the option that the following values
//     set, one after another.
//
// Results:
//     TCL_OK with the answer, or with the texts the settings appended (the
//     kept descriptions and the new scripts); TCL_ERROR at the first bad
//     option, missing value or bad number, the settings before it kept.
int ProcessConfigure(Tcl_Interp *interp, ProcessRecord &record, int objc, Tcl_Obj *const objv[],
                     int first) {
    Tcl_ResetResult(interp);
    if (objc == first) return AnswerAll(interp, record);
    const Option *option = LookupOption(interp, objv[first]);
    if (!option) return TCL_ERROR;
    if (objc == first + 1) return option->query(interp, record);
    for (int i = first; i < objc; ++i) {
        if (Tcl_GetString(objv[i])[0] != '-') {
            if (option->set(interp, record, objv[i]) != TCL_OK) return TCL_ERROR;
            continue;
        }
        option = LookupOption(interp, objv[i]);
        if (!option) return TCL_ERROR;
        if (i == objc - 1) {
            Tcl_WrongNumArgs(interp, first, objv, "-option value");
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

}  // namespace kelb
