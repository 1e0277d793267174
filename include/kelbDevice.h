/*
 * kelbDevice.h --
 *
 *     The device part of Kelb's interface table (kelbApi.h): how another
 *     extension, in C or C++, adds device ports that "device open" opens
 *     as Tcl channels, and takes part in the device event source.
 *
 *         const KelbApi *kelb = Kelb_RequireApi(interp, "1.2");
 *         const KelbDeviceApi *dev = kelb ? KelbDevice_Api(interp, kelb) : NULL;
 *         if (dev == NULL) return TCL_ERROR;
 *         dev->registerPort("com1", "first serial line", &myDriver, &com1);
 *
 *     Threads: the port list is one for the process; any thread may
 *     register, unregister, find, open and reset ports at any time. An
 *     instance belongs to the thread that added it, like its channel: only
 *     that thread's event loop asks the driver about it, and only that
 *     thread may change its mask or remove it.
 *
 *     Lifetimes: a driver record must stay unchanged and valid while any
 *     port or instance refers to it (a static constant is usual); a port's
 *     driverData until unregisterPort for it has returned; an instance
 *     record is the module's, valid from addInstance to removeInstance.
 */

#ifndef KELB_DEVICE_H
#define KELB_DEVICE_H

#include "kelbApi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KELB_DEVICE_API_VERSION 1

/*
 * One channel that takes part in event notification. These are the
 * leading members of the module's record: read channel, keep mask equal
 * to the mask the channel's watchProc last received. Never allocate or
 * copy one.
 */
typedef struct KelbDeviceInstance {
    Tcl_Channel channel; /* the channel the event source notifies */
    int mask;            /* TCL_READABLE/TCL_WRITABLE/TCL_EXCEPTION bits watched */
} KelbDeviceInstance;

/* One kind of device, shared by its ports and their instances. */
typedef struct KelbDeviceDriver {
    /* What "device type" returns for the driver's ports. */
    const char *typeName;

    /*
     * Opens the port as a new channel of the calling thread, not
     * registered in any interpreter ("device open" registers it), named
     * uniquely in the process. interp may be NULL. On failure returns
     * NULL and stores a POSIX error number in *errorCode, leaving the
     * interpreter result alone. Threads may call it at the same time.
     */
    Tcl_Channel (*openProc)(Tcl_Interp *interp, void *driverData, int *errorCode);

    /* Resets the device; the result is ignored. NULL: reset does nothing. */
    int (*resetProc)(void *driverData);

    /*
     * Nonzero when the instance has input ready. Called in the instance's
     * thread on passes of its event loop: cheap, never blocking, running
     * no script, adding or removing no instance. NULL for a driver that
     * adds no instances (its channels get their events from Tcl itself,
     * as file channels do).
     */
    int (*readyProc)(KelbDeviceInstance *instance);
} KelbDeviceDriver;

/* What registerPort returns. */
#define KELB_DEVICE_ADDED 0     /* the port is listed */
#define KELB_DEVICE_BAD_NAME 1  /* empty, white space, control characters or {}[]"\$; */
#define KELB_DEVICE_DUPLICATE 2 /* a port of that name exists */
#define KELB_DEVICE_REFUSED 3   /* called from inside a driver procedure, or a bad argument */

struct KelbDeviceApi {
    unsigned int version; /* KELB_DEVICE_API_VERSION of the library */
    size_t size;          /* sizeof(KelbDeviceApi) in the library */

    /*
     * Adds a port at the end of the port list, served by driver, with
     * driverData handed unchanged to its openProc and resetProc. Returns
     * one of KELB_DEVICE_ADDED ... KELB_DEVICE_REFUSED. Must not be called
     * from inside a driver's procedures.
     */
    int (*registerPort)(const char *name, const char *description,
                        const KelbDeviceDriver *driver, void *driverData);

    /*
     * Removes a port; channels opened on it stay open. Returns 1 when the
     * port existed, else 0. Waits until calls into the port's driver from
     * other threads have ended, so driverData may be freed once it
     * returns. Must not be called from inside a driver's procedures
     * (returns 0 there).
     */
    int (*unregisterPort)(const char *name);

    /*
     * Puts an open channel of the calling thread on that thread's
     * instance list; driver->readyProc is asked about it from then on.
     * mask starts at 0. The driver removes it in the same thread before
     * the channel is freed (its close2Proc at the latest) or leaves the
     * thread (its threadActionProc); a notification still queued for it
     * is then dropped. Returns NULL when driver has no readyProc.
     */
    KelbDeviceInstance *(*addInstance)(Tcl_Channel channel, const KelbDeviceDriver *driver);
    void (*removeInstance)(KelbDeviceInstance *instance);

    /*
     * Whether a port of that name is listed; if so, appends its type name
     * and description to the strings that are not NULL.
     */
    int (*findPort)(const char *name, Tcl_DString *typeName, Tcl_DString *description);

    /*
     * What "device open" and "device reset" do, without registering the
     * channel: openPort returns the channel, or NULL after appending
     * 'unknown port "name": ' or 'Couldn't open "name": ' and the POSIX
     * text to interp's result (when interp is not NULL); resetPort returns
     * TCL_OK, or TCL_ERROR with the message appended.
     */
    Tcl_Channel (*openPort)(Tcl_Interp *interp, const char *name);
    int (*resetPort)(Tcl_Interp *interp, const char *name);
};

/*
 * KelbDevice_Api --
 *
 *     The device part of a table from Kelb_RequireApi, or NULL with
 *     'Kelb offers no usable device interface' and the error code
 *     {KELB API DEVICE} in interp when the library has none or an older
 *     one than this header.
 */
static inline const KelbDeviceApi *KelbDevice_Api(Tcl_Interp *interp, const KelbApi *api) {
    const KelbDeviceApi *device = api->device;
    if (device == NULL || device->version < KELB_DEVICE_API_VERSION ||
        device->size < sizeof(KelbDeviceApi)) {
        return (const KelbDeviceApi *)Kelb_ApiRefused(interp, "device interface", "DEVICE");
    }
    return device;
}

#ifdef __cplusplus
}
#endif

#endif /* KELB_DEVICE_H */
