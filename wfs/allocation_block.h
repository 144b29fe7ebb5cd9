#pragma once

// A handle on one bitmap block of an allocation group, held in the block
// cache (read-only, or writable in a transaction) and put back when the handle
// is set to another block or goes away. Bits are tested and changed as 32-bit
// little-endian words: bit b is bit (b mod 32) of word b / 32.

#include "block_cache/cached_block_holder.h"
#include "kernel/status.h"

#include <cstdint>

namespace wfs {

class AllocationGroup;
class Transaction;
class Volume;

class AllocationBlock {
public:
    explicit AllocationBlock(Volume* volume);
    AllocationBlock(const AllocationBlock&) = delete;
    AllocationBlock& operator=(const AllocationBlock&) = delete;

    // Takes bitmap block `index` of `group` for reading.
    fssh::status_code SetTo(const AllocationGroup& group, uint32_t index);

    // Takes bitmap block `index` of `group` for writing in `transaction`.
    fssh::status_code SetToWritable(Transaction& transaction, const AllocationGroup& group,
                                    uint32_t index);

    // Bits of the block that stand for blocks of the group: all of them,
    // except in the group's last, partial block.
    uint32_t NumBlockBits() const { return valid_bits_; }

    uint32_t Word(uint32_t index) const;
    bool IsUsed(uint32_t bit) const { return (Word(bit / 32) >> (bit % 32) & 1) != 0; }

    // Set or clear `count` bits from `start`; the block must be writable.
    void Allocate(uint32_t start, uint32_t count) { ChangeBits(start, count, true); }
    void Free(uint32_t start, uint32_t count) { ChangeBits(start, count, false); }

private:
    int64_t SetGeometry(const AllocationGroup& group, uint32_t index);
    void ChangeBits(uint32_t start, uint32_t count, bool used);

    Volume* volume_;
    fssh::CachedBlockHolder block_;
    uint32_t valid_bits_ = 0;
};

}  // namespace wfs
