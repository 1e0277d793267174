// device_test_driver.cpp --
//
//     Loopback pipe channels and the test drivers that open them, built on
//     the device module's native interface. Test builds only.

#include "device/testing/device_test_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "device/device.h"

namespace kelb::devicetest {

const char *const kTestDriverNames[] = {"pipe", "plain", "busy", "silent", nullptr};

namespace {

// What a test port hands its driver.
struct TestPort {
    const DeviceDriver *driver;  // the port's driver, for the instances it opens
    int openError;               // what a failing open reports
    int resets;                  // calls of the reset procedure
};

// One open loopback pipe.
struct PipeChannel {
    int readFd;                // the channel's input
    int writeFd;               // the channel's output, and the feeder's
    DeviceInstance *instance;  // on the instance list; null once detached
    std::thread feeder;        // a pending TestPipeFeed write
};

std::uint64_t pollCount;  // readyProc calls, for TestPollsTake
int pipeCount;            // channels opened, for their names

// The test ports by name.
std::map<std::string, std::unique_ptr<TestPort>, std::less<>> &TestPorts() {
    static std::map<std::string, std::unique_ptr<TestPort>, std::less<>> ports;
    return ports;
}

int PipeClose(ClientData instanceData, Tcl_Interp *, int flags) {
    if ((flags & (TCL_CLOSE_READ | TCL_CLOSE_WRITE)) != 0) return EINVAL;  // no half-close
    auto *pipe = static_cast<PipeChannel *>(instanceData);
    if (pipe->instance != nullptr) DeviceRemoveInstance(pipe->instance);
    if (pipe->feeder.joinable()) pipe->feeder.join();
    close(pipe->readFd);
    close(pipe->writeFd);
    delete pipe;
    return 0;
}

int PipeInput(ClientData instanceData, char *buf, int toRead, int *errorCodePtr) {
    const ssize_t got = read(static_cast<PipeChannel *>(instanceData)->readFd, buf, toRead);
    if (got < 0) *errorCodePtr = errno;
    return static_cast<int>(got);
}

int PipeOutput(ClientData instanceData, const char *buf, int toWrite, int *errorCodePtr) {
    const ssize_t put = write(static_cast<PipeChannel *>(instanceData)->writeFd, buf, toWrite);
    if (put < 0) *errorCodePtr = errno;
    return static_cast<int>(put);
}

// Tcl tells the channel which events its handlers want; the instance
// carries that to the event source.
void PipeWatch(ClientData instanceData, int mask) {
    auto *pipe = static_cast<PipeChannel *>(instanceData);
    if (pipe->instance != nullptr) pipe->instance->mask = mask;
}

int PipeBlockMode(ClientData instanceData, int mode) {
    auto *pipe = static_cast<PipeChannel *>(instanceData);
    for (int fd : {pipe->readFd, pipe->writeFd}) {
        const int flags = fcntl(fd, F_GETFL);
        const int wanted = mode == TCL_MODE_NONBLOCKING ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
        if (flags < 0 || fcntl(fd, F_SETFL, wanted) < 0) return errno;
    }
    return 0;
}

Tcl_ChannelType pipeChannelType = {
    "devicepipe",           // typeName
    TCL_CHANNEL_VERSION_5,  // version
    TCL_CLOSE2PROC,         // closeProc
    PipeInput,              // inputProc
    PipeOutput,             // outputProc
    nullptr,                // seekProc
    nullptr,                // setOptionProc
    nullptr,                // getOptionProc
    PipeWatch,              // watchProc
    nullptr,                // getHandleProc
    PipeClose,              // close2Proc
    PipeBlockMode,          // blockModeProc
    nullptr,                // flushProc
    nullptr,                // handlerProc
    nullptr,                // wideSeekProc
    nullptr,                // threadActionProc
    nullptr,                // truncateProc
};

Tcl_Channel PipeOpen(Tcl_Interp *, void *driverData, int *errorCode) {
    const auto *port = static_cast<TestPort *>(driverData);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *errorCode = errno;
        return nullptr;
    }
    auto *pipe = new PipeChannel{fds[0], fds[1], nullptr, {}};
    const std::string name = "devicepipe" + std::to_string(pipeCount++);
    Tcl_Channel channel = Tcl_CreateChannel(&pipeChannelType, name.c_str(), pipe,
                                            TCL_READABLE | TCL_WRITABLE);
    pipe->instance = DeviceAddInstance(channel, port->driver);
    return channel;
}

Tcl_Channel FailingOpen(Tcl_Interp *, void *driverData, int *errorCode) {
    *errorCode = static_cast<TestPort *>(driverData)->openError;
    return nullptr;
}

int PipeReset(void *driverData) {
    ++static_cast<TestPort *>(driverData)->resets;
    return 0;
}

int PipeReady(DeviceInstance *instance) {
    ++pollCount;
    auto *pipe = static_cast<PipeChannel *>(Tcl_GetChannelInstanceData(instance->channel));
    pollfd input = {pipe->readFd, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

// Indexed by TestDriver.
const DeviceDriver kDrivers[] = {
    {"pipe", PipeOpen, PipeReset, PipeReady},
    {"plain pipe", PipeOpen, nullptr, PipeReady},
    {"busy", FailingOpen, nullptr, PipeReady},
    {"silent", FailingOpen, nullptr, PipeReady},
};

}  // namespace

DevicePortStatus TestPortRegister(std::string_view name, std::string_view description,
                                  TestDriver driver) {
    const DeviceDriver *deviceDriver = &kDrivers[static_cast<int>(driver)];
    auto port = std::make_unique<TestPort>(
        TestPort{deviceDriver, driver == TestDriver::Busy ? EBUSY : 0, 0});
    const DevicePortStatus status =
        DeviceRegisterPort(name, description, deviceDriver, port.get());
    if (status == DevicePortStatus::Added) TestPorts()[std::string(name)] = std::move(port);
    return status;
}

bool TestPortUnregister(std::string_view name) {
    auto it = TestPorts().find(name);
    if (it == TestPorts().end()) return false;
    DeviceUnregisterPort(name);
    TestPorts().erase(it);
    return true;
}

int TestPortResets(std::string_view name) {
    auto it = TestPorts().find(name);
    return it == TestPorts().end() ? -1 : it->second->resets;
}

void TestPortsUnregisterAll() {
    for (const auto &[name, port] : TestPorts()) DeviceUnregisterPort(name);
    TestPorts().clear();
}

std::uint64_t TestPollsTake() {
    return std::exchange(pollCount, 0);
}

bool TestPipeIs(Tcl_Channel channel) {
    return Tcl_GetChannelType(channel) == &pipeChannelType;
}

bool TestPipeDetach(Tcl_Channel channel) {
    auto *pipe = static_cast<PipeChannel *>(Tcl_GetChannelInstanceData(channel));
    if (pipe->instance == nullptr) return false;
    DeviceRemoveInstance(std::exchange(pipe->instance, nullptr));
    return true;
}

void TestPipeFeed(Tcl_Channel channel, std::string data, int delayMillis) {
    auto *pipe = static_cast<PipeChannel *>(Tcl_GetChannelInstanceData(channel));
    if (pipe->feeder.joinable()) pipe->feeder.join();
    pipe->feeder = std::thread([fd = pipe->writeFd, data = std::move(data), delayMillis] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMillis));
        (void)!write(fd, data.data(), data.size());
    });
}

}  // namespace kelb::devicetest
