// tree_word.cpp --
//
//     Lookups remembered on the address word itself, as Tcl remembers a
//     command or a local variable on its name: a script that names the
//     same node with the same word again (a literal in a loop, an address
//     kept in a variable) finds it without walking the address, however
//     deep it is.
//
//     The word keeps its text; its internal form holds the node and the
//     store's path epoch at the time. The epoch advances whenever a node is
//     unlinked, moved or made a link, so a remembered node is used only
//     while no address can have changed its meaning, and never after it
//     was removed. Failed lookups are not remembered. A word belongs to
//     one thread, and the store is used only by its owning thread, so the
//     node and epoch are read and written there alone.

#include "tree/tree_commands.h"

#include <cstdint>

#include "core/tcl_support.h"
#include "tree/tree_module.h"

namespace kelb {

namespace {

void DupAddress(Tcl_Obj *from, Tcl_Obj *to) {
    to->internalRep.twoPtrValue = from->internalRep.twoPtrValue;
    to->typePtr = from->typePtr;
}

// No free procedure (nothing is owned) and no string procedure: a word of
// this type always keeps the text it was found by.
const Tcl_ObjType kAddressType = {"kelbTreeAddress", nullptr, DupAddress, nullptr, nullptr,
#ifdef TCL_OBJTYPE_V0
                                   TCL_OBJTYPE_V0
#endif
};

Node *Remembered(const Tcl_Obj *word, const TreeStore &store) noexcept {
    if (word->typePtr != &kAddressType) return nullptr;
    const auto epoch = reinterpret_cast<std::uintptr_t>(word->internalRep.twoPtrValue.ptr2);
    if (epoch != static_cast<std::uintptr_t>(store.pathEpoch)) return nullptr;
    return static_cast<Node *>(word->internalRep.twoPtrValue.ptr1);
}

void Remember(Tcl_Obj *word, const TreeStore &store, Node *node) noexcept {
    if (word->typePtr != &kAddressType) {
        // The text stays; only another type's internal form goes.
        if (word->typePtr != nullptr && word->typePtr->freeIntRepProc != nullptr) {
            word->typePtr->freeIntRepProc(word);
        }
        word->typePtr = &kAddressType;
    }
    word->internalRep.twoPtrValue.ptr1 = node;
    word->internalRep.twoPtrValue.ptr2 =
        reinterpret_cast<void *>(static_cast<std::uintptr_t>(store.pathEpoch));
}

}  // namespace

Node *TreeLookupWord(Tcl_Obj *word, bool create, TreeError &error) {
    TreeStore &store = TreeModuleStore();
    if (Node *node = Remembered(word, store)) return node;
    const std::string_view address =
        word->bytes != nullptr ? std::string_view(word->bytes, static_cast<std::size_t>(word->length))
                               : TreeWord(word);  // makes the text
    Node *node = TreeLookup(store, address, create, error);
    if (node != nullptr) Remember(word, store, node);
    return node;
}

Node *TreeLookupWord(Tcl_Obj *word, bool create) {
    TreeError unused;
    return TreeLookupWord(word, create, unused);
}

}  // namespace kelb
