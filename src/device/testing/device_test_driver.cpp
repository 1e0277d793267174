// device_test_driver.cpp --
//
//     Loopback pipe channels and the test drivers that open them, built on
//     the device module's native interface. Test builds only.

#include "device/testing/device_test_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "core/thread_data.h"
#include "device/device.h"

namespace kelb::devicetest {

const char *const kTestDriverNames[] = {"pipe", "plain", "busy", "silent", "deleting", nullptr};

namespace {

// What a test port hands its driver.
struct TestPort {
    const DeviceDriver *driver;  // the port's driver, for the instances it opens
    int openError;               // what a failing open reports
    std::atomic<int> resets;     // calls of the reset procedure
};

// One open loopback pipe.
struct PipeChannel {
    int readFd;                   // the channel's input
    int writeFd;                  // the channel's output, and the feeder's
    const DeviceDriver *driver;   // its port's driver
    Tcl_Channel channel;          // the channel it serves
    DeviceInstance *instance;     // on its thread's instance list, or null
    bool detached;                // taken off for good by TestPipeDetach
    std::thread feeder;           // a pending TestPipeFeed write
};

// Channels opened, for their names; owned by the driver, taken atomically
// by any thread.
std::atomic<int> pipeCount;

// readyProc calls of the calling thread, for TestPollsTake. In Tcl's
// thread data (zeroed at first use), not in thread-local storage, which
// the leak checker cannot always walk in a loaded library.
constinit ThreadData<std::uint64_t> pollCount;

std::uint64_t &PollCount() { return *pollCount; }

// The test ports by name, which any thread may register and unregister.
struct TestPortTable {
    std::mutex mutex;  // guards ports
    std::map<std::string, std::unique_ptr<TestPort>, std::less<>> ports;
};

TestPortTable &TestPorts() {
    // Owned by the driver; any thread, under the table's mutex.
    static TestPortTable table;
    return table;
}

// The pipe leaves the instance list of its thread.
void PipeDetachInstance(PipeChannel *pipe) {
    if (pipe->instance != nullptr) DeviceRemoveInstance(std::exchange(pipe->instance, nullptr));
}

// Only full closes: a loopback pipe has no separate halves to shut.
int PipeClose2(ClientData instanceData, Tcl_Interp *, int flags) {
    if ((flags & (TCL_CLOSE_READ | TCL_CLOSE_WRITE)) != 0) return EINVAL;
    auto *pipe = static_cast<PipeChannel *>(instanceData);
    PipeDetachInstance(pipe);
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

// A channel moving to another thread (thread::transfer) leaves the
// instance list of the thread it leaves and joins that of the thread it
// enters. Tcl also calls this as the channel is created, before the pipe
// knows its channel (PipeOpen adds that first instance), and as it is
// closed.
void PipeThreadAction(ClientData instanceData, int action) {
    auto *pipe = static_cast<PipeChannel *>(instanceData);
    if (action == TCL_CHANNEL_THREAD_REMOVE) {
        PipeDetachInstance(pipe);
    } else if (pipe->channel != nullptr && !pipe->detached && pipe->instance == nullptr) {
        pipe->instance = DeviceAddInstance(pipe->channel, pipe->driver);
    }
}

// The same type serves Tcl 8.6 and 9: both call close2Proc when closeProc
// holds TCL_CLOSE2PROC, and 9 knows no other way.
const Tcl_ChannelType pipeChannelType = {
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
    PipeClose2,             // close2Proc
    PipeBlockMode,          // blockModeProc
    nullptr,                // flushProc
    nullptr,                // handlerProc
    nullptr,                // wideSeekProc
    PipeThreadAction,       // threadActionProc
    nullptr,                // truncateProc
};

Tcl_Channel PipeOpen(Tcl_Interp *, void *driverData, int *errorCode) {
    const auto *port = static_cast<TestPort *>(driverData);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *errorCode = errno;
        return nullptr;
    }
    auto *pipe = new PipeChannel{fds[0], fds[1], port->driver, nullptr, nullptr, false, {}};
    const std::string name = "devicepipe" + std::to_string(pipeCount++);
    pipe->channel = Tcl_CreateChannel(&pipeChannelType, name.c_str(), pipe,
                                      TCL_READABLE | TCL_WRITABLE);
    pipe->instance = DeviceAddInstance(pipe->channel, port->driver);
    return pipe->channel;
}

// Opens a pipe, but first deletes the interpreter that asked, as a driver
// running a script could.
Tcl_Channel DeletingOpen(Tcl_Interp *interp, void *driverData, int *errorCode) {
    if (interp != nullptr) Tcl_DeleteInterp(interp);
    return PipeOpen(interp, driverData, errorCode);
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
    ++PollCount();
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
    {"deleting", DeletingOpen, nullptr, PipeReady},
};

}  // namespace

DevicePortStatus TestPortRegister(std::string_view name, std::string_view description,
                                  TestDriver driver) {
    const DeviceDriver *deviceDriver = &kDrivers[static_cast<int>(driver)];
    auto port = std::unique_ptr<TestPort>(
        new TestPort{deviceDriver, driver == TestDriver::Busy ? EBUSY : 0, 0});
    TestPortTable &table = TestPorts();
    std::lock_guard lock(table.mutex);
    const DevicePortStatus status =
        DeviceRegisterPort(name, description, deviceDriver, port.get());
    if (status == DevicePortStatus::Added) table.ports[std::string(name)] = std::move(port);
    return status;
}

bool TestPortUnregister(std::string_view name) {
    TestPortTable &table = TestPorts();
    std::lock_guard lock(table.mutex);
    auto it = table.ports.find(name);
    if (it == table.ports.end()) return false;
    DeviceUnregisterPort(name);
    table.ports.erase(it);
    return true;
}

int TestPortResets(std::string_view name) {
    TestPortTable &table = TestPorts();
    std::lock_guard lock(table.mutex);
    auto it = table.ports.find(name);
    return it == table.ports.end() ? -1 : it->second->resets.load();
}

void TestPortsUnregisterAll() {
    TestPortTable &table = TestPorts();
    std::lock_guard lock(table.mutex);
    for (const auto &[name, port] : table.ports) DeviceUnregisterPort(name);
    table.ports.clear();
}

std::uint64_t TestPollsTake() {
    return std::exchange(PollCount(), 0);
}

bool TestPipeIs(Tcl_Channel channel) {
    return Tcl_GetChannelType(channel) == &pipeChannelType;
}

bool TestPipeDetach(Tcl_Channel channel) {
    auto *pipe = static_cast<PipeChannel *>(Tcl_GetChannelInstanceData(channel));
    if (pipe->instance == nullptr) return false;
    pipe->detached = true;
    PipeDetachInstance(pipe);
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
