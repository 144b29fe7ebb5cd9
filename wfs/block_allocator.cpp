#include "wfs/block_allocator.h"

#include "block_cache/block_cache.h"
#include "kernel/debug.h"
#include "kernel/host_file.h"
#include "kernel/thread.h"
#include "wfs/allocation_block.h"
#include "wfs/allocation_group.h"
#include "wfs/inode_record.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace wfs {

namespace {

constexpr int32_t BITMAP_SCANNER_PRIORITY = 5;
constexpr int32_t PLAIN_DIRECTORY_GROUP_DISTANCE = 8;
constexpr int32_t MAX_TRIM_RANGES = 128;

// The request record of a device trim.
struct trim_request {
    uint32_t range_count;
    uint32_t reserved;
    uint64_t trimmed_size;  // filled in by the device
    struct {
        uint64_t offset;
        uint64_t size;
    } ranges[MAX_TRIM_RANGES];
};

static_assert(sizeof(trim_request) == 2064);
static_assert(offsetof(trim_request, trimmed_size) == 8);
static_assert(offsetof(trim_request, ranges) == 16);

int32_t group_modulo(int64_t group, int32_t group_count)
{
    int64_t index = group % group_count;
    return static_cast<int32_t>(index < 0 ? index + group_count : index);
}

}  // namespace

// The best free range a search has found so far.
struct BlockAllocator::SearchResult {
    int32_t group = -1;
    int32_t start = -1;
    int32_t length = -1;

    void Offer(int32_t group_index, int32_t range_start, int32_t range_length)
    {
        if (range_length > length) {
            group = group_index;
            start = range_start;
            length = range_length;
        }
    }
};

BlockAllocator::BlockAllocator(Volume* volume) : volume_(volume)
{
    fssh::recursive_lock_init(&lock_, "wfs allocator");
}

BlockAllocator::~BlockAllocator()
{
    fssh::recursive_lock_destroy(&lock_);
    delete[] groups_;
}

const AllocationGroup& BlockAllocator::Group(int32_t index) const
{
    return groups_[index];
}

fssh::status_code BlockAllocator::CreateGroups()
{
    const disk_super_block& super_block = volume_->SuperBlock();
    group_count_ = super_block.group_count;
    bitmap_blocks_per_group_ = static_cast<uint32_t>(super_block.group_bitmap_blocks);
    bitmap_block_count_
        = static_cast<uint32_t>(bitmap_block_count(super_block.block_count, volume_->BlockSize()));

    delete[] groups_;
    groups_ = new (std::nothrow) AllocationGroup[group_count_];
    if (groups_ == nullptr)
        return fssh::FSSH_NO_MEMORY;

    // Group sizes come from the bitmap; the last group holds the rest.
    int64_t bits_per_group = int64_t{bitmap_blocks_per_group_} * volume_->BlockSize() * 8;
    for (int32_t index = 0; index < group_count_; index++) {
        int32_t start = static_cast<int32_t>(1 + int64_t{index} * bitmap_blocks_per_group_);
        if (index < group_count_ - 1) {
            groups_[index].SetGeometry(static_cast<int32_t>(bits_per_group),
                bitmap_blocks_per_group_, start);
            continue;
        }
        int32_t size = static_cast<int32_t>(super_block.block_count - index * bits_per_group);
        uint32_t bitmap_blocks = static_cast<uint32_t>(((size - 1) >> (volume_->BlockShift() + 3)) + 1);
        groups_[index].SetGeometry(size, bitmap_blocks, start);
    }
    return fssh::FSSH_OK;
}

fssh::status_code BlockAllocator::Initialize(bool full_scan)
{
    fssh::status_code status = CreateGroups();
    if (status != fssh::FSSH_OK || !full_scan)
        return status;

    // No thread can be made here, so the scan runs at once.
    fssh::thread_id scanner = fssh::thread_spawn(&BlockAllocator::ScanInBackground,
        "wfs block allocator", BITMAP_SCANNER_PRIORITY, this);
    if (scanner >= 0)
        return fssh::thread_resume(scanner);
    return ScanInBackground(this);
}

fssh::status_code BlockAllocator::ScanInBackground(void* data)
{
    BlockAllocator* allocator = static_cast<BlockAllocator*>(data);
    fssh::RecursiveLocker locker(&allocator->lock_);
    return allocator->ScanBitmap();
}

void BlockAllocator::ScanGroupBits(AllocationGroup& group, const uint8_t* bitmap)
{
    int32_t run_start = -1;
    for (int32_t bit = 0; bit < group.Size(); bit++) {
        bool used = (bitmap[bit / 8] >> (bit % 8) & 1) != 0;
        if (!used && run_start < 0) {
            run_start = bit;
        } else if (used && run_start >= 0) {
            group.NoteFreeRange(run_start, bit - run_start);
            run_start = -1;
        }
    }
    if (run_start >= 0)
        group.NoteFreeRange(run_start, group.Size() - run_start);
}

fssh::status_code BlockAllocator::ScanBitmap()
{
    size_t group_bytes = size_t{bitmap_blocks_per_group_} * volume_->BlockSize();
    uint8_t* bitmap = static_cast<uint8_t*>(malloc(group_bytes));
    if (bitmap == nullptr)
        return fssh::FSSH_NO_MEMORY;
    // Straight from the device: the bitmap is read once, not kept in the cache.
    for (int32_t index = 0; index < group_count_; index++) {
        AllocationGroup& group = groups_[index];
        off_t offset = int64_t{group.Start()} << volume_->BlockShift();
        ssize_t bytes = fssh::fssh_pread(volume_->Device(), offset, bitmap, group_bytes);
        if (bytes != static_cast<ssize_t>(group_bytes))
            break;
        ScanGroupBits(group, bitmap);
    }
    free(bitmap);

    CheckReservedArea();

    int64_t free_blocks = 0;
    for (int32_t index = 0; index < group_count_; index++)
        free_blocks += groups_[index].FreeBits();
    disk_super_block& super_block = volume_->SuperBlock();
    int64_t correct = super_block.block_count - free_blocks;
    if (super_block.used_block_count != correct) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("volume reports %ld used blocks, correct is %ld\n",
            static_cast<long>(super_block.used_block_count), static_cast<long>(correct));
        super_block.used_block_count = correct;
    }
    return fssh::FSSH_OK;
}

int64_t BlockAllocator::ReservedBlocks() const
{
    block_run log = volume_->LogArea();
    return volume_->RunToBlock(log) + log.length;
}

// Marks every block of the reserved area that is still free as used, group by
// group from block 0.
fssh::status_code BlockAllocator::AllocateReservedArea(Transaction& transaction)
{
    uint32_t bits_per_block = volume_->BlockSize() * 8;
    int64_t remaining = ReservedBlocks();
    for (int32_t index = 0; index < group_count_ && remaining > 0; index++) {
        AllocationGroup& group = groups_[index];
        int32_t length = static_cast<int32_t>(std::min<int64_t>(remaining, group.Size()));
        remaining -= length;
        AllocationBlock block(volume_);
        int32_t run_start = -1;
        for (int32_t bit = 0; bit <= length; bit++) {
            bool used = true;
            if (bit < length) {
                if (bit % bits_per_block == 0 && block.SetTo(group, bit / bits_per_block) != fssh::FSSH_OK)
                    return fssh::FSSH_IO_ERROR;
                used = block.IsUsed(bit % bits_per_block);
            }
            if (!used && run_start < 0) {
                run_start = bit;
            } else if (used && run_start >= 0) {
                fssh::status_code status
                    = group.Allocate(volume_, transaction, run_start, bit - run_start);
                if (status != fssh::FSSH_OK)
                    return status;
                run_start = -1;
            }
        }
    }
    return remaining > 0 ? fssh::FSSH_ERROR : fssh::FSSH_OK;
}

void BlockAllocator::CheckReservedArea()
{
    if (VerifyBits(0, ReservedBlocks(), true, nullptr) == fssh::FSSH_OK)
        return;
    fssh::debug_printf("wfs: ");
    if (volume_->IsReadOnly()) {
        fssh::debug_printf(
            "Space for block bitmap or log area is not reserved (volume is mounted read-only)!\n");
        return;
    }
    Transaction transaction(volume_, 0);
    if (!transaction.IsStarted() || AllocateReservedArea(transaction) != fssh::FSSH_OK) {
        fssh::debug_printf("Could not allocate reserved space for block bitmap/log!\n");
        volume_->MarkCorrupt();
        return;
    }
    transaction.Done();
    fssh::debug_printf("Space for block bitmap or log area was not reserved!\n");
}

fssh::status_code BlockAllocator::FormatBitmap(Transaction& transaction)
{
    fssh::status_code status = CreateGroups();
    if (status != fssh::FSSH_OK)
        return status;
    for (int32_t index = 0; index < group_count_; index++)
        groups_[index].MarkAllFree();

    size_t group_bytes = size_t{bitmap_blocks_per_group_} * volume_->BlockSize();
    uint8_t* zeros = static_cast<uint8_t*>(calloc(1, group_bytes));
    if (zeros == nullptr)
        return fssh::FSSH_NO_MEMORY;
    for (int32_t index = 0; index < group_count_ && status == fssh::FSSH_OK; index++) {
        off_t offset = int64_t{groups_[index].Start()} << volume_->BlockShift();
        if (fssh::fssh_pwrite(volume_->Device(), offset, zeros, group_bytes)
            != static_cast<ssize_t>(group_bytes)) {
            status = fssh::FSSH_ERROR;
        }
    }
    free(zeros);
    if (status != fssh::FSSH_OK)
        return status;

    if (AllocateReservedArea(transaction) != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("could not allocate reserved space for block bitmap/log!\n");
        return fssh::FSSH_ERROR;
    }
    volume_->SuperBlock().used_block_count = ReservedBlocks();
    return fssh::FSSH_OK;
}

void BlockAllocator::Shutdown()
{
    fssh::recursive_lock_lock(&lock_);
}

fssh::status_code BlockAllocator::AllocateInodeBlock(Transaction& transaction,
    const block_run& parent, int32_t mode, block_run& run)
{
    int32_t group = parent.allocation_group;
    if (is_plain_directory_mode(mode))
        group += PLAIN_DIRECTORY_GROUP_DISTANCE;
    return AllocateBlocks(transaction, static_cast<uint16_t>(group), 0, 1, 1, run);
}

fssh::status_code BlockAllocator::Allocate(Transaction& transaction, const wfs_inode& node,
    int64_t wanted, block_run& run, uint16_t minimum)
{
    if (wanted <= 0)
        return fssh::FSSH_ERROR;
    wanted = std::min<int64_t>({wanted, groups_[0].Size(), 0xffff});

    // Where the stream would best continue.
    const data_stream& data = node.data;
    int64_t group = node.inode_run.allocation_group;
    int32_t start = 0;
    const block_run* last_direct = nullptr;
    for (const block_run& direct : data.direct) {
        if (direct.IsEmpty())
            break;
        last_direct = &direct;
    }
    if (data.size <= 0 || (last_direct == nullptr && data.indirect.IsEmpty()
            && data.double_indirect.IsEmpty())) {
        if (is_symlink_mode(node.mode) || is_directory_mode(node.mode))
            start = node.inode_run.start;
        else
            group++;
    } else if (data.indirect.IsEmpty() && data.double_indirect.IsEmpty()) {
        group = last_direct->allocation_group;
        start = int32_t{last_direct->start} + last_direct->length;
    }
    return AllocateBlocks(transaction, group_modulo(group, group_count_), start,
        static_cast<uint16_t>(wanted), minimum, run);
}

fssh::status_code BlockAllocator::SearchGroup(int32_t group_index, int32_t start,
    uint16_t maximum, SearchResult* best, bool* done)
{
    AllocationGroup& group = groups_[group_index];
    *done = false;
    if (start >= group.Size() || group.IsFull())
        return fssh::FSSH_OK;
    int32_t from = std::max(start, group.FirstFree());

    // The summary may answer without reading the bitmap.
    if (group.IsLargestValid()) {
        if (group.LargestLength() < best->length)
            return fssh::FSSH_OK;
        if (group.LargestStart() >= from) {
            best->group = group_index;
            best->start = group.LargestStart();
            best->length = group.LargestLength();
            *done = best->length >= maximum;
            return fssh::FSSH_OK;
        }
    }

    uint32_t bits_per_block = volume_->BlockSize() * 8;
    AllocationBlock block(volume_);
    SearchResult group_largest;
    int32_t run_start = -1;
    int32_t run_length = 0;
    bool rest_too_short = false;
    int32_t position = from;
    while (position < group.Size()) {
        uint32_t bit = static_cast<uint32_t>(position) % bits_per_block;
        if ((bit == 0 || position == from)
            && block.SetTo(group, static_cast<uint32_t>(position) / bits_per_block) != fssh::FSSH_OK) {
            return fssh::FSSH_ERROR;
        }
        if (!block.IsUsed(bit)) {
            if (run_length == 0)
                run_start = position;
            run_length++;
            position++;
            if (run_length >= maximum) {
                best->group = group_index;
                best->start = run_start;
                best->length = run_length;
                *done = true;
                return fssh::FSSH_OK;
            }
            continue;
        }
        if (run_length > 0) {
            best->Offer(group_index, run_start, run_length);
            group_largest.Offer(group_index, run_start, run_length);
            run_length = 0;
        }
        if (group.Size() - position <= group_largest.length) {
            rest_too_short = true;
            break;
        }
        // Whole words of used bits are stepped over at once.
        position++;
        bit++;
        while (bit % 32 == 0 && bit + 32 <= block.NumBlockBits()
            && block.Word(bit / 32) == 0xffffffff) {
            position += 32;
            bit += 32;
        }
    }
    if (!rest_too_short && run_length > 0) {
        best->Offer(group_index, run_start, run_length);
        group_largest.Offer(group_index, run_start, run_length);
    }
    if (from == 0 && !group.IsLargestValid() && group_largest.length > 0)
        group.SetLargest(group_largest.start, group_largest.length);
    *done = best->length >= maximum;
    return fssh::FSSH_OK;
}

fssh::status_code BlockAllocator::AllocateBlocks(Transaction& transaction, int32_t group_index,
    int32_t start, uint16_t maximum, uint16_t minimum, block_run& run)
{
    if (maximum == 0)
        return fssh::FSSH_INVALID_ARGUMENT;
    fssh::RecursiveLocker locker(&lock_);

    // Every group once from the preferred one on, then the preferred group
    // again from its start.
    SearchResult best;
    for (int32_t visit = 0; visit <= group_count_; visit++) {
        int32_t index = (group_index + visit) % group_count_;
        bool done;
        if (SearchGroup(index, visit == 0 ? start : 0, maximum, &best, &done) != fssh::FSSH_OK)
            return fssh::FSSH_ERROR;
        if (done)
            break;
    }
    if (best.length < minimum || best.length <= 0)
        return fssh::FSSH_NO_SPACE;

    int32_t count = best.length;
    if (count > maximum)
        count = maximum;
    else if (minimum >= 2)
        count -= count % minimum;
    if (groups_[best.group].Allocate(volume_, transaction, best.start, count) != fssh::FSSH_OK)
        return fssh::FSSH_IO_ERROR;

    run = block_run::Run(best.group, static_cast<uint16_t>(best.start), static_cast<uint16_t>(count));
    volume_->SuperBlock().used_block_count += count;
    fssh::block_cache_discard(volume_->BlockCache(), volume_->RunToBlock(run), count);
    return fssh::FSSH_OK;
}

fssh::status_code BlockAllocator::Free(Transaction& transaction, block_run run)
{
    fssh::RecursiveLocker locker(&lock_);
    int32_t group = run.allocation_group;
    if (group < 0 || group >= group_count_ || run.start > groups_[group].Size() || run.length == 0
        || int32_t{run.start} + run.length > groups_[group].Size()) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("tried to free an invalid block_run (%d, %u, %u)\n", static_cast<int>(group),
            static_cast<unsigned>(run.start), static_cast<unsigned>(run.length));
        return fssh::FSSH_INVALID_ARGUMENT;
    }
    block_run log = volume_->LogArea();
    if (group < log.allocation_group
        || (group == log.allocation_group && run.start < int32_t{log.start} + log.length)) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("tried to free a reserved block_run (%d, %u, %u)\n",
            static_cast<int>(group), static_cast<unsigned>(run.start),
            static_cast<unsigned>(run.length));
        return fssh::FSSH_INVALID_ARGUMENT;
    }
    if (groups_[group].Free(volume_, transaction, run.start, run.length) != fssh::FSSH_OK)
        return fssh::FSSH_IO_ERROR;
    volume_->SuperBlock().used_block_count -= run.length;
    return fssh::FSSH_OK;
}

fssh::status_code BlockAllocator::VerifyBits(int64_t first, int64_t count, bool allocated,
    int64_t* first_wrong)
{
    if (first < 0 || count > volume_->NumBlocks() || first > volume_->NumBlocks() - count)
        return fssh::FSSH_INVALID_ARGUMENT;
    fssh::RecursiveLocker locker(&lock_);
    uint32_t bits_per_block = volume_->BlockSize() * 8;
    int32_t group = static_cast<int32_t>(first >> volume_->AllocationGroupShift());
    uint32_t index = static_cast<uint32_t>((first / bits_per_block) % bitmap_blocks_per_group_);
    uint32_t bit = static_cast<uint32_t>(first % bits_per_block);
    if (count <= 0 || index >= groups_[group].BitmapBlocks())
        return fssh::FSSH_OK;

    AllocationBlock block(volume_);
    while (count > 0 && group < group_count_) {
        if (block.SetTo(groups_[group], index) != fssh::FSSH_OK)
            return fssh::FSSH_IO_ERROR;
        for (; bit < bits_per_block && count > 0; bit++, count--) {
            bool used = bit >= block.NumBlockBits() || block.IsUsed(bit);
            if (used == allocated)
                continue;
            if (first_wrong != nullptr) {
                *first_wrong = (int64_t{group} << volume_->AllocationGroupShift())
                    + int64_t{index} * bits_per_block + bit;
            }
            return fssh::FSSH_CORRUPT_DATA;
        }
        bit = 0;
        if (++index >= groups_[group].BitmapBlocks()) {
            group++;
            index = 0;
        }
    }
    return fssh::FSSH_OK;
}

bool BlockAllocator::IsValidRun(block_run run) const
{
    return run.allocation_group >= 0 && run.allocation_group < group_count_ && run.length > 0
        && int32_t{run.start} + run.length <= groups_[run.allocation_group].Size();
}

fssh::status_code BlockAllocator::VerifyRun(block_run run, bool allocated)
{
    if (!IsValidRun(run))
        return fssh::FSSH_CORRUPT_DATA;
    return VerifyBits(volume_->RunToBlock(run), run.length, allocated, nullptr);
}

fssh::status_code BlockAllocator::Trim(uint64_t offset, uint64_t size, uint64_t* trimmed_size)
{
    uint64_t volume_size = static_cast<uint64_t>(volume_->NumBlocks()) * volume_->BlockSize();
    if (offset != 0 || size < volume_size) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf(
            "WFS Trim: Ranges smaller than the file system size are not supported yet.\n");
        return fssh::FSSH_UNSUPPORTED;
    }
    trim_request* request = static_cast<trim_request*>(calloc(1, sizeof(trim_request)));
    if (request == nullptr)
        return fssh::FSSH_NO_MEMORY;

    fssh::RecursiveLocker locker(&lock_);
    *trimmed_size = 0;
    uint32_t shift = volume_->BlockShift();
    auto send = [&]() -> fssh::status_code {
        request->trimmed_size = 0;
        size_t length = 16 + 16 * size_t{request->range_count};
        if (fssh::fssh_ioctl(volume_->Device(), fssh::IOCTL_TRIM_RANGES, request, length) != 0)
            return fssh::get_kernel_errno();
        *trimmed_size += request->trimmed_size;
        request->range_count = 0;
        return fssh::FSSH_OK;
    };
    auto add_range = [&](int64_t first, int64_t blocks) -> fssh::status_code {
        uint64_t range_offset = static_cast<uint64_t>(first) << shift;
        uint64_t range_size = static_cast<uint64_t>(blocks) << shift;
        if (range_offset >> shift != static_cast<uint64_t>(first)
            || range_size >> shift != static_cast<uint64_t>(blocks)) {
            fssh::debug_printf("wfs: ");
            fssh::debug_printf("BlockAllocator::Trim: Overflow detected!\n");
            return fssh::FSSH_ERROR;
        }
        request->ranges[request->range_count].offset = range_offset;
        request->ranges[request->range_count].size = range_size;
        if (++request->range_count == MAX_TRIM_RANGES)
            return send();
        return fssh::FSSH_OK;
    };

    fssh::status_code status = fssh::FSSH_OK;
    uint32_t bits_per_block = volume_->BlockSize() * 8;
    int64_t block_number = 0;
    int64_t free_start = -1;
    for (int32_t index = 0; index < group_count_ && status == fssh::FSSH_OK; index++) {
        AllocationGroup& group = groups_[index];
        AllocationBlock block(volume_);
        for (int32_t bit = 0; bit < group.Size() && status == fssh::FSSH_OK; bit++, block_number++) {
            uint32_t block_bit = static_cast<uint32_t>(bit) % bits_per_block;
            if (block_bit == 0 && block.SetTo(group, static_cast<uint32_t>(bit) / bits_per_block) != fssh::FSSH_OK) {
                status = fssh::FSSH_IO_ERROR;
                break;
            }
            bool used = block.IsUsed(block_bit);
            if (!used && free_start < 0) {
                free_start = block_number;
            } else if (used && free_start >= 0) {
                status = add_range(free_start, block_number - free_start);
                free_start = -1;
            }
        }
    }
    if (status == fssh::FSSH_OK && free_start >= 0)
        status = add_range(free_start, block_number - free_start);
    if (status == fssh::FSSH_OK && request->range_count > 0)
        status = send();
    locker.Unlock();
    free(request);
    return status;
}

}  // namespace wfs
