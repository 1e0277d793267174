/*
 * kelbApi.h --
 *
 *     The interface Kelb offers other extensions, in C or C++, without a
 *     link-time dependency on its library: "package require Kelb" hands out
 *     a KelbApi table as the package's client data, and an extension takes
 *     it with Kelb_RequireApi after its own Tcl_InitStubs:
 *
 *         const KelbApi *kelb = Kelb_RequireApi(interp, "1.2");
 *         if (kelb == NULL) return TCL_ERROR;
 *
 *     The table and its parts only grow: a later release appends members,
 *     and each part carries its own size, so an extension built against
 *     this header checks that what it calls is there.
 */

#ifndef KELB_API_H
#define KELB_API_H

#include <stddef.h>
#include <tcl.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KELB_API_MAGIC 0x4B656C62u /* "Kelb" */
#define KELB_API_VERSION 1

typedef struct KelbDeviceApi KelbDeviceApi; /* kelbDevice.h */
typedef struct KelbTreeApi KelbTreeApi;     /* kelbTree.h */

typedef struct KelbApi {
    unsigned int magic;   /* KELB_API_MAGIC */
    unsigned int version; /* KELB_API_VERSION of the library */
    size_t size;          /* sizeof(KelbApi) in the library */
    const KelbDeviceApi *device;
    const KelbTreeApi *tree;
} KelbApi;

/*
 * Kelb_ApiRefused --
 *
 *     Leaves 'Kelb offers no usable <what>' in interp with the error code
 *     {KELB API <condition>} and returns NULL: how Kelb_RequireApi and the
 *     part accessors of the other headers refuse a table.
 */
static inline void *Kelb_ApiRefused(Tcl_Interp *interp, const char *what, const char *condition) {
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("Kelb offers no usable %s", what));
    Tcl_SetErrorCode(interp, "KELB", "API", condition, (char *)NULL);
    return NULL;
}

/*
 * Kelb_RequireApi --
 *
 *     Loads Kelb (version as for "package require") and returns its table,
 *     or NULL with an error in interp: Tcl's own when the package cannot be
 *     loaded, or 'Kelb offers no usable interface table' with the error
 *     code {KELB API VERSION} when the table is missing, of another kind,
 *     or older than this header.
 */
static inline const KelbApi *Kelb_RequireApi(Tcl_Interp *interp, const char *version) {
    void *clientData = NULL;
    const KelbApi *api;
    if (Tcl_PkgRequireEx(interp, "Kelb", version, 0, &clientData) == NULL) return NULL;
    api = (const KelbApi *)clientData;
    if (api == NULL || api->magic != KELB_API_MAGIC || api->size < sizeof(KelbApi)) {
        return (const KelbApi *)Kelb_ApiRefused(interp, "interface table", "VERSION");
    }
    return api;
}

#ifdef __cplusplus
}
#endif

#endif /* KELB_API_H */
