#pragma once

// One mounted wfs volume: it owns the device descriptor, the in-memory copy of
// the superblock, the block cache, the journal, the block allocator, the root
// and index root inodes, the list of open live queries and the list of removed
// inodes still in use. It mounts a volume (superblock check, log replay,
// bitmap scan, root directory), validates block runs, and switches itself to
// read-only when it meets corrupt data.

#include "block_cache/block_cache.h"
#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "kernel/thread.h"
#include "vfs/fs_interface.h"
#include "wfs/block_allocator.h"
#include "wfs/block_run.h"
#include "wfs/doubly_linked_list.h"
#include "wfs/super_block.h"
#include "wfs/transaction_observer.h"

#include <cstdint>

namespace wfs {

class CheckVisitor;
class Inode;
class Journal;
class Query;
class Transaction;

// Mount flags.
constexpr uint32_t MOUNT_READ_ONLY = 0x1;

// Format flags.
constexpr uint32_t FORMAT_NO_INDICES = 0x1;

class Volume {
public:
    explicit Volume(fssh::fs_volume* fs_volume);
    ~Volume();
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // Opens the device (read-only when MOUNT_READ_ONLY is set or the device
    // refuses writing), checks the superblock, replays the log (a failed
    // replay leaves the volume read-only), scans the block bitmap and loads
    // the root directory. On failure nothing stays open.
    fssh::status_code Mount(const char* device_path, uint32_t flags);

    // Releases the root directory, flushes the log and every changed block,
    // and closes the device. Always FSSH_OK.
    fssh::status_code Unmount();

    // Writes the unlogged transactions to the log and every changed block to
    // the device.
    fssh::status_code Sync();

    // Writes a new volume named `name` with blocks of `block_size` bytes over
    // the whole open device `device` (which stays open). FSSH_INVALID_ARGUMENT
    // for a name with '/' or an unsupported block size, before the device is
    // touched.
    fssh::status_code Format(int device, const char* name, uint32_t block_size, uint32_t flags);

    // Reads the first 1024 bytes of `device` and copies out the superblock
    // when it passes the check. FSSH_IO_ERROR for a short read,
    // FSSH_INVALID_ARGUMENT for a superblock that fails the check.
    static fssh::status_code Probe(int device, disk_super_block* super_block);

    // The superblock check on the first 1024 bytes of a device (or a logged
    // copy of block 0); on success *offset is 512.
    static fssh::status_code CheckSuperBlock(const uint8_t* data, off_t* offset);

    // Reports corrupt data and makes the volume read-only.
    void MarkCorrupt();

    // FSSH_OK when `run` lies inside a group of the volume; otherwise marks
    // the volume corrupt, reports the run and gives FSSH_CORRUPT_DATA.
    fssh::status_code CheckRun(block_run run);

    // Writes the in-memory superblock to device offset 512.
    fssh::status_code StoreSuperBlock();

    bool IsReadOnly() const { return (flags_ & VOLUME_READ_ONLY) != 0; }

    // Whether `block` lies after the log end position and on the volume; used
    // by the B+tree validation.
    bool IsInodeBlockInRange(int64_t block) const;

    // CheckRun for a run named in the log: it must also lie on the volume and
    // outside the log area (block 0 and the bitmap may be named).
    fssh::status_code CheckLoggedRun(block_run run);

    // The "wfs volume" lock, held around whole-volume operations.
    void Lock() { fssh::mutex_lock(&lock_); }
    void Unlock() { fssh::mutex_unlock(&lock_); }

    int64_t RunToBlock(block_run run) const { return run_to_block(run, group_shift_); }
    block_run BlockToRun(int64_t block) const { return block_to_run(block, group_shift_); }
    fssh::ino_t ToVnodeID(block_run run) const { return RunToBlock(run); }

    fssh::fs_volume* FSVolume() const { return fs_volume_; }
    // The kernel's id of the mount, -1 without a kernel record.
    fssh::dev_t ID() const { return fs_volume_ != nullptr ? fs_volume_->id : -1; }
    int Device() const { return device_; }
    disk_super_block& SuperBlock() { return super_block_; }
    const disk_super_block& SuperBlock() const { return super_block_; }
    uint32_t DeviceBlockSize() const { return device_block_size_; }
    uint32_t BlockSize() const { return block_size_; }
    uint32_t BlockShift() const { return block_shift_; }
    uint32_t AllocationGroupShift() const { return group_shift_; }
    int32_t AllocationGroups() const { return super_block_.group_count; }
    int64_t NumBlocks() const { return super_block_.block_count; }
    int64_t UsedBlocks() const { return super_block_.used_block_count; }
    int64_t FreeBlocks() const { return NumBlocks() - UsedBlocks(); }
    uint32_t InodeSize() const { return static_cast<uint32_t>(super_block_.inode_size); }
    block_run LogArea() const { return super_block_.log_area; }
    block_run Root() const { return super_block_.root_inode; }
    block_run Indices() const { return super_block_.index_root; }
    const char* Name() const { return super_block_.volume_name; }

    BlockAllocator& Allocator() { return allocator_; }
    Journal* GetJournal() const { return journal_; }
    fssh::block_cache* BlockCache() const { return block_cache_; }

    // Journal positions of the oldest entry still in the log and of the next
    // entry (low 32 bits of the superblock's log start and log end).
    int32_t LogStart() const { return log_start_; }
    int32_t LogEnd() const { return log_end_; }
    void SetLogStart(int32_t start) { log_start_ = start; }
    void SetLogEnd(int32_t end) { log_end_ = end; }

    Inode* RootNode() const { return root_node_; }
    Inode* IndicesNode() const { return indices_node_; }
    void SetIndicesNode(Inode* node) { indices_node_ = node; }

    // Every attribute change is reported to the live queries.
    bool HasLiveQueryFor(const char* /*attribute*/) const { return true; }

    // Guards the list of open live queries.
    fssh::mutex& QueryLock() { return query_lock_; }
    DoublyLinkedList<Query>& Queries() { return queries_; }

    // Inodes with FLAG_DELETED that are still referenced and not in a
    // transaction.
    TransactionObserverList& RemovedInodes() { return removed_inodes_; }

    // The thread running a check (-1 when none) and the active checker.
    fssh::thread_id CheckThread() const { return check_thread_; }
    void SetCheckThread(fssh::thread_id thread) { check_thread_ = thread; }
    CheckVisitor* GetCheckVisitor() const { return check_visitor_; }
    void SetCheckVisitor(CheckVisitor* visitor) { check_visitor_ = visitor; }

private:
    static constexpr uint32_t VOLUME_READ_ONLY = 0x1;

    fssh::status_code ReadSuperBlock(int device);
    fssh::status_code LoadRootNodes();
    fssh::status_code WriteNewVolume(uint32_t flags);
    fssh::status_code CreateRootDirectory(Transaction& transaction, uint32_t flags);
    fssh::status_code FailMount(fssh::status_code status);
    bool IsInodeBlockOnVolume(int64_t block) const;
    void ReportInvalidRun(block_run run);

    fssh::fs_volume* fs_volume_;
    int device_ = -1;
    disk_super_block super_block_;
    uint32_t device_block_size_ = 512;
    uint32_t block_size_ = 0;
    uint32_t block_shift_ = 0;
    uint32_t group_shift_ = 0;
    BlockAllocator allocator_;
    fssh::mutex lock_;
    Journal* journal_ = nullptr;
    int32_t log_start_ = 0;
    int32_t log_end_ = 0;
    Inode* root_node_ = nullptr;
    Inode* indices_node_ = nullptr;
    fssh::mutex query_lock_;
    DoublyLinkedList<Query> queries_;
    uint32_t flags_ = 0;
    fssh::block_cache* block_cache_ = nullptr;
    fssh::thread_id check_thread_ = fssh::NO_THREAD;
    CheckVisitor* check_visitor_ = nullptr;
    TransactionObserverList removed_inodes_;
};

}  // namespace wfs
