#pragma once

// Time stamps of inodes: seconds since the epoch in bits 16 to 63, and in bits
// 0 to 15 a sub-second part mixed with a process-wide counter, so that two
// stamps made in the same instant still differ.

#include <cstdint>

namespace wfs {

// Encodes a time given in seconds and nanoseconds. Every call advances the
// process-wide counter.
int64_t encode_time_stamp(int64_t seconds, int32_t nanoseconds);

// Encodes a time given in microseconds since the epoch.
int64_t time_stamp_from_usecs(int64_t microseconds);

// A time stamp for now (the wall clock).
int64_t current_time_stamp();

inline int64_t time_stamp_seconds(int64_t time_stamp)
{
    return time_stamp >> 16;
}

inline int32_t time_stamp_nanoseconds(int64_t time_stamp)
{
    return static_cast<int32_t>((time_stamp & 0xfff0) << 14);
}

}  // namespace wfs
