/*
 * kelbdrivertest.c --
 *
 *     A test extension written the way a user writes a driver of their
 *     own: plain C, compiled against the installed kelbApi.h and
 *     kelbDevice.h and Tcl's stubs, linked to nothing of Kelb's. It
 *     registers loopback ports (what a script writes comes back as its
 *     input, through the device event source).
 *
 *     Commands, in the namespace drivertest:
 *         register name ?description?  -> the registerPort status (0 added)
 *         unregister name              -> 1 when the port existed
 *         find name                    -> {type description}, or {}
 *         resets name                  -> how often the port was reset
 */

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <kelbDevice.h>

static const KelbDeviceApi *device;

/* A registered loopback port; freed once unregistered. */
typedef struct LoopPort {
    char *name;
    int resets;
    int opened;
    struct LoopPort *next;
} LoopPort;

static LoopPort *loopPorts; /* the main thread's, as the tests use them */

/* One open loopback channel. */
typedef struct LoopChannel {
    Tcl_Channel channel;
    KelbDeviceInstance *instance;
    int blocking;
    size_t length;
    char bytes[4096];
} LoopChannel;

static int LoopReady(KelbDeviceInstance *instance) {
    LoopChannel *loop = (LoopChannel *)Tcl_GetChannelInstanceData(instance->channel);
    return loop->length > 0;
}

static int LoopInput(void *data, char *buf, int toRead, int *errorCodePtr) {
    LoopChannel *loop = (LoopChannel *)data;
    int n = (int)loop->length < toRead ? (int)loop->length : toRead;
    if (n == 0 && !loop->blocking) {
        *errorCodePtr = EAGAIN;
        return -1;
    }
    memcpy(buf, loop->bytes, (size_t)n);
    memmove(loop->bytes, loop->bytes + n, loop->length - (size_t)n);
    loop->length -= (size_t)n;
    return n;
}

static int LoopOutput(void *data, const char *buf, int toWrite, int *errorCodePtr) {
    LoopChannel *loop = (LoopChannel *)data;
    if (loop->length + (size_t)toWrite > sizeof(loop->bytes)) {
        *errorCodePtr = ENOSPC;
        return -1;
    }
    memcpy(loop->bytes + loop->length, buf, (size_t)toWrite);
    loop->length += (size_t)toWrite;
    return toWrite;
}

static void LoopWatch(void *data, int mask) {
    LoopChannel *loop = (LoopChannel *)data;
    if (loop->instance != NULL) loop->instance->mask = mask;
}

static int LoopClose2(void *data, Tcl_Interp *interp, int flags) {
    LoopChannel *loop = (LoopChannel *)data;
    (void)interp;
    if (flags != 0) return EINVAL;
    device->removeInstance(loop->instance);
    ckfree(loop);
    return 0;
}

static int LoopBlockMode(void *data, int mode) {
    ((LoopChannel *)data)->blocking = mode == TCL_MODE_BLOCKING;
    return 0;
}

static const Tcl_ChannelType loopChannelType = {
    "drivertestloop", TCL_CHANNEL_VERSION_5, TCL_CLOSE2PROC, LoopInput, LoopOutput,
    NULL, NULL, NULL, LoopWatch, NULL, LoopClose2, LoopBlockMode, NULL, NULL, NULL, NULL, NULL,
};

static const KelbDeviceDriver loopDriver;

static Tcl_Channel LoopOpen(Tcl_Interp *interp, void *driverData, int *errorCode) {
    LoopPort *port = (LoopPort *)driverData;
    LoopChannel *loop = (LoopChannel *)ckalloc(sizeof(LoopChannel));
    char name[128];
    static int counter;
    (void)interp;
    (void)errorCode;
    /* A device that takes a moment to open, so that another thread's
     * unregistration meets the call under way. */
    struct timespec pause = {0, 200000};
    nanosleep(&pause, NULL);
    memset(loop, 0, sizeof(*loop));
    loop->blocking = 1;
    snprintf(name, sizeof(name), "drivertest%d.%d", ++counter, ++port->opened);
    loop->channel = Tcl_CreateChannel(&loopChannelType, name, loop, TCL_READABLE | TCL_WRITABLE);
    loop->instance = device->addInstance(loop->channel, &loopDriver);
    return loop->channel;
}

static int LoopReset(void *driverData) {
    ((LoopPort *)driverData)->resets++;
    return 0;
}

static const KelbDeviceDriver loopDriver = {"loopback", LoopOpen, LoopReset, LoopReady};

static LoopPort **FindLoopPort(const char *name) {
    LoopPort **at = &loopPorts;
    while (*at != NULL && strcmp((*at)->name, name) != 0) at = &(*at)->next;
    return at;
}

static int RegisterCmd(void *cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    LoopPort *port;
    int status;
    (void)cd;
    if (objc < 2 || objc > 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "name ?description?");
        return TCL_ERROR;
    }
    port = (LoopPort *)ckalloc(sizeof(LoopPort));
    port->name = strdup(Tcl_GetString(objv[1]));
    port->resets = port->opened = 0;
    status = device->registerPort(port->name, objc > 2 ? Tcl_GetString(objv[2]) : "loopback",
                                  &loopDriver, port);
    if (status == KELB_DEVICE_ADDED) {
        port->next = loopPorts;
        loopPorts = port;
    } else {
        free(port->name);
        ckfree(port);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(status));
    return TCL_OK;
}

static int UnregisterCmd(void *cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    LoopPort **at, *port;
    int existed;
    (void)cd;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "name");
        return TCL_ERROR;
    }
    existed = device->unregisterPort(Tcl_GetString(objv[1]));
    at = FindLoopPort(Tcl_GetString(objv[1]));
    if (existed && *at != NULL) {
        port = *at;
        *at = port->next;
        free(port->name);
        ckfree(port);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(existed));
    return TCL_OK;
}

static int FindCmd(void *cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    Tcl_DString type, description;
    (void)cd;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "name");
        return TCL_ERROR;
    }
    Tcl_DStringInit(&type);
    Tcl_DStringInit(&description);
    if (device->findPort(Tcl_GetString(objv[1]), &type, &description)) {
        Tcl_Obj *found[2];
        found[0] = Tcl_NewStringObj(Tcl_DStringValue(&type), -1);
        found[1] = Tcl_NewStringObj(Tcl_DStringValue(&description), -1);
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, found));
    }
    Tcl_DStringFree(&type);
    Tcl_DStringFree(&description);
    return TCL_OK;
}

static int ResetsCmd(void *cd, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    LoopPort *port;
    (void)cd;
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "name");
        return TCL_ERROR;
    }
    port = *FindLoopPort(Tcl_GetString(objv[1]));
    Tcl_SetObjResult(interp, Tcl_NewIntObj(port != NULL ? port->resets : -1));
    return TCL_OK;
}

int Kelbdrivertest_Init(Tcl_Interp *interp) {
    const KelbApi *api;
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == NULL) return TCL_ERROR;
    api = Kelb_RequireApi(interp, "1.2");
    if (api == NULL) return TCL_ERROR;
    device = KelbDevice_Api(interp, api);
    if (device == NULL) return TCL_ERROR;
    Tcl_CreateObjCommand(interp, "drivertest::register", RegisterCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "drivertest::unregister", UnregisterCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "drivertest::find", FindCmd, NULL, NULL);
    Tcl_CreateObjCommand(interp, "drivertest::resets", ResetsCmd, NULL, NULL);
    return Tcl_PkgProvide(interp, "Kelbdrivertest", "1.0");
}
