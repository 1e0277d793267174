// device_test_cmd.cpp --
//
//     The entry point of the test library, Kelbdevicetest_Init, and its
//     "devicetest" command, through which the device tests add test ports
//     and look into the instance list. Test builds only: the package never
//     carries this command.

#include <mutex>

#include "core/kelb.h"
#include "core/tcl_support.h"
#include "device/device.h"
#include "device/device_lists.h"
#include "device/testing/device_test_driver.h"

namespace kelb::devicetest {

namespace {

constexpr ErrorCode kTestPortName{"DEVICE", "PORT_NAME"};
constexpr ErrorCode kTestPortExists{"DEVICE", "PORT_EXISTS"};
constexpr ErrorCode kTestNotPipe{"DEVICE", "NOT_PIPE"};

// A test pipe registered in interp under the name objPtr holds, or
// nullptr with a message.
Tcl_Channel PipeArgument(Tcl_Interp *interp, Tcl_Obj *objPtr) {
    Tcl_Channel channel = Tcl_GetChannel(interp, Tcl_GetString(objPtr), nullptr);
    if (channel == nullptr) return nullptr;
    if (!TestPipeIs(channel)) {
        Tcl_AppendResult(interp, "not a test pipe: ", Tcl_GetString(objPtr), nullptr);
        SetErrorCode(interp, kTestNotPipe, Tcl_GetString(objPtr));
        return nullptr;
    }
    return channel;
}

// Syntax: devicetest register name driver ?description?
int RegisterCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "register name driver ?description?");
        return TCL_ERROR;
    }
    int driver;
    if (Tcl_GetIndexFromObj(interp, objv[3], kTestDriverNames, "driver", 0, &driver) != TCL_OK) {
        return TCL_ERROR;
    }
    const char *name = Tcl_GetString(objv[2]);
    const char *description = objc > 4 ? Tcl_GetString(objv[4]) : "";
    switch (TestPortRegister(name, description, static_cast<TestDriver>(driver))) {
    case DevicePortStatus::Added: return TCL_OK;
    case DevicePortStatus::BadName: return Fail(interp, "bad port name", kTestPortName, name);
    case DevicePortStatus::Duplicate: return Fail(interp, "port exists", kTestPortExists, name);
    }
    return TCL_OK;
}

// Syntax: devicetest unregister name
//
//     1 when there was such a test port, else 0.
int UnregisterCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "unregister name");
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(TestPortUnregister(Tcl_GetString(objv[2]))));
    return TCL_OK;
}

// Syntax: devicetest resets name
int ResetsCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "resets name");
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(TestPortResets(Tcl_GetString(objv[2]))));
    return TCL_OK;
}

// Syntax: devicetest polls
//
//     Readiness queries in this thread since the last call.
int PollsCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_SetObjResult(interp, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(TestPollsTake())));
    return TCL_OK;
}

// Syntax: devicetest instances
//
//     This thread's instance list in order, one {channel mask pending} per
//     instance.
int InstancesCmd(Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    const DeviceThreadState *state = DeviceFindThisThread();
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (std::size_t i = 0; state != nullptr && i < state->instances.instanceCount(); ++i) {
        const DeviceInstance &instance = state->instances.instance(i);
        Tcl_Obj *entry[] = {Tcl_NewStringObj(Tcl_GetChannelName(instance.channel), -1),
                            Tcl_NewIntObj(instance.mask), Tcl_NewIntObj(instance.pending)};
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewListObj(3, entry));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

// Syntax: devicetest detach channel
//
//     1 when the channel left the instance list, 0 when it was not on it.
int DetachCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "detach channel");
        return TCL_ERROR;
    }
    Tcl_Channel channel = PipeArgument(interp, objv[2]);
    if (channel == nullptr) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(TestPipeDetach(channel)));
    return TCL_OK;
}

// Syntax: devicetest feed channel data ?delayMillis?
int FeedCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "feed channel data ?delayMillis?");
        return TCL_ERROR;
    }
    Tcl_Channel channel = PipeArgument(interp, objv[2]);
    if (channel == nullptr) return TCL_ERROR;
    int delay = 0;
    if (objc > 4 && Tcl_GetIntFromObj(interp, objv[4], &delay) != TCL_OK) return TCL_ERROR;
    // A device sends bytes: the data's bytes, not its UTF-8 form (which
    // would turn a NUL into two bytes).
    TclSize length;
#if TCL_MAJOR_VERSION >= 9
    const unsigned char *bytes = Tcl_GetBytesFromObj(interp, objv[3], &length);
    if (bytes == nullptr) return TCL_ERROR;
#else
    const unsigned char *bytes = Tcl_GetByteArrayFromObj(objv[3], &length);
#endif
    TestPipeFeed(channel,
                 std::string(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(length)),
                 delay);
    return TCL_OK;
}

const Subcommand kTestSubcommands[] = {
    {"register", RegisterCmd}, {"unregister", UnregisterCmd}, {"resets", ResetsCmd},
    {"polls", PollsCmd},       {"instances", InstancesCmd},   {"detach", DetachCmd},
    {"feed", FeedCmd},         {nullptr, nullptr},
};

// Syntax: devicetest subcommand ?arg ...?
int DeviceTestObjCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return RunSubcommand(interp, objc, objv, kTestSubcommands, "subcommand ?arg ...?",
                         "subcommand");
}

// Test ports left at exit are taken off the port list, so that a
// finalizing exit, which unloads the library, finds nothing allocated.
void UnregisterAtExit(ClientData) {
    TestPortsUnregisterAll();
}

}  // namespace

}  // namespace kelb::devicetest

// Kelbdevicetest_Init --
//
//     Brings up the device module as the package would, in place of the
//     package's "device" command if that is there, and adds "devicetest".
extern "C" __attribute__((visibility("default"))) int Kelbdevicetest_Init(Tcl_Interp *interp) {
    if (Tcl_InitStubs(interp, TCL_VERSION, 0) == nullptr) return TCL_ERROR;
    (void)Tcl_DeleteCommand(interp, "::device");
    Device_Init(interp);
    static std::once_flag exitHandlerCreated;
    std::call_once(exitHandlerCreated,
                   [] { Tcl_CreateExitHandler(kelb::devicetest::UnregisterAtExit, nullptr); });
    kelb::CreateObjCommand<kelb::devicetest::DeviceTestObjCmd>(interp, "devicetest");
    return TCL_OK;
}
