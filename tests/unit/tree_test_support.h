// Shared fixtures of the tree store's unit tests: a value type of their
// own (the Tcl binding brings the real one) and helpers to build trees.

#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree/tree_store.h"

namespace kelb {

struct TreeValue {
    std::string text;
};

}  // namespace kelb

namespace kelb::testing {

// Values as plain strings; records what was freed, in order.
class StringValues : public TreeValueOps {
public:
    void DetachValue(Node &) noexcept override { ++detached; }
    void FreeValue(Node &node) noexcept override {
        freed.push_back(node.value->text);
        delete node.value;
        node.value = nullptr;
        node.kind = NodeKind::Plain;
    }
    void CopyValue(const Node &from, Node &to) override { Set(to, from.value->text); }
    void MoveValue(Node &from, Node &to) noexcept override {
        to.value = from.value;
        from.value = nullptr;
    }
    static void Set(Node &node, const std::string &text) {
        if (node.kind == NodeKind::Value) {
            node.value->text = text;
            return;
        }
        node.value = new TreeValue{text};
        node.kind = NodeKind::Value;
    }

    int detached = 0;
    std::vector<std::string> freed;
};

class TreeTest : public ::testing::Test {
protected:
    TreeTest() { store.valueOps = &values; }

    Node *Make(const char *address) { return TreeLookup(store, address, true, error); }
    Node *Find(const char *address) { return TreeLookup(store, address, false, error); }
    void SetValue(const char *address, const std::string &text) {
        StringValues::Set(*Make(address), text);
    }
    std::string ValueOf(const char *address) {
        Node *node = Find(address);
        if (node == nullptr || node->kind != NodeKind::Value) return "<none>";
        return node->value->text;
    }
    // Names of a child list from its head, joined by blanks.
    static std::string Names(const Node *node, ChildType type) {
        std::string out;
        for (const Node *c = node->ChildList(type); c != nullptr; c = c->next) {
            if (!out.empty()) out += ' ';
            out += c->name();
        }
        return out;
    }
    std::string ErrorText() const { return error.Text(); }
    // Whether the identity index holds exactly the nodes of the tree that
    // are marked as in it, and every node once it is complete.
    bool IdsMatchTree() const {
        std::size_t known = 0;
        bool fine = true;
        std::vector<const Node *> pending{store.treeRoot};
        while (!pending.empty()) {
            const Node *node = pending.back();
            pending.pop_back();
            for (ChildType type : {ChildType::I, ChildType::J}) {
                for (const Node *c = node->ChildList(type); c != nullptr; c = c->next) {
                    pending.push_back(c);
                    known += c->knownById;
                    fine = fine && (c->knownById || !store.idsComplete);
                }
            }
        }
        return fine && known == store.ids.size();
    }

    StringValues values;  // declared first: the store frees values on destruction
    TreeStore store;
    TreeError error;  // the error of the last operation that failed
};

}  // namespace kelb::testing
