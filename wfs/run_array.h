#pragma once

// The run array: the first block of every log entry, naming the blocks whose
// contents follow it in the log.

#include "wfs/block_run.h"

#include <cstdint>

namespace wfs {

constexpr int32_t MAX_RUN_ARRAY_CAPACITY = 127;

// Runs a run array block of `block_size` bytes can hold: min((block_size - 8)
// / 8, 127). A valid array uses at most one less.
inline int32_t run_array_capacity(uint32_t block_size)
{
    int32_t fit = static_cast<int32_t>((int64_t{block_size} - 8) / 8);
    return fit < MAX_RUN_ARRAY_CAPACITY ? fit : MAX_RUN_ARRAY_CAPACITY;
}

// Laid over a block of the block size; the runs follow the header, sorted by
// group, then start, without overlaps. The rest of the block is zero.
struct __attribute__((packed)) run_array {
    int32_t run_count;
    int32_t array_max;

    const block_run* Runs() const
    {
        return reinterpret_cast<const block_run*>(reinterpret_cast<const uint8_t*>(this) + 8);
    }
    block_run* Runs() { return reinterpret_cast<block_run*>(reinterpret_cast<uint8_t*>(this) + 8); }
    const block_run& RunAt(int32_t index) const { return Runs()[index]; }

    // The header is sound for a volume of `block_size` bytes per block: the
    // capacity matches and 0 < run_count < capacity.
    bool HasValidHeader(uint32_t block_size) const;

    // Sum of the run lengths: blocks that follow the array in the log.
    int64_t BlockCount() const;
};

static_assert(sizeof(run_array) == 8);
static_assert(offsetof(run_array, run_count) == 0);
static_assert(offsetof(run_array, array_max) == 4);

}  // namespace wfs
