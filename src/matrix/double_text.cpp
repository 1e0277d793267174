// double_text.cpp --
//
//     Recognition of Tcl's own text form of doubles.

#include "matrix/double_text.h"

namespace kelb {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// Tcl writes a finite double whose decimal exponent e lies in -4..16 as
// its shortest digits in fixed notation: "0." and -e-1 zeros before the
// digits when e < 0, else the integer part (padded with zeros) and the
// fraction, or ".0" when there is none. A text of at most 15 significant
// digits that reads back as a double is that double's shortest text: two
// distinct decimals of 15 digits differ by more than the spacing of
// doubles.
bool IsCanonicalDoubleText(std::string_view text) noexcept {
    const char *p = text.data();
    const char *end = p + text.size();
    if (p < end && *p == '-') ++p;

    const char *intStart = p;
    while (p < end && IsDigit(*p)) ++p;
    const std::size_t intLength = static_cast<std::size_t>(p - intStart);
    if (intLength == 0 || intLength > 17) return false;  // beyond 1e17: exponent notation
    if (intLength > 1 && *intStart == '0') return false;
    if (p == end || *p != '.') return false;

    const char *fracStart = ++p;
    while (p < end && IsDigit(*p)) ++p;
    const std::size_t fracLength = static_cast<std::size_t>(p - fracStart);
    if (p != end || fracLength == 0) return false;
    // The fraction is "0" alone or ends in a nonzero digit.
    const bool noFraction = fracLength == 1 && *fracStart == '0';
    if (!noFraction && end[-1] == '0') return false;

    std::size_t significant;
    if (intLength == 1 && *intStart == '0') {
        if (noFraction) return true;  // zero, either sign
        const char *first = fracStart;
        while (*first == '0') ++first;
        if (first - fracStart > 3) return false;  // below 1e-4: exponent notation
        significant = static_cast<std::size_t>(end - first);
    } else if (noFraction) {
        const char *last = intStart + intLength;
        while (last[-1] == '0') --last;
        significant = static_cast<std::size_t>(last - intStart);
    } else {
        significant = intLength + fracLength;
    }
    return significant <= 15;
}

}  // namespace kelb
