#pragma once

// The extent record used everywhere on a volume, and its conversion to and
// from block numbers. Every on-disk record of the volume is packed and
// little-endian; the host must share that byte order, because the records are
// read and written in place.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace wfs {

static_assert(std::endian::native == std::endian::little,
    "volume records are read in place and need a little-endian host");

struct __attribute__((packed)) block_run {
    int32_t allocation_group;
    uint16_t start;
    uint16_t length;

    // The empty run (all three fields zero) ends run lists.
    bool IsEmpty() const { return allocation_group == 0 && start == 0 && length == 0; }
    bool operator==(const block_run& other) const = default;

    static block_run Run(int32_t group, uint16_t start, uint16_t length)
    {
        return block_run{group, start, length};
    }
    static block_run Empty() { return block_run{0, 0, 0}; }
};

static_assert(sizeof(block_run) == 8);
static_assert(offsetof(block_run, allocation_group) == 0);
static_assert(offsetof(block_run, start) == 4);
static_assert(offsetof(block_run, length) == 6);

// The first block of `run`: the sign-extended group shifted up, ORed (not
// added) with the start.
inline int64_t run_to_block(const block_run& run, uint32_t group_shift)
{
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<int64_t>(run.allocation_group))
               << group_shift)
        | run.start;
}

// A run of one block naming `block`; the group is cut to 32 bits and the start
// to 16 bits, as the record holds them.
inline block_run block_to_run(int64_t block, uint32_t group_shift)
{
    block_run run;
    run.allocation_group = static_cast<int32_t>(block >> group_shift);
    run.start = static_cast<uint16_t>(block & ((int64_t{1} << group_shift) - 1));
    run.length = 1;
    return run;
}

}  // namespace wfs
