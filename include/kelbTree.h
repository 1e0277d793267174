/*
 * kelbTree.h --
 *
 *     The tree store's part of Kelb's interface table (kelbApi.h): what an
 *     extension needs to mirror node values elsewhere. Every function runs
 *     in the thread that owns the tree, with an interpreter of that thread
 *     that loaded Kelb; elsewhere it fails with {KELB TREE THREAD}.
 *
 *     Addresses are NUL-terminated node addresses as scripts write them.
 *     Failures leave a message and an error code {KELB TREE ...} in interp.
 *
 *         const KelbApi *kelb = Kelb_RequireApi(interp, "1.2");
 *         const KelbTreeApi *tree = kelb ? kelb->tree : NULL;
 *         if (tree == NULL || tree->size < sizeof(KelbTreeApi)) ...
 */

#ifndef KELB_TREE_H
#define KELB_TREE_H

#include <stddef.h>
#include <tcl.h>

#include "kelbApi.h" /* the typedef of KelbTreeApi */

#ifdef __cplusplus
extern "C" {
#endif

#define KELB_TREE_API_VERSION 1

/*
 * A node value seen by a listing or a watch: the node's canonical address
 * and its value, or NULL when the value went (unset, or the node removed
 * or moved away). Both are lent for the length of the call only. A watch
 * procedure runs right after the change, inside whatever changed it: it
 * must not change the tree or run scripts, only take note (and, say,
 * schedule work with Tcl_DoWhenIdle).
 */
typedef void KelbTreeValueProc(void *clientData, const char *address, Tcl_Obj *value);

struct KelbTreeApi {
    unsigned int version; /* KELB_TREE_API_VERSION of the library */
    size_t size;          /* sizeof(KelbTreeApi) in the library */

    /* Finds the node, or makes it with every missing node above it when
     * create is nonzero. TCL_OK when the node is there afterwards. */
    int (*findNode)(Tcl_Interp *interp, const char *address, int create);

    /* Gives the node (made if missing) the value, as "tree set" does:
     * every interpreter's variable of the node, its traces and links see
     * the new value. TCL_ERROR when a trace in interp refused it. */
    int (*setValue)(Tcl_Interp *interp, const char *address, Tcl_Obj *value);

    /* The node's value, lent until the next change, or NULL (no such node
     * or no value; no error is left). */
    Tcl_Obj *(*getValue)(Tcl_Interp *interp, const char *address);

    /* Removes the node and its subtree, as "tree rm" does. */
    int (*removeNode)(Tcl_Interp *interp, const char *address);

    /* Takes the node's value away (its variables are unset everywhere),
     * keeping the node and what is under it; a node without value, or no
     * node, is left as it is. */
    int (*clearValue)(Tcl_Interp *interp, const char *address);

    /* Calls proc for every node with a value in the subtree of address
     * (the node itself included; links are not followed). */
    int (*listValues)(Tcl_Interp *interp, const char *address, KelbTreeValueProc *proc,
                      void *clientData);

    /* Calls proc for every later change of a value under address (the
     * node need not exist yet; changes are reported at the addresses of
     * the nodes that hold the values, so an address through a link node
     * sees none), however it is made. Returns the watch's
     * identity, or 0 with an error in interp. The watch ends with unwatch
     * or when interp is deleted, whichever comes first. */
    unsigned long (*watch)(Tcl_Interp *interp, const char *address, KelbTreeValueProc *proc,
                           void *clientData);

    /* Ends a watch; an identity that has ended already is ignored. */
    void (*unwatch)(unsigned long watchId);
};

#ifdef __cplusplus
}
#endif

#endif /* KELB_TREE_H */
