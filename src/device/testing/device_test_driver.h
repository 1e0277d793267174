// device_test_driver.h --
//
//     Test drivers for the device module, built only into the test library
//     (libkelbdevicetest.so), never into the package. Their ports are
//     loopback pipes: what a script writes to the channel comes back as
//     its input, and a helper thread can write into the pipe while the
//     event loop sleeps, as a device would.

#pragma once

#include <tcl.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "device/device_registry.h"

namespace kelb::devicetest {

// The test drivers, in the order of kTestDriverNames.
enum class TestDriver {
    Pipe,    // a loopback pipe; reset is counted
    Plain,   // the same without a reset procedure
    Busy,    // open fails with EBUSY
    Silent,  // open fails without giving an error number
    Deleting,  // open deletes the asking interpreter, then opens a pipe
};
extern const char *const kTestDriverNames[];  // null-terminated

// Registers a port served by a test driver, through the module's native
// interface.
DevicePortStatus TestPortRegister(std::string_view name, std::string_view description,
                                  TestDriver driver);
// Unregisters a test port; false if there is none of that name.
bool TestPortUnregister(std::string_view name);
// How often the port's driver was asked to reset; -1 for no test port.
int TestPortResets(std::string_view name);

// Unregisters every test port.
void TestPortsUnregisterAll();

// How many times the test drivers were asked in this thread whether an
// instance is ready, since the last call.
std::uint64_t TestPollsTake();

// Whether channel is a test pipe.
bool TestPipeIs(Tcl_Channel channel);
// Takes a test pipe off the instance list for good while it stays open.
// Returns false when it was not on the list.
bool TestPipeDetach(Tcl_Channel channel);
// Writes the bytes of data into a test pipe from another thread after
// delayMillis, as input arriving from a device. A feed still running is
// waited for first.
void TestPipeFeed(Tcl_Channel channel, std::string data, int delayMillis);

}  // namespace kelb::devicetest
