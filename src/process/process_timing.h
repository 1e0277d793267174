// process_timing.h --
//
//     The schedule and the run statistics of one periodic process: its
//     period, the click after which its next run is due, and the longest,
//     shortest and averaged run times since it was last started. Pure
//     arithmetic on click values; the scheduler supplies the clock.

#pragma once

#include <cstdint>

#include "process/process_clock.h"

namespace kelb::process {

// minTime until a run has been measured: all ones, which the signed
// listings show as -1.
inline constexpr Clicks kNoRunYet = 0xFFFFFFFFu;

struct Timing {
    std::uint32_t period = 0;    // microseconds between runs; read unsigned
    Clicks nextTime = 0;         // the next run is due once the clock is past it
    Clicks maxTime = 0;          // longest run since the last start
    Clicks minTime = kNoRunYet;  // shortest run since the last start
    Clicks avgTime = 0;          // halving average of the runs since then

    // Forgets the measured runs; the schedule stays as it is.
    void ClearStatistics() noexcept;

    // A start: fresh statistics, and the process due as soon as the clock
    // has moved past now.
    void Restart(Clicks now) noexcept;

    // Accounts for a run that took elapsed clicks and moves the due time on
    // by one period (period / 1000 clicks, truncated) from the previous due
    // time, so that the schedule does not drift and a late process makes up
    // its missed runs one after another.
    void RecordRun(Clicks elapsed) noexcept;

    // Whether a run is due at the clock reading now.
    bool DueAt(Clicks now) const noexcept { return ClockPast(now, nextTime); }
};

// How long the notifier may sleep, from the precise time nowMicros, before
// the clock moves past a due time that lies dueAhead clicks after the
// click of nowMicros: 0 once it has.
std::uint64_t SleepMicros(std::int64_t dueAhead, std::uint64_t nowMicros) noexcept;

// The frequency of a period, 1000000 / period truncated, and 0 for period
// 0 (a process that runs at every pass of the event loop has no fixed
// frequency; 0 also converts back to period 0).
std::uint32_t FrequencyOfPeriod(std::uint32_t period) noexcept;

// The period of a frequency, 1000000 / frequency truncated toward zero and
// kept in 32 bits; frequency 0 gives period 0.
std::uint32_t PeriodOfFrequency(std::int64_t frequency) noexcept;

}  // namespace kelb::process
