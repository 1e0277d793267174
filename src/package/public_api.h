// public_api.h --
//
//     The table of functions the package offers other extensions.

#pragma once

#include "kelbApi.h"

namespace kelb {

extern const KelbApi kPublicApi;

}  // namespace kelb
