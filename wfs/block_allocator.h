#pragma once

// Hands out and takes back the blocks of a volume. Per allocation group it
// keeps a summary that spares most bitmap reads, and it changes the on-disk
// bitmap through the block cache inside the caller's transaction. Inodes are
// placed near their parents and file data after the file's last run, taking
// the first free range that is long enough and otherwise the longest found.

#include "kernel/lock.h"
#include "kernel/status.h"
#include "wfs/block_run.h"

#include <cstdint>

namespace wfs {

class AllocationGroup;
class Transaction;
class Volume;
struct wfs_inode;

class BlockAllocator {
public:
    explicit BlockAllocator(Volume* volume);
    ~BlockAllocator();
    BlockAllocator(const BlockAllocator&) = delete;
    BlockAllocator& operator=(const BlockAllocator&) = delete;

    // Creates the group summaries from the superblock. With `full_scan` it
    // also reads the whole bitmap from the device to fill them in, makes sure
    // the reserved area (superblock, bitmap, log) is marked used, and corrects
    // a wrong used block count in memory.
    fssh::status_code Initialize(bool full_scan);

    // Writes the bitmap of a new volume with only the reserved area used.
    fssh::status_code FormatBitmap(Transaction& transaction);

    // Takes the lock for good: no allocation happens after unmounting starts.
    void Shutdown();

    // One block for a new inode with `mode`, near its parent's run (a plain
    // directory goes eight groups further).
    fssh::status_code AllocateInodeBlock(Transaction& transaction, const block_run& parent,
                                         int32_t mode, block_run& run);

    // Up to `wanted` blocks (at least `minimum`, in multiples of it) for the
    // data stream of the inode whose record is `node`, placed after its last
    // run. FSSH_NO_SPACE when no range of `minimum` blocks is free.
    fssh::status_code Allocate(Transaction& transaction, const wfs_inode& node, int64_t wanted,
                               block_run& run, uint16_t minimum = 1);

    // Frees `run`. Runs outside the groups or inside the reserved area are
    // refused with FSSH_INVALID_ARGUMENT.
    fssh::status_code Free(Transaction& transaction, block_run run);

    // Checks that `count` blocks from `first` are all used (`allocated`) or
    // all free; FSSH_CORRUPT_DATA with the first wrong block otherwise.
    fssh::status_code VerifyBits(int64_t first, int64_t count, bool allocated,
                                 int64_t* first_wrong);

    // Whether `run` lies inside one group of the volume.
    bool IsValidRun(block_run run) const;

    // VerifyBits for a valid run; FSSH_CORRUPT_DATA for an invalid one.
    fssh::status_code VerifyRun(block_run run, bool allocated);

    // Passes every free range of the volume to the device as trim requests.
    // Only the whole volume can be trimmed (offset 0, size at least the
    // volume); anything else is FSSH_UNSUPPORTED.
    fssh::status_code Trim(uint64_t offset, uint64_t size, uint64_t* trimmed_size);

    int32_t GroupCount() const { return group_count_; }
    // The summary of group `index`; only valid after Initialize or
    // FormatBitmap.
    const AllocationGroup& Group(int32_t index) const;
    fssh::recursive_lock& Lock() { return lock_; }

private:
    struct SearchResult;

    fssh::status_code CreateGroups();
    fssh::status_code ScanBitmap();
    void ScanGroupBits(AllocationGroup& group, const uint8_t* bitmap);
    void CheckReservedArea();
    fssh::status_code AllocateReservedArea(Transaction& transaction);
    int64_t ReservedBlocks() const;
    static fssh::status_code ScanInBackground(void* allocator);
    fssh::status_code AllocateBlocks(Transaction& transaction, int32_t group_index,
                                     int32_t start, uint16_t maximum, uint16_t minimum,
                                     block_run& run);
    fssh::status_code SearchGroup(int32_t group_index, int32_t start, uint16_t maximum,
                                  SearchResult* best, bool* done);

    Volume* volume_;
    fssh::recursive_lock lock_;
    AllocationGroup* groups_ = nullptr;
    int32_t group_count_ = 0;
    uint32_t bitmap_blocks_per_group_ = 0;
    uint32_t bitmap_block_count_ = 0;
};

}  // namespace wfs
