// Unit tests of the recognition of Tcl's text form of doubles.

#include <gtest/gtest.h>

#include "matrix/double_text.h"

#include <string>
#include <string_view>

namespace {

// Literals end in a NUL, as Tcl's strings do.
bool IsCanonicalDoubleText(std::string_view text) {
    return kelb::IsCanonicalDoubleText(text.data(), text.size());
}

}  // namespace

TEST(IsCanonicalDoubleText, AcceptsTclsShortestFixedForm) {
    for (const char *text : {"0.0", "-0.0", "2.0", "-2.5", "0.25", "0.0001", "100.0",
                             "123456789012345.0", "1000000000000000.0", "10000000000000000.0",
                             "0.30000000000001", "3.14159265358979"}) {
        EXPECT_TRUE(IsCanonicalDoubleText(text)) << text;
    }
}

TEST(IsCanonicalDoubleText, RefusesOtherSpellings) {
    for (const char *text : {"", "2", "2.", ".5", "+2.0", "02.0", "2.50", "2.00", "1e2", "1e+16",
                             "0.00001", "100000000000000000.0", "0x10", " 2.0", "2.0 ", "Inf",
                             "NaN", "-", "1.2.3", "--1.0"}) {
        EXPECT_FALSE(IsCanonicalDoubleText(text)) << text;
    }
}

TEST(IsCanonicalDoubleText, RefusesMoreThanFifteenSignificantDigits) {
    // 16 or 17 digits may or may not be the shortest text of their double.
    EXPECT_FALSE(IsCanonicalDoubleText("0.30000000000000004"));
    EXPECT_FALSE(IsCanonicalDoubleText("1234567890123456.0"));
    EXPECT_FALSE(IsCanonicalDoubleText("0.1000000000000000"));
}

TEST(IsCanonicalDoubleText, ShortTextsDecidedByShapeAgreeWithTheFullScan) {
    // Every text of up to four characters over the characters that matter.
    const std::string alphabet = "0159.-e ";
    std::string text;
    auto check = [&](auto &self, std::size_t length) -> void {
        EXPECT_EQ(kelb::IsCanonicalDoubleText(text.c_str(), text.size()),
                  kelb::double_text::ScanIsCanonical(text.c_str(), text.size()))
            << '"' << text << '"';
        if (length == 4) return;
        for (char c : alphabet) {
            text.push_back(c);
            self(self, length + 1);
            text.pop_back();
        }
    };
    check(check, 0);
}
