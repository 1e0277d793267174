// Unit tests of copying, linking and moving, and of the guards that keep
// those operations finite and the tree acyclic.

#include "tree_test_support.h"
#include "tree/tree_transfer.h"

using namespace kelb;
using kelb::testing::TreeTest;

TEST_F(TreeTest, CopyReversesEachListAndCopiesValues) {
    SetValue("/a", "top");
    Make("/a/x");
    SetValue("/a/y", "why");
    Make("/a.j");
    ASSERT_TRUE(TreeTransfer(store, "/a", "/b", TreeOp::Copy, error));
    EXPECT_EQ(Names(Find("/b"), ChildType::I), "x y");
    EXPECT_EQ(Names(Find("/b"), ChildType::J), "j");
    EXPECT_EQ(ValueOf("/b"), "top");
    EXPECT_EQ(ValueOf("/b/y"), "why");
    // The copy is independent of the original.
    SetValue("/b/y", "changed");
    EXPECT_EQ(ValueOf("/a/y"), "why");
}

TEST_F(TreeTest, TransferRefusals) {
    Make("/a/x");
    Make("/b");
    EXPECT_FALSE(TreeTransfer(store, "/", "/r", TreeOp::Copy, error));
    EXPECT_EQ(ErrorText(), "Bad Root Operation");
    EXPECT_FALSE(TreeTransfer(store, "/a", "/b", TreeOp::Move, error));
    EXPECT_EQ(ErrorText(), "Node Already Exists: /b");
    EXPECT_FALSE(TreeTransfer(store, "/nosuch", "/c", TreeOp::Link, error));
    EXPECT_EQ(ErrorText(), "Node Not Found: /nosuch");
    EXPECT_FALSE(TreeTransfer(store, "/a", "/c\x01", TreeOp::Move, error));
    EXPECT_EQ(ErrorText(), "Illegal Character in Address");
    EXPECT_NE(Find("/a/x"), nullptr);
}

TEST_F(TreeTest, CopyIntoItsOwnSubtreeIsRefused) {
    Make("/a/x");
    const std::size_t before = store.liveNodes;
    EXPECT_FALSE(TreeTransfer(store, "/a", "/a/b", TreeOp::Copy, error));
    EXPECT_EQ(ErrorText(), "Bad Address: /a/b");
    EXPECT_FALSE(TreeTransfer(store, "/a", "/a/x/deep/er", TreeOp::Copy, error));
    EXPECT_EQ(store.liveNodes, before);
    // Landing inside the source through a link counts as well.
    Node *l = Make("/l");
    l->kind = NodeKind::Link;
    l->linkTarget = Find("/a/x")->id;
    EXPECT_FALSE(TreeTransfer(store, "/a", "/l/c", TreeOp::Copy, error));
    EXPECT_EQ(Find("/a/x")->iChildren, nullptr);
}

TEST_F(TreeTest, CopyOfALinkToAnAncestorIsRefused) {
    Node *up = Make("/a/b/up");
    up->kind = NodeKind::Link;
    up->linkTarget = Find("/a")->id;
    const std::size_t before = store.liveNodes;
    EXPECT_FALSE(TreeTransfer(store, "/a", "/c", TreeOp::Copy, error));
    EXPECT_EQ(ErrorText(), "Bad Address: /a");
    EXPECT_EQ(store.liveNodes, before);
    // A link to a node beside the copy is copied as that node's contents.
    Node *side = Make("/a/side");
    SetValue("/s/v", "1");
    side->kind = NodeKind::Link;
    side->linkTarget = Find("/s")->id;
    up->kind = NodeKind::Plain;
    ASSERT_TRUE(TreeTransfer(store, "/a", "/c", TreeOp::Copy, error));
    EXPECT_EQ(ValueOf("/c/side/v"), "1");
    EXPECT_EQ(Find("/c/side")->kind, NodeKind::Plain);
}

TEST_F(TreeTest, CopyThatLinksWouldBlowUpIsRefused) {
    // Each level links twice to the next: a copy would hold 2^24 nodes.
    for (int level = 0; level < 24; ++level) {
        const std::string here = "/n" + std::to_string(level);
        const std::string next = "/n" + std::to_string(level + 1);
        Make(next.c_str());
        for (const char *name : {"/a", "/b"}) {
            Node *link = Make((here + name).c_str());
            link->kind = NodeKind::Link;
            link->linkTarget = Find(next.c_str())->id;
        }
    }
    EXPECT_FALSE(TreeTransfer(store, "/n0", "/copy", TreeOp::Copy, error));
    EXPECT_EQ(ErrorText(), "Memory Error/copy");
    EXPECT_EQ(Find("/copy"), nullptr);
}

TEST_F(TreeTest, LinkNamesTheFinalTarget) {
    Node *a = Make("/a");
    ASSERT_TRUE(TreeTransfer(store, "/a", "/l", TreeOp::Link, error));
    EXPECT_EQ(Find("/l"), a);
    char id[32];
    snprintf(id, sizeof id, "/#%x", Find("/")->iChildren->id);  // the link node, newest
    ASSERT_TRUE(TreeTransfer(store, id, "/l2", TreeOp::Link, error));
    EXPECT_EQ(Find("/l2"), a);
    TreeRemove(store, a);
    EXPECT_EQ(Find("/l2"), nullptr);
}

TEST_F(TreeTest, MoveKeepsValueAndChildren) {
    SetValue("/a", "v");
    Make("/a/x");
    Make("/a.y");
    ASSERT_TRUE(TreeTransfer(store, "/a", "/b/c", TreeOp::Move, error));
    EXPECT_EQ(Find("/a"), nullptr);
    EXPECT_EQ(ValueOf("/b/c"), "v");
    EXPECT_EQ(TreeNodeAddress(Find("/b/c/x")->parent), "/b/c");
    EXPECT_NE(Find("/b/c.y"), nullptr);
    EXPECT_TRUE(IdsMatchTree());
    EXPECT_EQ(store.names.size(), store.liveNodes);
}

// Identities that wrapped make the move's new node search by identity,
// which fills the index in while the moved subtree is out of the tree.
TEST_F(TreeTest, FillingTheIdentityIndexMidMoveKeepsTheMovedNodes) {
    const NodeId y = Make("/a/x/y")->id;
    Make("/d");
    store.lastId = 0xFFFFFFFFu;
    ASSERT_TRUE(TreeTransfer(store, "/a", "/d/m", TreeOp::Move, error));
    EXPECT_TRUE(store.idsComplete);
    EXPECT_TRUE(IdsMatchTree());
    EXPECT_EQ(TreeNodeById(store, y), Find("/d/m/x/y"));
}

TEST_F(TreeTest, MoveBelowItsOwnFormerPlace) {
    Make("/a/x");
    ASSERT_TRUE(TreeTransfer(store, "/a", "/a/b", TreeOp::Move, error));
    EXPECT_NE(Find("/a/b/x"), nullptr);
    EXPECT_EQ(Find("/a")->iChildren, Find("/a/b"));
}

TEST_F(TreeTest, MoveThroughALinkIntoItselfIsRefused) {
    for (const char *name : {"/p/before", "/p/a/x", "/p/after"}) Make(name);
    Node *l = Make("/l");
    l->kind = NodeKind::Link;
    l->linkTarget = Find("/p/a/x")->id;
    Node *a = Find("/p/a");
    EXPECT_FALSE(TreeTransfer(store, "/p/a", "/l/y", TreeOp::Move, error));
    EXPECT_EQ(ErrorText(), "Bad Address: /l/y");
    EXPECT_EQ(Find("/p/a"), a);
    EXPECT_EQ(Names(Find("/p"), ChildType::I), "after a before");
    EXPECT_EQ(Find("/p/a/x")->iChildren, nullptr);
}

TEST_F(TreeTest, MoveToTheEmptyAddressRemoves) {
    SetValue("/a/x", "1");
    const std::size_t before = store.liveNodes;
    ASSERT_TRUE(TreeTransfer(store, "/a", "", TreeOp::Move, error));
    EXPECT_EQ(store.liveNodes, before - 2);
    EXPECT_EQ(values.freed, std::vector<std::string>{"1"});
}

// A lookup resumes where the one before it left off when the address
// begins the same way. Removing or moving an ancestor of where it left
// off must send the next lookup back to the root: the nodes it passed are
// gone, or elsewhere, or their memory belongs to new nodes.
TEST_F(TreeTest, LookupsAfterAnAncestorGoesStartAfresh) {
    for (const char *dest : {"", "/n"}) {
        while (Node *child = store.treeRoot->iChildren) TreeRemove(store, child);
        Make("/a/b/c");
        ASSERT_NE(Find("/a/b/c"), nullptr);  // leaves the lookup at /a/b/
        ASSERT_TRUE(TreeTransfer(store, "/a", dest, TreeOp::Move, error));
        // The freed records go to new nodes, newest first: /m/x takes the
        // record /a/b had and gets a child "c".
        for (const char *address : {"/m", "/m/x", "/m/x/c"}) Make(address);
        EXPECT_EQ(Find("/a/b/c"), nullptr) << dest;
        EXPECT_EQ(ErrorText(), "Node Not Found: /a/b/c");
    }
    EXPECT_NE(Find("/n/b/c"), nullptr);
}
