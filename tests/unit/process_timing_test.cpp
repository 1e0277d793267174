// Unit tests of the scheduler's clock arithmetic and run statistics.

#include <gtest/gtest.h>

#include "process/process_timing.h"

using namespace kelb::process;

namespace {

constexpr Clicks kWrap296 = 0xFFFFFFFFu - 295;  // 296 clicks before the wrap

TEST(ProcessClock, PastMeansStrictlyAfterAcrossTheWrap) {
    EXPECT_TRUE(ClockPast(5001, 5000));
    EXPECT_FALSE(ClockPast(5000, 5000));
    EXPECT_FALSE(ClockPast(4999, 5000));
    // The clock has wrapped to 200: the due time lies 496 clicks behind.
    EXPECT_EQ(ClickDifference(200, kWrap296), 496);
    EXPECT_TRUE(ClockPast(200, kWrap296));
    EXPECT_FALSE(ClockPast(kWrap296, 200));
    EXPECT_EQ(ClicksOf((std::uint64_t{1} << 32) * 1000 + 200'999), 200u);
}

TEST(ProcessTiming, SleepLastsUntilTheClockIsPastTheDueTime) {
    // Due at 5100. 60 clicks ahead, at the start of a click: 60 whole
    // clicks plus the due click itself.
    EXPECT_EQ(SleepMicros(60, 5040'000), 61'000u);
    EXPECT_EQ(SleepMicros(60, 5040'300), 60'700u);
    // At the due click the loop sleeps for the rest of it; once past, not at all.
    EXPECT_EQ(SleepMicros(0, 5100'000), 1'000u);
    EXPECT_EQ(SleepMicros(0, 5100'999), 1u);
    EXPECT_EQ(SleepMicros(-1, 5101'000), 0u);
    EXPECT_EQ(SleepMicros(-3900, 9000'000), 0u);
}

TEST(ProcessTiming, RunsAdvanceTheDueTimeFromTheLastDueTime) {
    Timing timing;
    timing.period = 100000;
    timing.Restart(5000);
    EXPECT_EQ(timing.nextTime, 5000u);
    EXPECT_FALSE(timing.DueAt(5000));
    EXPECT_TRUE(timing.DueAt(5001));
    timing.RecordRun(3);
    EXPECT_EQ(timing.nextTime, 5100u);
    // Sub-click parts of the period are truncated away.
    timing.period = 1999;
    timing.RecordRun(0);
    EXPECT_EQ(timing.nextTime, 5101u);
    timing.period = 999;
    timing.RecordRun(0);
    EXPECT_EQ(timing.nextTime, 5101u);
    // The due time wraps with the clock.
    timing.period = 1000000;
    timing.nextTime = kWrap296;
    timing.RecordRun(0);
    EXPECT_EQ(timing.nextTime, 704u);
}

TEST(ProcessTiming, StatisticsOfMixedRunsAndTheirClearing) {
    Timing timing;
    timing.Restart(77);
    EXPECT_EQ(timing.minTime, kNoRunYet);
    for (Clicks elapsed : {8u, 4u, 6u}) timing.RecordRun(elapsed);
    EXPECT_EQ(timing.maxTime, 8u);
    EXPECT_EQ(timing.minTime, 4u);
    EXPECT_EQ(timing.avgTime, 5u);
    // Clearing keeps the schedule; a restart moves it to the present.
    timing.ClearStatistics();
    EXPECT_EQ(timing.maxTime, 0u);
    EXPECT_EQ(timing.minTime, kNoRunYet);
    EXPECT_EQ(timing.avgTime, 0u);
    EXPECT_EQ(timing.nextTime, 77u);
    // An average of huge runs does not wrap.
    timing.avgTime = 0xFFFFFFF0u;
    timing.RecordRun(0xFFFFFFF0u);
    EXPECT_EQ(timing.avgTime, 0xFFFFFFF0u);
}

TEST(ProcessTiming, FrequencyAndPeriodConvertThroughTruncation) {
    EXPECT_EQ(PeriodOfFrequency(10), 100000u);
    EXPECT_EQ(FrequencyOfPeriod(100000), 10u);
    EXPECT_EQ(PeriodOfFrequency(3), 333333u);
    EXPECT_EQ(FrequencyOfPeriod(333333), 3u);
    EXPECT_EQ(PeriodOfFrequency(2000000), 0u);
    EXPECT_EQ(PeriodOfFrequency(0), 0u);
    EXPECT_EQ(FrequencyOfPeriod(0), 0u);
    EXPECT_EQ(FrequencyOfPeriod(1), 1000000u);
    // Read unsigned, the longest period has frequency 0.
    EXPECT_EQ(FrequencyOfPeriod(0xFFFFFFFFu), 0u);
    // Truncation is toward zero; the result is kept in 32 bits.
    EXPECT_EQ(PeriodOfFrequency(-3), static_cast<std::uint32_t>(-333333));
}

}  // namespace
