// library_match.cpp --
//
//     Glob matching of list elements, with a fast path for values that
//     hold no glob character.

#include "library/library_match.h"

#include <cstring>

namespace kelb {

namespace {

// Whether Tcl_StringMatch(s, text) can hold only when s equals text byte
// for byte (up to the first NUL, where Tcl's matching stops too). Every
// character of text is then a plain ASCII character, which Tcl's UTF-8
// decoding yields only from that same single byte.
bool IsLiteralPattern(const char *text, TclSize length) noexcept {
    for (TclSize i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == 0 || byte >= 0x80) return false;
        if (byte == '*' || byte == '?' || byte == '[' || byte == '\\') return false;
    }
    return true;
}

}  // namespace

ListMatcher::ListMatcher(Tcl_Obj *value) noexcept {
    pattern_ = Tcl_GetStringFromObj(value, &patternLength_);
    literal_ = IsLiteralPattern(pattern_, patternLength_);
}

bool ListMatcher::Matches(Tcl_Obj *element) const noexcept {
    // Elements searched almost always have their text already: read it
    // without a call.
    const char *text = element->bytes;
    TclSize length = element->length;
    if (text == nullptr) text = Tcl_GetStringFromObj(element, &length);
    if (!literal_) return Tcl_StringMatch(text, pattern_) != 0;
    // Tcl's matching reads the element only up to its first NUL: a longer
    // element matches when a NUL ends the part that equals the pattern.
    if (length < patternLength_) return false;
    if (length > patternLength_ && text[patternLength_] != '\0') return false;
    if (patternLength_ == 0) return true;
    // Set members often share a prefix and differ at the end: look at the
    // last byte before calling memcmp.
    return text[patternLength_ - 1] == pattern_[patternLength_ - 1] &&
           std::memcmp(text, pattern_, static_cast<std::size_t>(patternLength_)) == 0;
}

TclSize ListMatcher::FindIn(TclSize count, Tcl_Obj *const elements[]) const noexcept {
    for (TclSize i = 0; i < count; ++i) {
        if (Matches(elements[i])) return i;
    }
    return -1;
}

}  // namespace kelb
