// Unit tests of the address tokenizer and identity reading.

#include <gtest/gtest.h>

#include <string>

#include "tree/tree_address.h"

using namespace kelb;

namespace {

struct Read {
    int end;
    std::string name;
    std::int64_t position;
};

Read Next(std::string_view address, std::int64_t position, TreeError &error) {
    std::string_view token;
    const int end = TreeNextToken(address, token, position, error);
    return {end, std::string(token), position};
}

}  // namespace

TEST(TreeNextToken, ReadsNamesAndSeparators) {
    TreeError error;
    const std::string address = "/a/b.c";
    Read r = Next(address, 0, error);
    EXPECT_EQ(r.end, kTokenSlash);
    EXPECT_EQ(r.name, "a");
    EXPECT_EQ(r.position, 2);
    r = Next(address, 2, error);
    EXPECT_EQ(r.end, kTokenDot);
    EXPECT_EQ(r.name, "b");
    r = Next(address, 4, error);
    EXPECT_EQ(r.end, kTokenEnd);
    EXPECT_EQ(r.name, "c");
    EXPECT_EQ(r.position, 6);
}

TEST(TreeNextToken, WhitespaceAndNulEndTheAddress) {
    TreeError error;
    for (char c : {' ', '\t', '\n', '\r', '\0'}) {
        std::string address = "/ab";
        address += c;
        address += "/zz";
        Read r = Next(address, 0, error);
        EXPECT_EQ(r.end, kTokenEnd) << int(c);
        EXPECT_EQ(r.name, "ab");
        EXPECT_EQ(r.position, 3);
    }
}

TEST(TreeNextToken, NameLengthLimit) {
    TreeError error;
    const std::string ok = "/" + std::string(31, 'n');
    Read r = Next(ok, 0, error);
    EXPECT_EQ(r.end, kTokenEnd);
    EXPECT_EQ(r.name.size(), 31u);

    // Too long whether more follows or the address ends right there.
    for (const char *rest : {"/x", ""}) {
        const std::string tooLong = "/" + std::string(32, 'n') + rest;
        EXPECT_EQ(Next(tooLong, 0, error).end, kTokenError) << rest;
        EXPECT_EQ(error.Text(), "Bad Token: " + tooLong);
    }
}

TEST(TreeNextToken, IllegalCharacters) {
    for (int c : {0x01, 0x1f, 0x7f, 0x80, 0xc3, 0xff}) {
        TreeError error;
        std::string address = "/a";
        address += static_cast<char>(c);
        EXPECT_EQ(Next(address, 0, error).end, kTokenError) << c;
        EXPECT_EQ(error.Text(), "Illegal Character in Address");
    }
    // Every other printable character, "#" included, is a name character.
    TreeError error;
    Read r = Next("/!#$%&'()*+,-0:;<=>?@[\\]^_`{|}~x", 0, error);
    EXPECT_EQ(r.end, kTokenEnd);
    EXPECT_EQ(r.name.size(), 31u);
}

TEST(TreeNextToken, PositionsOutsideTheAddress) {
    TreeError error;
    Read r = Next("/a/b", 99, error);
    EXPECT_EQ(r.end, kTokenEnd);
    EXPECT_EQ(r.name, "");
    // -1 reads from the leading "/"; anything lower counts as -1 and never
    // reads before the address.
    for (std::int64_t start : {-1, -2, -1000000}) {
        r = Next("/a/b", start, error);
        EXPECT_EQ(r.end, kTokenSlash);
        EXPECT_EQ(r.name, "");
        EXPECT_EQ(r.position, 0);
    }
}

TEST(TreeParseIdentity, ReadsLikeScanfHex) {
    NodeId id = 0;
    EXPECT_TRUE(TreeParseIdentity("1f", id));
    EXPECT_EQ(id, 0x1fu);
    EXPECT_TRUE(TreeParseIdentity("0x1F/rest", id));
    EXPECT_EQ(id, 0x1fu);
    EXPECT_TRUE(TreeParseIdentity("  a", id));
    EXPECT_EQ(id, 0xau);
    EXPECT_TRUE(TreeParseIdentity("-1", id));
    EXPECT_EQ(id, 0xffffffffu);
    EXPECT_FALSE(TreeParseIdentity("", id));
    EXPECT_FALSE(TreeParseIdentity("zz", id));
    EXPECT_FALSE(TreeParseIdentity("100000000", id));
    EXPECT_FALSE(TreeParseIdentity("ffffffffffffffffffffffff", id));
}

TEST(TreeCheckAddress, WholeAddressMustRead) {
    TreeError error;
    EXPECT_TRUE(TreeCheckAddress("/a/b.c", error));
    EXPECT_TRUE(TreeCheckAddress("/", error));
    EXPECT_TRUE(TreeCheckAddress("/#zz", error));
    EXPECT_FALSE(TreeCheckAddress("a/b", error));
    EXPECT_EQ(error.Text(), "Bad Address: a/b");
    EXPECT_FALSE(TreeCheckAddress("/a/b\x01", error));
    EXPECT_EQ(error.Text(), "Illegal Character in Address");
}

TEST(TreeError, CodesOutsideTheTableAreUnknown) {
    TreeError error;
    TreeSetError(error, kTreeErrorCount, "x");
    EXPECT_EQ(error.Text(), "Unknown Error: x");
    TreeSetError(error, -3, "y");
    EXPECT_EQ(error.Text(), "Unknown Error: y");
    TreeSetError(error, kTreeMemoryError, "/a");
    EXPECT_EQ(error.Text(), "Memory Error/a");
}
