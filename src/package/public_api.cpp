// public_api.cpp --
//
//     The table that "package require Kelb" hands other extensions as the
//     package's client data (include/kelbApi.h). Each module that offers
//     functions to them fills its own part.

#include "package/public_api.h"

#include "device/device_public.h"

namespace kelb {

extern const KelbTreeApi kTreeApi;  // tree/tree_public.cpp

const KelbApi kPublicApi = {
    KELB_API_MAGIC,
    KELB_API_VERSION,
    sizeof(KelbApi),
    &kDevicePublicApi,
    &kTreeApi,
};

}  // namespace kelb
