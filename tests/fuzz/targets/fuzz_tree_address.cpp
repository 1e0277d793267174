// fuzz_tree_address.cpp --
//
//     The address tokenizer and the lookup of the tree store on arbitrary
//     text: every name read must lie inside the address, positions must
//     only move forward, and finding, probing and creating must agree.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tree/tree_address.h"
#include "tree/tree_store.h"

using namespace kelb;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Tokenizes the whole address from `start`, as the lookup and the
// nexttoken subcommand do.
void Tokenize(std::string_view address, std::int64_t start) {
    TreeError error;
    std::int64_t position = start;
    for (int steps = 0; steps < 4096; ++steps) {
        std::string_view token;
        const std::int64_t before = position;
        const int end = TreeNextToken(address, token, position, error);
        if (end == kTokenError) {
            Check(error.code == kTreeBadToken || error.code == kTreeIllegalCharacter);
            return;
        }
        Check(token.size() <= kTreeMaxName);
        if (!token.empty()) {
            Check(token.data() >= address.data() &&
                  token.data() + token.size() <= address.data() + address.size());
        }
        // Positions move forward, except that an address read to its end
        // leaves the position at its length.
        const auto length = static_cast<std::int64_t>(address.size());
        Check(position > std::max<std::int64_t>(before, -1) || position == length);
        if (end == kTokenEnd) return;
        Check(end == kTokenSlash || end == kTokenDot);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks a start position (including ones before and
    // after the address); the rest is the address.
    const std::int64_t start = static_cast<std::int8_t>(data[0]);
    const std::string_view address(reinterpret_cast<const char *>(data + 1), size - 1);
    Tokenize(address, start);

    NodeId id = 0;
    (void)TreeParseIdentity(address, id);
    TreeError error;
    const bool wellFormed = TreeCheckAddress(address, error);

    static TreeStore store;
    Node *found = TreeLookup(store, address, false);
    bool complete = false;
    Node *probed = TreeProbe(store, address, complete, error);
    if (found != nullptr) Check(probed == found && complete);
    Node *made = TreeLookup(store, address, true);
    if (made != nullptr) {
        Check(wellFormed);
        Check(TreeLookup(store, address, false) == made);
        Check(TreeNodeById(store, made->id) == made || made == store.treeRoot);
        const std::string rebuilt = TreeNodeAddress(made);
        // The address rebuilt from the node names the same node; but the
        // empty-named child of the root rebuilds as "/", the root's.
        if (made != store.treeRoot && address[1] != '#' && rebuilt != "/") {
            Check(TreeLookup(store, rebuilt, false) == made);
        }
    }
    // Keep the tree small: drop everything below the root now and then.
    if (store.liveNodes > 5000) {
        for (ChildType type : {ChildType::I, ChildType::J}) {
            while (Node *child = store.treeRoot->ChildList(type)) TreeRemove(store, child);
        }
        Check(store.liveNodes == 0);
    }
    return 0;
}
