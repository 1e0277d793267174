// library_match.h --
//
//     The matching of ladd, ldelete and lremove: that of "lsearch -glob",
//     where a value holding *, ?, [ or \ is a pattern.

#pragma once

#include <tcl.h>

#include "core/tcl_support.h"

namespace kelb {

// One value to look for in lists, taken as a glob pattern.
class ListMatcher {
public:
    // value must outlive the matcher.
    explicit ListMatcher(Tcl_Obj *value) noexcept;

    // Index of the first of the count elements that matches, or -1.
    TclSize FindIn(TclSize count, Tcl_Obj *const elements[]) const noexcept;

private:
    bool Matches(Tcl_Obj *element) const noexcept;

    const char *pattern_;    // the value's text, NUL-terminated as Tcl keeps it
    TclSize patternLength_;  // its length in bytes
    // True when the pattern can only match its own text: no glob
    // character, and only ASCII characters other than NUL. Any other byte
    // may be part of a character that Tcl's matching decodes differently
    // from its bytes, so such values take the full matcher.
    bool literal_;
};

}  // namespace kelb
