// device_public.cpp --
//
//     The device part of the table other extensions reach through the
//     package's client data (include/kelbDevice.h): C functions over the
//     native interface of device.h. A port registered through it is served
//     by a binding that holds the caller's driver and driverData, so that
//     the module's driver procedures, which get only driverData, can call
//     the caller's. The instance record handed out is the module's own,
//     seen through its leading members.

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "core/thread_data.h"
#include "device/device.h"
#include "device/device_public.h"

namespace kelb {

static_assert(std::is_standard_layout_v<DeviceInstance>);
static_assert(offsetof(DeviceInstance, channel) == offsetof(KelbDeviceInstance, channel));
static_assert(offsetof(DeviceInstance, mask) == offsetof(KelbDeviceInstance, mask));
static_assert(std::is_same_v<decltype(DeviceInstance::mask), decltype(KelbDeviceInstance::mask)>);

namespace {

// A caller's driver as the module sees it. The module's record comes
// first, so the readyProc, which gets the instance and through it the
// module's record, finds the caller's.
struct PublicDriver {
    DeviceDriver module;            // must come first
    const KelbDeviceDriver *driver; // the caller's
};
static_assert(std::is_standard_layout_v<PublicDriver>);

// What a registered port's driverData is: the caller's driver and data.
struct PortBinding {
    const KelbDeviceDriver *driver;
    void *driverData;
};

// Calls into a caller's driver under way in this thread. Registering or
// unregistering from inside one could wait for itself: the module's
// removal waits for calls in other threads, one of which may wait for the
// registry lock this thread would take.
constinit ThreadData<int> driverCallDepth;

class DriverCall {
public:
    DriverCall() noexcept { ++*driverCallDepth; }
    ~DriverCall() { --*driverCallDepth; }
    DriverCall(const DriverCall &) = delete;
    DriverCall &operator=(const DriverCall &) = delete;
};

Tcl_Channel PublicOpen(Tcl_Interp *interp, void *driverData, int *errorCode) {
    const PortBinding binding = *static_cast<PortBinding *>(driverData);
    DriverCall call;
    return binding.driver->openProc(interp, binding.driverData, errorCode);
}

int PublicReset(void *driverData) {
    const PortBinding binding = *static_cast<PortBinding *>(driverData);
    if (binding.driver->resetProc == nullptr) return 0;
    DriverCall call;
    return binding.driver->resetProc(binding.driverData);
}

int PublicReady(DeviceInstance *instance) {
    const auto *wrapper = reinterpret_cast<const PublicDriver *>(instance->driver);
    DriverCall call;
    return wrapper->driver->readyProc(reinterpret_cast<KelbDeviceInstance *>(instance));
}

// Who owns this: the process; any thread. The module's driver records,
// one per caller's driver, are never freed: ports and instances of the
// module point to them and a caller's driver is static as a rule.
// Bindings live from registration to unregistration. portsMutex is held
// while an unregistration waits for driver calls in other threads, so
// nothing those calls may do (adding an instance from openProc) takes it;
// driversMutex is only ever held briefly, inside or outside portsMutex.
struct Registry {
    std::mutex portsMutex;    // guards bindings, and orders (un)registrations
    std::mutex driversMutex;  // guards drivers
    std::unordered_map<const KelbDeviceDriver *, std::unique_ptr<PublicDriver>> drivers;
    std::unordered_map<std::string, std::unique_ptr<PortBinding>> bindings;
};

Registry &TheRegistry() {
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry *const registry = new (storage) Registry;
    return *registry;
}

// The module's record for a caller's driver.
const DeviceDriver *ModuleDriver(Registry &registry, const KelbDeviceDriver *driver) {
    std::lock_guard lock(registry.driversMutex);
    std::unique_ptr<PublicDriver> &slot = registry.drivers[driver];
    if (slot == nullptr) {
        slot = std::make_unique<PublicDriver>(
            PublicDriver{{driver->typeName, PublicOpen, PublicReset, PublicReady}, driver});
    }
    return &slot->module;
}

int ApiRegisterPort(const char *name, const char *description, const KelbDeviceDriver *driver,
                    void *driverData) {
    if (*driverCallDepth != 0 || name == nullptr || driver == nullptr ||
        driver->typeName == nullptr || driver->openProc == nullptr) {
        return KELB_DEVICE_REFUSED;
    }
    Registry &registry = TheRegistry();
    std::lock_guard lock(registry.portsMutex);
    auto binding = std::make_unique<PortBinding>(PortBinding{driver, driverData});
    switch (DeviceRegisterPort(name, description ? description : "",
                               ModuleDriver(registry, driver), binding.get())) {
    case DevicePortStatus::Added: break;
    case DevicePortStatus::BadName: return KELB_DEVICE_BAD_NAME;
    case DevicePortStatus::Duplicate: return KELB_DEVICE_DUPLICATE;
    }
    // A binding still under this name belongs to a port that is gone (one
    // listed would have made the registration fail), removed through
    // device.h: replacing it frees it.
    registry.bindings[name] = std::move(binding);
    return KELB_DEVICE_ADDED;
}

// portsMutex is held across the module's removal, which waits for calls
// into the port in other threads; those never take it, since registering
// from inside a driver procedure is refused.
int ApiUnregisterPort(const char *name) {
    if (*driverCallDepth != 0 || name == nullptr) return 0;
    Registry &registry = TheRegistry();
    std::lock_guard lock(registry.portsMutex);
    if (!DeviceUnregisterPort(name)) return 0;
    registry.bindings.erase(name);
    return 1;
}

KelbDeviceInstance *ApiAddInstance(Tcl_Channel channel, const KelbDeviceDriver *driver) {
    if (channel == nullptr || driver == nullptr || driver->readyProc == nullptr) return nullptr;
    const DeviceDriver *module = ModuleDriver(TheRegistry(), driver);
    return reinterpret_cast<KelbDeviceInstance *>(DeviceAddInstance(channel, module));
}

void ApiRemoveInstance(KelbDeviceInstance *instance) {
    if (instance != nullptr) DeviceRemoveInstance(reinterpret_cast<DeviceInstance *>(instance));
}

int ApiFindPort(const char *name, Tcl_DString *typeName, Tcl_DString *description) {
    if (name == nullptr) return 0;
    const std::optional<DevicePort> port = DeviceFindPort(name);
    if (!port) return 0;
    if (typeName != nullptr) Tcl_DStringAppend(typeName, port->driver->typeName, -1);
    if (description != nullptr) {
        Tcl_DStringAppend(description, port->description.data(),
                          static_cast<int>(port->description.size()));
    }
    return 1;
}

Tcl_Channel ApiOpenPort(Tcl_Interp *interp, const char *name) {
    return name == nullptr ? nullptr : DeviceOpenPort(interp, name);
}

int ApiResetPort(Tcl_Interp *interp, const char *name) {
    return name == nullptr ? TCL_ERROR : DeviceResetPort(interp, name);
}

}  // namespace

const KelbDeviceApi kDevicePublicApi = {
    KELB_DEVICE_API_VERSION,
    sizeof(KelbDeviceApi),
    ApiRegisterPort,
    ApiUnregisterPort,
    ApiAddInstance,
    ApiRemoveInstance,
    ApiFindPort,
    ApiOpenPort,
    ApiResetPort,
};

}  // namespace kelb
