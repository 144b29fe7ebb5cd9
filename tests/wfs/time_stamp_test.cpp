#include "wfs/time_stamp.h"

#include "kernel/clock.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(TimeStamp, SecondsLiveInBitsAbove16)
{
    int64_t stamp = wfs::encode_time_stamp(1700000000, 250000000);
    EXPECT_EQ(wfs::time_stamp_seconds(stamp), 1700000000);
    EXPECT_EQ(stamp >> 16, 1700000000);
}

TEST(TimeStamp, NanosecondsSurviveWithinTheirResolution)
{
    const int32_t nanoseconds[] = {1, 999, 16384, 250000000, 500000000, 999999999};
    for (int32_t n : nanoseconds) {
        int64_t stamp = wfs::encode_time_stamp(12345, n);
        int64_t expected_low = (((int64_t{n} + 16383) >> 14) & 0xfff0);
        EXPECT_EQ(stamp & 0xfff0, expected_low) << n;
        EXPECT_EQ(wfs::time_stamp_nanoseconds(stamp), expected_low << 14) << n;
        // Rounded up to 2^14 ns, then cut to 2^18 ns steps.
        EXPECT_LT(std::abs(wfs::time_stamp_nanoseconds(stamp) - n), 1 << 18) << n;
    }
}

TEST(TimeStamp, CounterMakesEqualTimesDiffer)
{
    std::set<int64_t> stamps;
    for (int i = 0; i < 16; i++)
        stamps.insert(wfs::encode_time_stamp(100, 500000000));
    EXPECT_EQ(stamps.size(), 16u);
    for (int64_t stamp : stamps)
        EXPECT_EQ(wfs::time_stamp_nanoseconds(stamp), wfs::time_stamp_nanoseconds(*stamps.begin()));
}

TEST(TimeStamp, ZeroNanosecondsStillGetsTwelveCounterBits)
{
    int64_t first = wfs::encode_time_stamp(7, 0);
    EXPECT_NE(first & 0xffff, 0);
    EXPECT_EQ(first & 0xf000, 0);
    bool saw_nonzero_nanoseconds = false;
    int64_t previous = first;
    for (int i = 0; i < 32; i++) {
        int64_t stamp = wfs::encode_time_stamp(7, 0);
        // Consecutive encodings count up by one in the low twelve bits.
        EXPECT_EQ(stamp & 0xfff, ((previous & 0xfff) + 1) & 0xfff);
        EXPECT_EQ(wfs::time_stamp_seconds(stamp), 7);
        if (wfs::time_stamp_nanoseconds(stamp) != 0)
            saw_nonzero_nanoseconds = true;
        previous = stamp;
    }
    EXPECT_TRUE(saw_nonzero_nanoseconds);
}

TEST(TimeStamp, MicrosecondsSplitIntoSecondsAndNanoseconds)
{
    int64_t stamp = wfs::time_stamp_from_usecs(3'750'000);
    EXPECT_EQ(wfs::time_stamp_seconds(stamp), 3);
    int64_t expected = (((750'000'000LL + 16383) >> 14) & 0xfff0) << 14;
    EXPECT_EQ(wfs::time_stamp_nanoseconds(stamp), expected);
}

TEST(TimeStamp, CurrentStampIsNow)
{
    int64_t before = fssh::wall_clock_secs();
    int64_t stamp = wfs::current_time_stamp();
    int64_t after = fssh::wall_clock_secs();
    EXPECT_GE(wfs::time_stamp_seconds(stamp), before);
    EXPECT_LE(wfs::time_stamp_seconds(stamp), after);
}

}  // namespace
