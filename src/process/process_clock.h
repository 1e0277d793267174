// process_clock.h --
//
//     The scheduler's time base. A click is one millisecond; click values
//     are unsigned 32-bit counts that wrap after 2^32 clicks (49.7 days),
//     so they are only ever compared through their signed difference. The
//     clicks are cut from a monotonic microsecond clock, which the
//     scheduler reads through a function pointer so that tests can drive
//     it by hand.

#pragma once

#include <cstdint>

namespace kelb::process {

using Clicks = std::uint32_t;

// A monotonic clock in microseconds. Only differences matter; the value
// may start anywhere.
using MicroClock = std::uint64_t (*)();

// The steady clock of the C++ library (CLOCK_MONOTONIC on Linux): it does
// not jump when the wall clock is set.
std::uint64_t SteadyMicros() noexcept;

// The click count of a microsecond reading, cut to 32 bits.
constexpr Clicks ClicksOf(std::uint64_t micros) noexcept {
    return static_cast<Clicks>(micros / 1000);
}

// a - b read as a signed 32-bit number: how far a lies after b, correct
// across the wrap while the two are less than 2^31 clicks (24.8 days)
// apart. C++20 defines the conversion as modular.
constexpr std::int32_t ClickDifference(Clicks a, Clicks b) noexcept {
    return static_cast<std::int32_t>(a - b);
}

// Whether the clock reading now lies strictly after the click due.
constexpr bool ClockPast(Clicks now, Clicks due) noexcept {
    return ClickDifference(now, due) > 0;
}

}  // namespace kelb::process
