#pragma once

// The summary of one allocation group that spares most bitmap reads: its
// size, the lowest bit that may be free, the number of free bits and the
// largest free range known. Allocate and Free change the summary and the
// group's bits in its bitmap blocks inside the caller's transaction.

#include "kernel/status.h"

#include <cstdint>

namespace wfs {

class Transaction;
class Volume;

class AllocationGroup {
public:
    // A fresh group, before any scan: no free bits, nothing known.
    AllocationGroup() = default;

    // Sets the size of the group (its bits), the bitmap blocks it uses and the
    // block number of its first bitmap block.
    void SetGeometry(int32_t size, uint32_t bitmap_blocks, int32_t start);

    // Records a free range found by a scan of the group, in bit order.
    void NoteFreeRange(int32_t start, int32_t length);

    // Makes every bit of the group free, as on a new volume.
    void MarkAllFree();

    // Marks `length` bits from `start` used. FSSH_IO_ERROR when a bitmap block
    // cannot be had; FSSH_INVALID_ARGUMENT for a range outside the group.
    fssh::status_code Allocate(Volume* volume, Transaction& transaction, int32_t start,
                               int32_t length);

    // Marks `length` bits from `start` free.
    fssh::status_code Free(Volume* volume, Transaction& transaction, int32_t start,
                           int32_t length);

    int32_t Size() const { return size_; }
    uint32_t BitmapBlocks() const { return bitmap_blocks_; }
    int32_t Start() const { return start_; }
    int32_t FirstFree() const { return first_free_; }
    int32_t FreeBits() const { return free_bits_; }
    bool IsFull() const { return free_bits_ == 0; }
    bool IsLargestValid() const { return largest_valid_; }
    int32_t LargestStart() const { return largest_start_; }
    int32_t LargestLength() const { return largest_length_; }

    // Records the largest free range a scan from bit 0 has found.
    void SetLargest(int32_t start, int32_t length);

private:
    void NoteAllocation(int32_t start, int32_t length);
    void NoteFreeing(int32_t start, int32_t length);
    fssh::status_code ChangeBits(Volume* volume, Transaction& transaction, int32_t start,
                                 int32_t length, bool used);
    void CheckLargestStillLargest();

    int32_t size_ = 0;
    uint32_t bitmap_blocks_ = 0;
    int32_t start_ = 0;
    int32_t first_free_ = -1;
    int32_t free_bits_ = 0;
    int32_t largest_start_ = 0;
    int32_t largest_length_ = 0;
    bool largest_valid_ = false;
};

}  // namespace wfs
