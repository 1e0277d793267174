// process_timing.cpp --
//
//     Due-time arithmetic and run statistics of one process.

#include "process/process_timing.h"

namespace kelb::process {

void Timing::ClearStatistics() noexcept {
    maxTime = 0;
    minTime = kNoRunYet;
    avgTime = 0;
}

void Timing::Restart(Clicks now) noexcept {
    ClearStatistics();
    nextTime = now;
}

void Timing::RecordRun(Clicks elapsed) noexcept {
    if (elapsed > maxTime) maxTime = elapsed;
    if (elapsed < minTime) minTime = elapsed;
    // Each run weighs one half, the previous average the other. The sum is
    // taken in 64 bits so that it cannot wrap.
    avgTime = static_cast<Clicks>((std::uint64_t{avgTime} + elapsed) / 2);
    nextTime += period / 1000;
}

std::uint64_t SleepMicros(std::int64_t ahead, std::uint64_t nowMicros) noexcept {
    if (ahead < 0) return 0;
    // The clock moves past nextTime when the click after it begins: that
    // is the rest of the current click plus `ahead` whole clicks. Asking
    // for exactly this, rather than for `ahead` clicks, lets the notifier
    // sleep through the due click instead of polling until it ends.
    return (static_cast<std::uint64_t>(ahead) + 1) * 1000 - nowMicros % 1000;
}

std::uint32_t FrequencyOfPeriod(std::uint32_t period) noexcept {
    if (period == 0) return 0;
    return static_cast<std::uint32_t>(1000000.0 / period);
}

std::uint32_t PeriodOfFrequency(std::int64_t frequency) noexcept {
    if (frequency == 0) return 0;
    // |1000000 / frequency| <= 1000000, so the truncated quotient fits.
    auto quotient = static_cast<std::int64_t>(1000000.0 / static_cast<double>(frequency));
    return static_cast<std::uint32_t>(quotient);
}

}  // namespace kelb::process
