// process_clock.cpp --
//
//     The default clock of the scheduler.

#include "process/process_clock.h"

#include <chrono>

namespace kelb::process {

std::uint64_t SteadyMicros() noexcept {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace kelb::process
