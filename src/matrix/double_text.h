// double_text.h --
//
//     Recognises the text Tcl itself writes for a double, so that a number
//     object whose text is already in that form can be handed back as it
//     is instead of being copied. Inline: results that pass their operands
//     through ask once per element.

#pragma once

#include <cstddef>

namespace kelb {

namespace double_text {

inline bool IsDigit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

// The most significant digits a text may have and still be known to be
// the shortest that reads back as its double.
inline constexpr std::ptrdiff_t kMaxDigits = 15;

inline bool IsNonzeroDigit(char c) noexcept { return static_cast<unsigned char>(c - '1') < 9; }

// IsCanonicalDoubleText (below) by a full scan, for texts of any length.
inline bool ScanIsCanonical(const char *text, std::size_t length) noexcept {
    const char *const end = text + length;
    const char *p = text + (*text == '-');
    const char *const intStart = p;
    while (IsDigit(*p)) ++p;
    const char *const point = p;
    if (point == intStart || *point != '.') return false;
    const char *const fracStart = point + 1;
    p = fracStart;
    while (IsDigit(*p)) ++p;
    if (p != end || fracStart == end) return false;

    const bool noFraction = end - fracStart == 1 && *fracStart == '0';
    if (*intStart == '0') {
        if (point - intStart != 1) return false;  // a leading zero
        if (noFraction) return true;              // zero, either sign
        if (end[-1] == '0') return false;
        const char *first = fracStart;
        while (*first == '0') ++first;
        // Below 1e-4 Tcl writes exponent notation.
        return first - fracStart <= 3 && end - first <= kMaxDigits;
    }
    if (noFraction) {
        // Beyond 1e17 Tcl writes exponent notation; trailing zeros of the
        // integer part are padding, not significant digits.
        if (point - intStart <= kMaxDigits) return true;
        if (point - intStart > 17) return false;
        const char *last = point;
        while (last[-1] == '0') --last;
        return last - intStart <= kMaxDigits;
    }
    return end[-1] != '0' && (point - intStart) + (end - fracStart) <= kMaxDigits;
}

}  // namespace double_text

// True when text is exactly what Tcl (with tcl_precision 0) writes for the
// double it denotes: fixed notation with at least one digit after the
// point, no superfluous zeros, and at most 15 significant digits, which
// makes it the shortest text that reads back as that double. Texts that
// may be canonical but fall outside these rules (exponent notation, 16 or
// 17 significant digits) answer false, which only costs a copy.
//
// Tcl writes a finite double whose decimal exponent e lies in -4..16 as
// its shortest digits in fixed notation: "0." and -e-1 zeros before the
// digits when e < 0, else the integer part (padded with zeros) and the
// fraction, or ".0" when there is none. A text of at most 15 significant
// digits that reads back as a double is that double's shortest text: two
// distinct decimals of 15 digits differ by more than the spacing of
// doubles.
//
// text must be followed by a NUL, as every Tcl string is: the scan stops
// at the first byte that does not fit, and the terminator is one.
inline bool IsCanonicalDoubleText(const char *text, std::size_t length) noexcept {
    using double_text::IsDigit;
    using double_text::IsNonzeroDigit;
    // The short texts people write, decided by their shape alone: every
    // "d.d" is canonical, and so are "-d.d", "d.dd" without a trailing
    // zero and "dd.d" without a leading one.
    if (length == 3) return IsDigit(text[0]) && text[1] == '.' && IsDigit(text[2]);
    if (length == 4) {
        if (text[0] == '-') return IsDigit(text[1]) && text[2] == '.' && IsDigit(text[3]);
        if (text[1] == '.') return IsDigit(text[0]) && IsDigit(text[2]) && IsNonzeroDigit(text[3]);
        return IsNonzeroDigit(text[0]) && IsDigit(text[1]) && text[2] == '.' && IsDigit(text[3]);
    }
    return double_text::ScanIsCanonical(text, length);
}

}  // namespace kelb
