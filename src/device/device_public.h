// device_public.h --
//
//     The device part of the table the package hands other extensions.

#pragma once

#include "kelbDevice.h"

namespace kelb {

extern const KelbDeviceApi kDevicePublicApi;

}  // namespace kelb
