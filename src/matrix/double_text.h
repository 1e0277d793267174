// double_text.h --
//
//     Recognises the text Tcl itself writes for a double, so that a number
//     object whose text is already in that form can be handed back as it
//     is instead of being copied.

#pragma once

#include <string_view>

namespace kelb {

// True when text is exactly what Tcl (with tcl_precision 0) writes for the
// double it denotes: fixed notation with at least one digit after the
// point, no superfluous zeros, and at most 15 significant digits, which
// makes it the shortest text that reads back as that double. Texts that
// may be canonical but fall outside these rules (exponent notation, 16 or
// 17 significant digits) answer false, which only costs a copy.
bool IsCanonicalDoubleText(std::string_view text) noexcept;

}  // namespace kelb
