// Unit tests of the tree store: lookup, creation, identities, links,
// unlinking and freeing, and the name index under load.

#include <algorithm>
#include <random>
#include <set>

#include "tree_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define KELB_TEST_ASAN 1
#include <sanitizer/asan_interface.h>
#endif
#include "tree/tree_export.h"

using namespace kelb;
using kelb::testing::TreeTest;

namespace {
// prefix followed by n in decimal. (Built by appending: GCC 12 warns
// falsely about "literal" + std::string in optimised builds.)
std::string Numbered(const char *prefix, int n) {
    return std::string(prefix).append(std::to_string(n));
}
}  // namespace

TEST_F(TreeTest, RootAndCreation) {
    EXPECT_EQ(Find("/"), store.treeRoot);
    EXPECT_EQ(TreeNodeAddress(store.treeRoot), "");
    Node *z = Make("/x/y.z");
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(store.liveNodes, 3u);
    EXPECT_EQ(TreeNodeAddress(z), "/x/y.z");
    EXPECT_EQ(z->parentType, ChildType::J);
    EXPECT_EQ(Make("/x/y.z"), z);
    EXPECT_EQ(store.liveNodes, 3u);
}

TEST_F(TreeTest, LookupFailures) {
    EXPECT_EQ(Find("a/b"), nullptr);
    EXPECT_EQ(ErrorText(), "Bad Address: a/b");
    EXPECT_EQ(Find(""), nullptr);
    EXPECT_EQ(ErrorText(), "Bad Address: ");
    EXPECT_EQ(Find("/nosuch/x"), nullptr);
    EXPECT_EQ(ErrorText(), "Node Not Found: /nosuch/x");
    // A failing create keeps what it made before the bad name.
    EXPECT_EQ(Make("/made/b\x7f"), nullptr);
    EXPECT_EQ(ErrorText(), "Illegal Character in Address");
    EXPECT_NE(Find("/made"), nullptr);
}

TEST_F(TreeTest, AddressEndsAndEmptyNames) {
    Node *a = Make("/a");
    EXPECT_EQ(Find("/a b"), a);
    EXPECT_EQ(Find("/a\tjunk"), a);
    Node *b = Make("/a//b");
    EXPECT_EQ(TreeNodeAddress(b), "/a//b");
    EXPECT_EQ(b->parent->name(), "");
    EXPECT_EQ(b->parent->parent, a);
    // "/ " is the empty-named child of the root, "/" the root itself.
    EXPECT_EQ(Find("/ "), nullptr);
    EXPECT_NE(Make("/ "), store.treeRoot);
}

// Names begin inside the node record: every length reads back whole next
// to its neighbours after their fields are written, and lookups stop at
// the longest legal name.
TEST_F(TreeTest, NamesOfEveryLengthStayApart) {
    auto address = [](std::size_t n) {
        return "/n." + std::string(n, static_cast<char>('a' + n % 26));
    };
    for (std::size_t n = 1; n <= kTreeMaxName; ++n) SetValue(address(n).c_str(), "v");
    for (std::size_t n = 1; n <= kTreeMaxName; ++n) {
        Node *node = Find(address(n).c_str());
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->name(), address(n).substr(3));
        EXPECT_EQ(ValueOf(address(n).c_str()), "v");
    }
    EXPECT_EQ(Find(("/n." + std::string(kTreeMaxName + 1, 'f')).c_str()), nullptr);
}

TEST_F(TreeTest, SiblingsNewestFirstAndTypesSeparate) {
    Make("/a/x");
    Make("/a/y");
    Make("/a.x");
    Node *a = Find("/a");
    EXPECT_EQ(Names(a, ChildType::I), "y x");
    EXPECT_EQ(Names(a, ChildType::J), "x");
    EXPECT_NE(Find("/a/x"), Find("/a.x"));
}

TEST_F(TreeTest, IdentitiesNameOnlyLiveNodes) {
    Node *b = Make("/a/b");
    const NodeId id = b->id;
    char address[32];
    snprintf(address, sizeof address, "/#%x", id);
    EXPECT_EQ(Find(address), b);
    snprintf(address, sizeof address, "/#%x trailing", id);
    EXPECT_EQ(Find(address), b);
    TreeRemove(store, b);
    snprintf(address, sizeof address, "/#%x", id);
    EXPECT_EQ(Find(address), nullptr);
    EXPECT_EQ(ErrorText(), std::string("Invalid Record Number: ") + address);
    for (const char *bad : {"/#", "/#0", "/#zz", "/#ffffffff", "/#123456789"}) {
        EXPECT_EQ(Find(bad), nullptr) << bad;
        EXPECT_EQ(ErrorText(), std::string("Invalid Record Number: ") + bad);
    }
    // New nodes never take the identity of a removed one.
    EXPECT_NE(Make("/c")->id, id);
}

TEST_F(TreeTest, IdentitiesSkipThoseInUseAfterWrapping) {
    Node *first = Make("/first");  // identity 1
    store.lastId = 0xFFFFFFFEu;
    EXPECT_EQ(Make("/a")->id, 0xFFFFFFFFu);
    EXPECT_EQ(Make("/b")->id, 2u);  // 0 is the root's, 1 is in use
    EXPECT_EQ(first->id, 1u);
    EXPECT_EQ(Find("/#1"), first);
}

TEST_F(TreeTest, LinksAreFollowedAndResetWhenTheTargetGoes) {
    Node *a = Make("/a");
    Node *l = Make("/l");
    l->kind = NodeKind::Link;
    l->linkTarget = a->id;
    EXPECT_EQ(Find("/l"), a);
    Node *x = Make("/l/x");
    EXPECT_EQ(x, Find("/a/x"));
    TreeRemove(store, a);
    EXPECT_EQ(Find("/l"), nullptr);
    EXPECT_EQ(l->kind, NodeKind::Plain);
    EXPECT_EQ(Find("/l"), l);
}

TEST_F(TreeTest, CreatingThroughADeadLinkReusesTheNode) {
    Node *a = Make("/a");
    Node *l = Make("/l");
    l->kind = NodeKind::Link;
    l->linkTarget = a->id;
    TreeRemove(store, a);
    EXPECT_EQ(Make("/l"), l);
    EXPECT_EQ(Names(store.treeRoot, ChildType::I), "l");
}

TEST_F(TreeTest, UnlinkAnywhereInAList) {
    for (const char *name : {"/p/a", "/p/b", "/p/c", "/p/d"}) Make(name);
    Node *p = Find("/p");
    TreeRemove(store, Find("/p/b"));  // middle
    EXPECT_EQ(Names(p, ChildType::I), "d c a");
    TreeRemove(store, Find("/p/a"));  // tail
    EXPECT_EQ(Names(p, ChildType::I), "d c");
    TreeRemove(store, Find("/p/d"));  // head
    EXPECT_EQ(Names(p, ChildType::I), "c");
    TreeRemove(store, Find("/p/c"));  // only one
    EXPECT_EQ(p->iChildren, nullptr);
    EXPECT_EQ(Find("/p/c"), nullptr);
    Make("/p/c");
    EXPECT_EQ(Names(p, ChildType::I), "c");
}

TEST_F(TreeTest, RelinkRestoresThePosition) {
    for (const char *name : {"/p/a", "/p/b", "/p/c"}) Make(name);
    Node *b = Find("/p/b");
    const TreePlace place = TreeUnlink(store, b);
    EXPECT_EQ(Find("/p/b"), nullptr);
    TreeRelink(store, b, place);
    EXPECT_EQ(Names(Find("/p"), ChildType::I), "c b a");
    EXPECT_EQ(Find("/p/b"), b);
}

TEST_F(TreeTest, FreeingASubtreeFreesEveryNodeAndValue) {
    SetValue("/t/a", "1");
    SetValue("/t/a.j", "2");
    SetValue("/t/b/c", "3");
    Make("/keep");
    const std::size_t before = store.liveNodes;
    TreeRemove(store, Find("/t"));
    EXPECT_EQ(store.liveNodes, before - 5);
    EXPECT_EQ(values.detached, 3);
    std::vector<std::string> freed = values.freed;
    std::sort(freed.begin(), freed.end());
    EXPECT_EQ(freed, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Find("/t"), nullptr);
    EXPECT_NE(Find("/keep"), nullptr);
    EXPECT_TRUE(IdsMatchTree());
    EXPECT_EQ(store.names.size(), store.liveNodes);
}

// Removing a large share of the store rebuilds the indexes at once: from
// the tree that stays when little stays, else from the old slots, and
// from the slots too when a detached subtree (one being moved) would be
// missed by a walk of the tree. The identity index is rebuilt with them
// once it is complete; before, it holds only identities handed out.
TEST_F(TreeTest, RemovingMostOfTheStoreKeepsTheRestFindable) {
    struct Case {
        int kept;
        bool detachOne;
        bool complete;  // a search by identity filled the index in first
    };
    // Partial cases first: a store stays complete once it is.
    for (const Case c : {Case{300, false, false}, Case{5000, false, false}, Case{300, true, false},
                         Case{300, false, true}, Case{5000, false, true}, Case{300, true, true}}) {
        SCOPED_TRACE(c.kept + 10 * c.detachOne + 100 * c.complete);
        std::vector<std::pair<std::string, NodeId>> kept;
        for (int i = 0; i < c.kept; ++i) {
            const std::string address = Numbered(i % 2 != 0 ? "/keep/k" : "/keep.k", i);
            Node *node = Make(address.c_str());
            // Without a complete index, only identities handed out are looked up.
            if (c.complete || i % 7 == 0) kept.emplace_back(address, TreeNodeIdentity(store, node));
        }
        if (c.complete) {
            EXPECT_NE(TreeNodeById(store, Make("/keep/unknown")->id), nullptr);
        }
        for (int i = 0; i < 300; ++i) {
            for (int j = 0; j < 10; ++j) SetValue((Numbered("/gone/g", i) + Numbered(".v", j)).c_str(), "x");
        }
        Node *moving = Find("/keep/k1");
        const TreePlace place = TreeUnlink(store, moving);
        if (!c.detachOne) TreeRelink(store, moving, place);
        values.freed.clear();
        TreeRemove(store, Find("/gone"));
        if (c.detachOne) TreeRelink(store, moving, place);
        EXPECT_EQ(values.freed.size(), 3000u);
        EXPECT_EQ(store.liveNodes, c.kept + 1u + c.complete);
        EXPECT_EQ(store.idsComplete, c.complete);
        EXPECT_TRUE(IdsMatchTree());
        EXPECT_EQ(store.names.size(), store.liveNodes);
        for (const auto &[address, id] : kept) {
            Node *node = Find(address.c_str());
            ASSERT_NE(node, nullptr) << address;
            EXPECT_EQ(TreeNodeById(store, id), node);
        }
        EXPECT_EQ(Find("/gone/g7.v3"), nullptr);
        EXPECT_NE(Make("/gone/g7.v3"), nullptr);
        TreeRemove(store, Find("/gone"));
        TreeRemove(store, Find("/keep"));
    }
}

TEST_F(TreeTest, DeepPathsNeedNoRecursion) {
    std::string address;
    for (int i = 0; i < 200000; ++i) address += "/d";
    Node *bottom = TreeLookup(store, address, true);
    ASSERT_NE(bottom, nullptr);
    EXPECT_EQ(TreeNodeAddress(bottom), address);
    EXPECT_EQ(TreeLookup(store, address, false), bottom);
    TreeRemove(store, Find("/d"));
    EXPECT_EQ(store.liveNodes, 0u);
}

TEST_F(TreeTest, ManySiblingsFoundByName) {
    Node *big = Make("/big");
    for (int i = 0; i < 100000; ++i) TreeNewChild(store, big, ChildType::I, Numbered("c", i));
    for (int i = 0; i < 100000; i += 997) {
        const std::string address = Numbered("/big/c", i);
        Node *n = Find(address.c_str());
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->name(), Numbered("c", i));
    }
    // Removing from the far end of the list is as cheap as from the head.
    for (int i = 0; i < 100000; ++i) {
        TreeRemove(store, Find(("/big/c" + std::to_string(i)).c_str()));
    }
    EXPECT_EQ(big->iChildren, nullptr);
    EXPECT_EQ(store.liveNodes, 1u);
}

// Released records are reused newest first within their size class; under
// the address sanitizer a released record is poisoned until it is handed
// out again, so a use after release is reported.
TEST(NodePool, ReusesReleasedRecordsAndPoisonsThem) {
    NodePool pool;
    Node *a = pool.Allocate("a");
    Node *b = pool.Allocate("b");
    Node *longName = pool.Allocate(std::string(kTreeMaxName, 'x'));
    EXPECT_NE(a, b);
    pool.Release(a);
#if defined(KELB_TEST_ASAN)
    EXPECT_TRUE(__asan_address_is_poisoned(a));
    EXPECT_FALSE(__asan_address_is_poisoned(b));
#endif
    Node *c = pool.Allocate("c");
    EXPECT_EQ(c, a);
    EXPECT_EQ(c->name(), "c");
#if defined(KELB_TEST_ASAN)
    EXPECT_FALSE(__asan_address_is_poisoned(c));
#endif
    EXPECT_EQ(longName->name(), std::string(kTreeMaxName, 'x'));
    pool.Release(b);
    pool.Release(c);
    pool.Release(longName);
}

TEST(NodeTable, RandomInsertEraseAgreesWithASet) {
    std::mt19937 random(42);
    NodePool pool;
    IdTable table;
    std::vector<Node *> nodes;
    std::set<NodeId> present;
    for (NodeId id = 1; id <= 5000; ++id) {
        Node *node = pool.Allocate("n");
        node->id = id;
        nodes.push_back(node);
    }
    for (int step = 0; step < 40000; ++step) {
        Node *node = nodes[random() % nodes.size()];
        if (present.count(node->id)) {
            table.Erase(node);
            present.erase(node->id);
        } else {
            table.Insert(node);
            present.insert(node->id);
        }
        if (step % 1000 == 0) {
            for (Node *n : nodes) {
                Node *found = table.Find(IdTraits::HashKey(n->id), n->id);
                ASSERT_EQ(found, present.count(n->id) ? n : nullptr);
            }
        }
    }
    EXPECT_EQ(table.size(), present.size());
    for (Node *node : nodes) pool.Release(node);
}

namespace {

// Writes the export walk as "name", "<" and ">" tokens.
class Recorder : public TreeExportSink {
public:
    void WriteNode(const Node &node) override { out.append(" ").append(node.name()); }
    void Open() override { out += " <"; }
    void Close() override { out += " >"; }
    std::string out;
};

}  // namespace

TEST_F(TreeTest, ExportOrderAndFlags) {
    Make("/x/a/b");
    Make("/x/a.c");
    Make("/x/d");
    Make("/x.e/f");
    auto walk = [&](unsigned top, unsigned deep) {
        Recorder r;
        TreeExport(*Find("/x"), top, deep, r);
        return r.out;
    };
    EXPECT_EQ(walk(3, 3), " d a < b c > e < f >");
    EXPECT_EQ(walk(kExportJ, 3), " e < f >");
    EXPECT_EQ(walk(3, 0), " d a e");
    EXPECT_EQ(walk(3, kExportJ), " d a < c > e");
    Recorder none;
    TreeExport(*Find("/x/d"), 3, 3, none);
    EXPECT_EQ(none.out, "");
}

TEST_F(TreeTest, ExportOfADeepTree) {
    std::string address;
    for (int i = 0; i < 100000; ++i) address += "/d";
    TreeLookup(store, address, true);
    Recorder r;
    TreeExport(*store.treeRoot, 3, 3, r);
    EXPECT_EQ(r.out.size(), 100000 * 2 + 99999 * 4);
}
