#include "wfs/allocation_group.h"

#include "wfs/allocation_block.h"
#include "wfs/volume.h"

#include <algorithm>

namespace wfs {

void AllocationGroup::SetGeometry(int32_t size, uint32_t bitmap_blocks, int32_t start)
{
    size_ = size;
    bitmap_blocks_ = bitmap_blocks;
    start_ = start;
}

void AllocationGroup::NoteFreeRange(int32_t start, int32_t length)
{
    if (first_free_ == -1)
        first_free_ = start;
    if (!largest_valid_ || length > largest_length_)
        SetLargest(start, length);
    free_bits_ += length;
}

void AllocationGroup::MarkAllFree()
{
    first_free_ = 0;
    free_bits_ = size_;
    SetLargest(0, size_);
}

void AllocationGroup::SetLargest(int32_t start, int32_t length)
{
    largest_start_ = start;
    largest_length_ = length;
    largest_valid_ = true;
}

// The largest range stays trusted only while no range before or after it
// could be longer.
void AllocationGroup::CheckLargestStillLargest()
{
    if (largest_length_ < largest_start_ || largest_length_ < size_ - largest_start_ - largest_length_)
        largest_valid_ = false;
}

void AllocationGroup::NoteAllocation(int32_t start, int32_t length)
{
    if (start == first_free_)
        first_free_ = start + length;
    free_bits_ -= length;
    if (!largest_valid_)
        return;
    if (start == largest_start_) {
        largest_start_ += length;
        largest_length_ -= length;
        CheckLargestStillLargest();
    } else if (start > largest_start_ && start < largest_start_ + largest_length_) {
        largest_length_ = start - largest_start_;
        CheckLargestStillLargest();
    }
}

void AllocationGroup::NoteFreeing(int32_t start, int32_t length)
{
    if (start < first_free_)
        first_free_ = start;
    free_bits_ += length;
    if (!largest_valid_)
        return;
    int32_t largest_end = largest_start_ + largest_length_;
    bool touches = start + length == largest_start_ || start == largest_end;
    bool before_may_be_longer = start < largest_start_ && largest_start_ > largest_length_;
    bool after_may_be_longer = start > largest_start_ && size_ - largest_end > largest_length_;
    if (touches || before_may_be_longer || after_may_be_longer)
        largest_valid_ = false;
}

fssh::status_code AllocationGroup::ChangeBits(Volume* volume, Transaction& transaction,
    int32_t start, int32_t length, bool used)
{
    if (start < 0 || length < 0 || int64_t{start} + length > size_)
        return fssh::FSSH_INVALID_ARGUMENT;
    uint32_t bits_per_block = volume->BlockSize() * 8;
    uint32_t index = static_cast<uint32_t>(start) / bits_per_block;
    uint32_t bit = static_cast<uint32_t>(start) % bits_per_block;
    uint32_t left = static_cast<uint32_t>(length);
    AllocationBlock block(volume);
    while (left > 0) {
        if (block.SetToWritable(transaction, *this, index) != fssh::FSSH_OK)
            return fssh::FSSH_IO_ERROR;
        uint32_t count = std::min(left, block.NumBlockBits() - bit);
        if (used)
            block.Allocate(bit, count);
        else
            block.Free(bit, count);
        left -= count;
        index++;
        bit = 0;
    }
    return fssh::FSSH_OK;
}

fssh::status_code AllocationGroup::Allocate(Volume* volume, Transaction& transaction,
    int32_t start, int32_t length)
{
    if (start < 0 || length < 0 || int64_t{start} + length > size_)
        return fssh::FSSH_INVALID_ARGUMENT;
    NoteAllocation(start, length);
    fssh::status_code status = ChangeBits(volume, transaction, start, length, true);
    if (status != fssh::FSSH_OK)
        largest_valid_ = false;
    return status;
}

fssh::status_code AllocationGroup::Free(Volume* volume, Transaction& transaction, int32_t start,
    int32_t length)
{
    if (start < 0 || length < 0 || int64_t{start} + length > size_)
        return fssh::FSSH_INVALID_ARGUMENT;
    NoteFreeing(start, length);
    return ChangeBits(volume, transaction, start, length, false);
}

}  // namespace wfs
