#include "kernel/clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <sys/time.h>

namespace fssh {
namespace {

int64_t host_usecs()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_usec;
}

TEST(Clock, MicrosecondClocksReadTheWallClock)
{
    for (int64_t (*clock)() : {&clock_usecs, &wall_clock_usecs}) {
        int64_t before = host_usecs();
        int64_t reading = clock();
        int64_t after = host_usecs();
        EXPECT_LE(before, reading);
        EXPECT_LE(reading, after);
    }
}

TEST(Clock, SecondsAreTheWholeSecondsOfTheWallClock)
{
    int64_t before = host_usecs() / 1000000;
    int64_t seconds = wall_clock_secs();
    int64_t after = host_usecs() / 1000000;
    EXPECT_LE(before, seconds);
    EXPECT_LE(seconds, after);
}

TEST(Clock, HostTimeIsStoredThroughTheOptionalOutput)
{
    int64_t before = time(nullptr);
    int64_t stored = -1;
    int64_t now = host_time(&stored);
    EXPECT_EQ(stored, now);
    EXPECT_LE(before, now);
    EXPECT_LE(now, host_time(nullptr));
}

TEST(Sleep, NothingToSleepReturnsAtOnce)
{
    EXPECT_EQ(sleep_usecs(0), FSSH_OK);
    EXPECT_EQ(sleep_usecs(-5), FSSH_OK);
    EXPECT_EQ(sleep_usecs(INT64_MIN), FSSH_OK);
    EXPECT_EQ(sleep_until_usecs(0, 0), FSSH_OK);
    EXPECT_EQ(sleep_until_usecs(INT64_MIN, 0), FSSH_OK);
    EXPECT_EQ(sleep_until_usecs(clock_usecs() - 1000, 0), FSSH_OK);
}

// Whole seconds and the rest are slept separately: the host's microsecond
// sleep refuses a second or more.
TEST(Sleep, SleepsWholeSecondsAndThenTheRest)
{
    int64_t start = clock_usecs();
    EXPECT_EQ(sleep_usecs(1500000), FSSH_OK);
    EXPECT_GE(clock_usecs() - start, 1500000);
}

TEST(Sleep, SleepsUntilTheInstantWhateverTheTimeBase)
{
    int64_t deadline = clock_usecs() + 20000;
    EXPECT_EQ(sleep_until_usecs(deadline, 12345), FSSH_OK);
    EXPECT_GE(clock_usecs(), deadline);
}

}  // namespace
}  // namespace fssh
