#include "wfs/allocation_block.h"

#include "wfs/allocation_group.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <cstring>

namespace wfs {

AllocationBlock::AllocationBlock(Volume* volume) : volume_(volume), block_(volume->BlockCache())
{
}

// Returns the block number of bitmap block `index` of `group`.
int64_t AllocationBlock::SetGeometry(const AllocationGroup& group, uint32_t index)
{
    uint32_t bits_per_block = volume_->BlockSize() * 8;
    uint32_t covered = (index + 1) * bits_per_block;
    if (static_cast<uint32_t>(group.Size()) < covered)
        valid_bits_ = static_cast<uint32_t>(group.Size()) % bits_per_block;
    else
        valid_bits_ = bits_per_block;
    return int64_t{group.Start()} + index;
}

fssh::status_code AllocationBlock::SetTo(const AllocationGroup& group, uint32_t index)
{
    return block_.SetTo(SetGeometry(group, index));
}

fssh::status_code AllocationBlock::SetToWritable(Transaction& transaction,
    const AllocationGroup& group, uint32_t index)
{
    return block_.SetToWritable(SetGeometry(group, index), transaction.ID());
}

uint32_t AllocationBlock::Word(uint32_t index) const
{
    uint32_t word;
    memcpy(&word, block_.Data() + size_t{index} * 4, sizeof(word));
    return word;
}

void AllocationBlock::ChangeBits(uint32_t start, uint32_t count, bool used)
{
    uint8_t* data = block_.WritableData();
    for (uint32_t bit = start; bit < start + count; bit++) {
        uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
        if (used)
            data[bit / 8] |= mask;
        else
            data[bit / 8] &= static_cast<uint8_t>(~mask);
    }
}

}  // namespace wfs
