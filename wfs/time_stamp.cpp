#include "wfs/time_stamp.h"

#include "kernel/clock.h"

namespace wfs {

namespace {

// Shared by every encoding of the process; only its low bits are ever used.
uint32_t time_stamp_counter = 0;

}  // namespace

int64_t encode_time_stamp(int64_t seconds, int32_t nanoseconds)
{
    uint32_t counter = ++time_stamp_counter;
    int64_t low;
    if (nanoseconds != 0)
        low = (((int64_t{nanoseconds} + 16383) >> 14) & 0xfff0) | (counter & 0xf);
    else
        low = counter & 0xfff;
    return static_cast<int64_t>(static_cast<uint64_t>(seconds) << 16) | low;
}

int64_t time_stamp_from_usecs(int64_t microseconds)
{
    return encode_time_stamp(microseconds / 1000000,
        static_cast<int32_t>(microseconds % 1000000 * 1000));
}

int64_t current_time_stamp()
{
    return time_stamp_from_usecs(fssh::wall_clock_usecs());
}

}  // namespace wfs
