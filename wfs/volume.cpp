#include "wfs/volume.h"

#include "kernel/debug.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "wfs/device_opener.h"
#include "wfs/journal.h"
#include "wfs/transaction.h"

#include <cstring>
#include <new>

namespace wfs {

Volume::Volume(fssh::fs_volume* fs_volume) : fs_volume_(fs_volume), allocator_(this)
{
    memset(&super_block_, 0, sizeof(super_block_));
    fssh::mutex_init(&lock_, "wfs volume");
    fssh::mutex_init(&query_lock_, "wfs queries");
}

Volume::~Volume()
{
    fssh::mutex_destroy(&query_lock_);
    fssh::mutex_destroy(&lock_);
}

fssh::status_code Volume::CheckSuperBlock(const uint8_t* data, off_t* offset)
{
    return check_super_block(data, offset);
}

fssh::status_code Volume::Probe(int device, disk_super_block* super_block)
{
    uint8_t buffer[SUPER_BLOCK_AREA_SIZE];
    if (fssh::fssh_pread(device, 0, buffer, sizeof(buffer)) != static_cast<ssize_t>(sizeof(buffer)))
        return fssh::FSSH_IO_ERROR;
    off_t offset;
    if (CheckSuperBlock(buffer, &offset) != fssh::FSSH_OK)
        return fssh::FSSH_INVALID_ARGUMENT;
    memcpy(super_block, buffer + offset, sizeof(*super_block));
    return fssh::FSSH_OK;
}

fssh::status_code Volume::ReadSuperBlock(int device)
{
    uint8_t buffer[SUPER_BLOCK_AREA_SIZE];
    off_t offset;
    if (fssh::fssh_pread(device, 0, buffer, sizeof(buffer)) != static_cast<ssize_t>(sizeof(buffer))
        || CheckSuperBlock(buffer, &offset) != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("invalid superblock!\n");
        return fssh::FSSH_INVALID_ARGUMENT;
    }
    memcpy(&super_block_, buffer + offset, sizeof(super_block_));
    block_size_ = super_block_.block_size;
    block_shift_ = super_block_.block_shift;
    group_shift_ = static_cast<uint32_t>(super_block_.group_shift);
    return fssh::FSSH_OK;
}

fssh::status_code Volume::Mount(const char* device_path, uint32_t flags)
{
    uint32_t mode = (flags & MOUNT_READ_ONLY) != 0 ? fssh::FSSH_O_RDONLY : fssh::FSSH_O_RDWR;
    DeviceOpener opener(device_path, mode);
    device_ = opener.Device();
    if (device_ < 0)
        return device_;
    if (opener.IsReadOnly())
        flags_ |= VOLUME_READ_ONLY;

    fssh::status_code status = ReadSuperBlock(device_);
    if (status != fssh::FSSH_OK)
        return status;

    fssh::off_t device_size;
    if (opener.GetSize(&device_size, &device_block_size_) != fssh::FSSH_OK)
        return fssh::FSSH_ERROR;
    int64_t volume_size = NumBlocks() << block_shift_;
    if (device_size < volume_size) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("Disk size (%ld bytes) < file system size (%ld bytes)!\n",
            static_cast<long>(device_size), static_cast<long>(volume_size));
        return fssh::FSSH_INVALID_ARGUMENT;
    }

    log_start_ = static_cast<int32_t>(super_block_.log_start);
    log_end_ = static_cast<int32_t>(super_block_.log_end);

    block_cache_ = opener.InitCache(NumBlocks(), block_size_);
    if (block_cache_ == nullptr)
        return fssh::FSSH_ERROR;

    journal_ = new (std::nothrow) Journal(this);
    if (journal_ == nullptr)
        return FailMount(fssh::FSSH_NO_MEMORY);
    status = journal_->InitCheck();
    if (status != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("could not initialize journal: %s!\n", fssh::status_text(status));
        return FailMount(status);
    }

    if (journal_->ReplayJournal() != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("Replaying log failed, data may be corrupted, volume read-only.\n");
        flags_ |= VOLUME_READ_ONLY;
    }

    status = allocator_.Initialize(true);
    if (status != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("could not initialize block bitmap allocator!\n");
        return FailMount(status);
    }

    status = LoadRootNodes();
    if (status != fssh::FSSH_OK)
        return FailMount(status);

    opener.Keep();
    return fssh::FSSH_OK;
}

// Undoes what a failed mount or format made besides the device and the block
// cache, which the device opener closes and deletes: the journal is flushed
// and deleted while the cache still exists.
fssh::status_code Volume::FailMount(fssh::status_code status)
{
    delete journal_;
    journal_ = nullptr;
    block_cache_ = nullptr;
    device_ = -1;
    return status;
}

// The mount steps that bring up the root directory and the index root: their
// inodes must name blocks of the volume behind the reserved area.
fssh::status_code Volume::LoadRootNodes()
{
    if (!IsInodeBlockOnVolume(RunToBlock(Root()))) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("could not create root node!\n");
        allocator_.Shutdown();
        return fssh::FSSH_INVALID_ARGUMENT;
    }
    bool has_index_root = !Indices().IsEmpty();
    if (!has_index_root || !IsInodeBlockOnVolume(RunToBlock(Indices()))) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("wfs: volume doesn't have indices!\n");
        if (has_index_root)
            flags_ |= VOLUME_READ_ONLY;
    }
    return fssh::FSSH_OK;
}

bool Volume::IsInodeBlockOnVolume(int64_t block) const
{
    return block >= RunToBlock(LogArea()) + LogArea().length && block < NumBlocks();
}

fssh::status_code Volume::Unmount()
{
    allocator_.Shutdown();
    delete journal_;
    journal_ = nullptr;
    fssh::block_cache_delete(block_cache_, !IsReadOnly());
    block_cache_ = nullptr;
    fssh::fssh_close(device_);
    device_ = -1;
    return fssh::FSSH_OK;
}

fssh::status_code Volume::Format(int device, const char* name, uint32_t block_size,
    uint32_t flags)
{
    if (strchr(name, '/') != nullptr)
        return fssh::FSSH_INVALID_ARGUMENT;
    if (block_size != 1024 && block_size != 2048 && block_size != 4096 && block_size != 8192)
        return fssh::FSSH_INVALID_ARGUMENT;

    DeviceOpener opener(device, fssh::FSSH_O_RDWR);
    if (opener.Device() < 0)
        return fssh::FSSH_INVALID_ARGUMENT;
    if (opener.IsReadOnly())
        return fssh::FSSH_READ_ONLY_FILE_SYSTEM;
    device_ = opener.Device();

    fssh::off_t device_size;
    if (opener.GetSize(&device_size, &device_block_size_) != fssh::FSSH_OK)
        return fssh::FSSH_ERROR;
    initialize_super_block(&super_block_, name, block_size, device_size);
    block_size_ = super_block_.block_size;
    block_shift_ = super_block_.block_shift;
    group_shift_ = static_cast<uint32_t>(super_block_.group_shift);
    log_start_ = static_cast<int32_t>(super_block_.log_start);
    log_end_ = static_cast<int32_t>(super_block_.log_end);
    if (!super_block_is_sound(super_block_))
        return fssh::FSSH_ERROR;

    block_cache_ = opener.InitCache(NumBlocks(), block_size_);
    if (block_cache_ == nullptr)
        return fssh::FSSH_ERROR;
    journal_ = new (std::nothrow) Journal(this);
    if (journal_ == nullptr || journal_->InitCheck() != fssh::FSSH_OK)
        return FailMount(fssh::FSSH_ERROR);

    fssh::status_code status = WriteNewVolume(flags);
    if (status != fssh::FSSH_OK)
        return FailMount(status);
    journal_->FlushAll();
    delete journal_;
    journal_ = nullptr;
    opener.RemoveCache(true);
    block_cache_ = nullptr;
    device_ = -1;
    return fssh::FSSH_OK;
}

// The part of Format that changes the volume inside one transaction, which an
// early return aborts.
fssh::status_code Volume::WriteNewVolume(uint32_t flags)
{
    Transaction transaction;
    fssh::status_code status = transaction.Start(this, 0);
    if (status != fssh::FSSH_OK)
        return status;
    if (allocator_.FormatBitmap(transaction) != fssh::FSSH_OK)
        return fssh::FSSH_ERROR;
    status = CreateRootDirectory(transaction, flags);
    if (status != fssh::FSSH_OK)
        return status;

    // The boot area and the bytes after the superblock are zero on a new
    // volume.
    uint8_t zeros[SUPER_BLOCK_SIZE] = {};
    if (fssh::fssh_pwrite(device_, 0, zeros, sizeof(zeros)) != static_cast<ssize_t>(sizeof(zeros))
        || fssh::fssh_pwrite(device_, SUPER_BLOCK_AREA_SIZE, zeros, sizeof(zeros))
            != static_cast<ssize_t>(sizeof(zeros))) {
        return fssh::FSSH_IO_ERROR;
    }
    status = StoreSuperBlock();
    if (status != fssh::FSSH_OK)
        return status;
    return transaction.Done();
}

// Where a new volume gets its root directory, its default indices (unless
// FORMAT_NO_INDICES) and its volume id. Those are inodes, trees and
// attributes, which the inode layer creates; without it the volume is written
// with an empty root_inode.
fssh::status_code Volume::CreateRootDirectory(Transaction& /*transaction*/, uint32_t /*flags*/)
{
    return fssh::FSSH_OK;
}

fssh::status_code Volume::Sync()
{
    return journal_->FlushAll();
}

void Volume::MarkCorrupt()
{
    fssh::debug_printf("wfs: ");
    fssh::debug_printf("Disk corrupted... switch to read-only mode!\n");
    flags_ |= VOLUME_READ_ONLY;
}

void Volume::ReportInvalidRun(block_run run)
{
    MarkCorrupt();
    fssh::debug_printf("wfs: ");
    fssh::debug_printf("*** invalid run(%d,%d,%d)\n", static_cast<int>(run.allocation_group),
        static_cast<int>(run.start), static_cast<int>(run.length));
}

fssh::status_code Volume::CheckRun(block_run run)
{
    int64_t group_size = int64_t{1} << group_shift_;
    if (run.allocation_group < 0 || run.allocation_group > AllocationGroups()
        || run.start > group_size || run.length == 0 || run.start + run.length > group_size) {
        ReportInvalidRun(run);
        return fssh::FSSH_CORRUPT_DATA;
    }
    return fssh::FSSH_OK;
}

fssh::status_code Volume::CheckLoggedRun(block_run run)
{
    fssh::status_code status = CheckRun(run);
    if (status != fssh::FSSH_OK)
        return status;
    int64_t first = RunToBlock(run);
    int64_t end = first + run.length;
    int64_t log_first = RunToBlock(LogArea());
    int64_t log_end = log_first + LogArea().length;
    if (first < 0 || end > NumBlocks() || (first < log_end && end > log_first)) {
        ReportInvalidRun(run);
        return fssh::FSSH_CORRUPT_DATA;
    }
    return fssh::FSSH_OK;
}

fssh::status_code Volume::StoreSuperBlock()
{
    ssize_t written = fssh::fssh_pwrite(device_, SUPER_BLOCK_OFFSET, &super_block_,
        sizeof(super_block_));
    return written == static_cast<ssize_t>(sizeof(super_block_)) ? fssh::FSSH_OK
                                                                : fssh::FSSH_IO_ERROR;
}

bool Volume::IsInodeBlockInRange(int64_t block) const
{
    return block > super_block_.log_end && block < NumBlocks();
}

}  // namespace wfs
