// fuzz_tree_store.cpp --
//
//     Random sequences of creations, copies, links, moves, removals,
//     identity lookups and export walks on the tree store, with the
//     store's invariants checked after every operation: child lists
//     doubly linked and typed, parents right, every live node reachable
//     once and counted, the name index and the identity table in step.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "fuzz_input.h"
#include "tree/tree_export.h"
#include "tree/tree_store.h"
#include "tree/tree_transfer.h"

using namespace kelb;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// An address over few names, so that operations meet the same nodes.
std::string Address(kelbfuzz::Input &in) {
    static constexpr const char *kNames[] = {"a", "b", "c", ""};
    std::string address;
    const unsigned depth = 1 + in.Below(4);
    for (unsigned i = 0; i < depth; ++i) {
        address += i == 0 || in.Below(3) != 0 ? '/' : '.';
        address += kNames[in.Below(4)];
    }
    return address;
}

// Walks the whole tree from the root and checks it; returns the nodes.
std::size_t CheckTree(TreeStore &store) {
    std::unordered_set<const Node *> seen;
    std::vector<const Node *> pending{store.treeRoot};
    while (!pending.empty()) {
        const Node *node = pending.back();
        pending.pop_back();
        Check(seen.insert(node).second);
        for (ChildType type : {ChildType::I, ChildType::J}) {
            const Node *prev = nullptr;
            for (const Node *child = node->ChildList(type); child != nullptr; child = child->next) {
                Check(child->parent == node);
                Check(child->parentType == type);
                Check(child->prev == prev);
                Check(child->kind != NodeKind::Link || child->linkTarget != 0);
                Check(TreeNodeById(store, child->id) == child);
                Check(store.names.Find(child->hash, NameKey{node, type, child->name()}) == child);
                prev = child;
                pending.push_back(child);
                Check(seen.size() + pending.size() <= store.liveNodes + 1);
            }
        }
    }
    Check(seen.size() == store.liveNodes + 1);
    Check(store.ids.size() == store.liveNodes);
    Check(store.names.size() == store.liveNodes);
    return seen.size();
}

class CountingSink : public TreeExportSink {
public:
    void WriteNode(const Node &) override { ++nodes; }
    void Open() override { ++depth; }
    void Close() override {
        Check(depth > 0);
        --depth;
    }
    std::size_t nodes = 0;
    long depth = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kelbfuzz::Input in(data, size);
    TreeStore store;
    TreeError error;
    std::vector<NodeId> seenIds;
    for (int ops = 0; ops < 200 && !in.empty(); ++ops) {
        const std::string a = Address(in);
        switch (in.Below(9)) {
        case 0:
        case 1:
            if (Node *node = TreeLookup(store, a, true)) seenIds.push_back(node->id);
            break;
        case 2: {
            if (Node *node = TreeLookup(store, a, false)) {
                if (node != store.treeRoot) TreeRemove(store, node);
            }
            break;
        }
        case 3: (void)TreeTransfer(store, a, Address(in), TreeOp::Copy, error); break;
        case 4: (void)TreeTransfer(store, a, Address(in), TreeOp::Link, error); break;
        case 5: (void)TreeTransfer(store, a, Address(in), TreeOp::Move, error); break;
        case 6: (void)TreeTransfer(store, a, in.Below(4) == 0 ? "" : Address(in), TreeOp::Move, error);
                break;
        case 7: {
            // Identities of live and removed nodes, and made-up ones.
            NodeId id = seenIds.empty() ? in.Byte() : seenIds[in.Byte() % seenIds.size()];
            if (in.Below(4) == 0) id += in.Byte();
            const std::string address = "/#" + [&] {
                char text[16];
                std::snprintf(text, sizeof text, "%x", id);
                return std::string(text);
            }();
            Node *node = TreeLookup(store, address, false);
            if (node != nullptr) {
                Check(node->id == id);
                (void)TreeNodeAddress(node);
                (void)TreeTransfer(store, address, Address(in),
                                   static_cast<TreeOp>(1 + in.Below(3)), error);
            }
            break;
        }
        case 8: {
            Node *node = TreeLookup(store, a, false);
            if (node == nullptr) node = store.treeRoot;
            CountingSink sink;
            TreeExport(*node, 1 + in.Below(3), in.Below(4), sink);
            Check(sink.depth == 0);
            Check(sink.nodes <= store.liveNodes);
            break;
        }
        }
        CheckTree(store);
    }
    return 0;
}
