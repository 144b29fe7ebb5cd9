#include "wfs/journal.h"

#include "block_cache/block_cache.h"
#include "block_cache/cache_transaction.h"
#include "block_cache/cached_block_holder.h"
#include "kernel/clock.h"
#include "kernel/debug.h"
#include "kernel/host_file.h"
#include "wfs/run_array.h"
#include "wfs/transaction.h"
#include "wfs/volume.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace wfs {

namespace {

constexpr int32_t LOG_FLUSHER_PRIORITY = 10;

// A block of the transaction being logged, with the content to log.
struct LoggedBlock {
    int64_t number;
    const void* data;
};

}  // namespace

// The blocks of one log write, split into run arrays of at most capacity - 1
// runs each: the blocks of each array are sorted by number, which is the
// order of their runs.
struct Journal::RunArrays {
    RunArrays() = default;
    ~RunArrays()
    {
        delete[] blocks;
        free(arrays);
    }
    RunArrays(const RunArrays&) = delete;
    RunArrays& operator=(const RunArrays&) = delete;

    run_array* ArrayAt(int32_t index, uint32_t block_size) const
    {
        return reinterpret_cast<run_array*>(arrays + size_t{block_size} * index);
    }

    LoggedBlock* blocks = nullptr;
    int32_t block_count = 0;
    uint8_t* arrays = nullptr;
    int32_t array_count = 0;
    int32_t runs_per_array = 0;
};

Journal::Journal(Volume* volume)
    : volume_(volume),
      log_size_(volume->LogArea().length),
      max_transaction_size_(log_size_ / 2 - 5)
{
    fssh::recursive_lock_init(&lock_, "wfs journal");
    fssh::mutex_init(&entries_lock_, "wfs journal entries");
    flusher_semaphore_ = fssh::sem_create(0, "wfs log flusher");
    flusher_thread_ = fssh::thread_spawn(&Journal::LogFlusher, "wfs log flusher",
        LOG_FLUSHER_PRIORITY, this);
    if (flusher_thread_ > 0)
        fssh::thread_resume(flusher_thread_);
}

Journal::~Journal()
{
    FlushLog(true, true);
    fssh::recursive_lock_destroy(&lock_);
    fssh::mutex_destroy(&entries_lock_);
    fssh::semaphore_id semaphore = flusher_semaphore_;
    flusher_semaphore_ = -1;
    fssh::sem_delete(semaphore);
    fssh::status_code result;
    fssh::thread_wait(flusher_thread_, &result);
}

// What a log flusher thread would run: write the log whenever the block cache
// reports it idle. No thread can be made here, so it never runs.
fssh::status_code Journal::LogFlusher(void* data)
{
    Journal* journal = static_cast<Journal*>(data);
    while (fssh::sem_acquire(journal->flusher_semaphore_) == fssh::FSSH_OK)
        journal->FlushLog(false, false);
    return fssh::FSSH_OK;
}

uint32_t Journal::UsedLogBlocks()
{
    fssh::MutexLocker locker(&entries_lock_);
    return used_;
}

uint32_t Journal::LogBlocksFor(int32_t block_count) const
{
    if (block_count <= 0)
        return 0;
    // Arrays are filled up to one run below their capacity.
    uint32_t runs_per_array = static_cast<uint32_t>(run_array_capacity(volume_->BlockSize()) - 1);
    uint32_t blocks = static_cast<uint32_t>(block_count);
    return blocks + (blocks + runs_per_array - 1) / runs_per_array;
}

uint32_t Journal::LogPosition(int32_t position) const
{
    return static_cast<uint32_t>(position) % log_size_;
}

uint32_t Journal::FreeLogBlocks() const
{
    uint32_t start = LogPosition(volume_->LogStart());
    uint32_t end = LogPosition(volume_->LogEnd());
    return end >= start ? log_size_ + start - end : start - end;
}

fssh::status_code Journal::Lock(Transaction* transaction, bool separate_sub_transactions)
{
    fssh::status_code status = fssh::recursive_lock_lock(&lock_);
    if (status != fssh::FSSH_OK)
        return status;
    if (!separate_sub_transactions_ && fssh::recursive_lock_get_recursion(&lock_) > 1)
        return fssh::FSSH_OK;
    if (separate_sub_transactions)
        separate_sub_transactions_ = true;
    if (transaction == nullptr) {
        owner_ = nullptr;
        return fssh::FSSH_OK;
    }

    transaction->SetParent(owner_);
    owner_ = transaction;
    fssh::block_cache* cache = volume_->BlockCache();
    if (unwritten_transactions_ > 0) {
        fssh::cache_start_sub_transaction(cache, transaction_id_);
        has_sub_transaction_ = true;
    } else {
        transaction_id_ = fssh::cache_start_transaction(cache);
    }
    if (transaction_id_ < 0) {
        owner_ = transaction->Parent();
        fssh::recursive_lock_unlock(&lock_);
        return transaction_id_;
    }
    cache_transaction_open_ = true;
    fssh::cache_register_listener(cache, transaction_id_, fssh::CACHE_EVENT_IDLE,
        &Journal::TransactionIdle, this);
    return fssh::FSSH_OK;
}

// Would wake the log flusher; the block cache never raises the idle event.
void Journal::TransactionIdle(int32_t /*transaction_id*/, int32_t /*event*/, void* data)
{
    fssh::sem_release(static_cast<Journal*>(data)->flusher_semaphore_);
}

fssh::status_code Journal::Unlock(Transaction* transaction, bool success)
{
    int32_t recursion = fssh::recursive_lock_get_recursion(&lock_);
    if (separate_sub_transactions_ || recursion == 1) {
        if (transaction != nullptr) {
            fssh::status_code status = FinishTransaction(success);
            if (status != fssh::FSSH_OK)
                return status;
            // Observers that start transactions of their own get separate
            // sub-transactions.
            bool separate = separate_sub_transactions_;
            separate_sub_transactions_ = true;
            TransactionObserver* observer;
            while ((observer = transaction->Observers().RemoveHead()) != nullptr) {
                observer->OnTransactionDone(success);
                observer->OnRemovedFromTransaction();
            }
            separate_sub_transactions_ = separate;
            owner_ = transaction->Parent();
        } else {
            owner_ = nullptr;
        }
        timestamp_ = fssh::clock_usecs();
        if (separate_sub_transactions_ && recursion == 1)
            separate_sub_transactions_ = false;
    } else if (transaction != nullptr && owner_ != nullptr) {
        owner_->Observers().MoveFrom(&transaction->Observers());
    }
    fssh::recursive_lock_unlock(&lock_);
    return fssh::FSSH_OK;
}

fssh::status_code Journal::FinishTransaction(bool success)
{
    // A log write that failed after ending the cache transaction left it in
    // the log: there is nothing left to commit or to undo.
    if (!cache_transaction_open_)
        return fssh::FSSH_OK;
    if (!success) {
        AbortTransaction();
        return fssh::FSSH_OK;
    }

    fssh::block_cache* cache = volume_->BlockCache();
    uint32_t blocks = LogBlocksFor(fssh::cache_transaction_block_count(cache, transaction_id_));
    if (blocks >= max_transaction_size_)
        return WriteLogEntries();
    if (!HasLogSpaceFor(blocks))
        fssh::cache_write_back_transactions(cache, transaction_id_);
    unwritten_transactions_++;
    return fssh::FSSH_OK;
}

void Journal::AbortTransaction()
{
    fssh::block_cache* cache = volume_->BlockCache();
    if (has_sub_transaction_) {
        // Only the changes since this transaction started are undone; the
        // finished transactions before it stay. The blocks it brought into
        // the cache transaction stay there, unchanged: when that makes the
        // whole too large ever to be logged, the finished part is logged now
        // and the failed part goes as a transaction of its own. Once the
        // finished part is detached, even by a log write that then failed,
        // the failed part is undone as a whole.
        int32_t id = transaction_id_;
        uint32_t size = LogBlocksFor(fssh::cache_transaction_block_count(cache, transaction_id_));
        if (!FitsIntoLog(size))
            LogTransaction(true);
        if (transaction_id_ == id) {
            fssh::cache_abort_sub_transaction(cache, transaction_id_);
            has_sub_transaction_ = false;
            return;
        }
    }
    fssh::cache_abort_transaction(cache, transaction_id_);
    cache_transaction_open_ = false;
    unwritten_transactions_ = 0;
}

fssh::status_code Journal::CollectBlocks(bool main_only, RunArrays* arrays)
{
    fssh::block_cache* cache = volume_->BlockCache();
    int32_t count = main_only ? fssh::cache_transaction_main_count(cache, transaction_id_)
                              : fssh::cache_transaction_block_count(cache, transaction_id_);
    if (count <= 0)
        return fssh::FSSH_OK;
    arrays->blocks = new (std::nothrow) LoggedBlock[count];
    if (arrays->blocks == nullptr)
        return fssh::FSSH_NO_MEMORY;

    // The content logged for a block is the one the logged part of the
    // transaction gave it: when only the main part is logged, its version.
    fssh::cached_block* cookie = nullptr;
    int64_t number;
    const void* data;
    while (arrays->block_count < count
        && fssh::cache_transaction_next_block(cache, transaction_id_, main_only, &cookie, &number,
               &data, nullptr)
            == fssh::FSSH_OK) {
        arrays->blocks[arrays->block_count++] = LoggedBlock{number, data};
    }
    if (arrays->block_count == 0)
        return fssh::FSSH_OK;

    uint32_t block_size = volume_->BlockSize();
    int32_t capacity = run_array_capacity(block_size);
    arrays->runs_per_array = capacity - 1;
    arrays->array_count = (arrays->block_count + arrays->runs_per_array - 1) / arrays->runs_per_array;
    arrays->arrays = static_cast<uint8_t*>(calloc(arrays->array_count, block_size));
    if (arrays->arrays == nullptr)
        return fssh::FSSH_NO_MEMORY;
    for (int32_t index = 0; index < arrays->array_count; index++) {
        LoggedBlock* first = arrays->blocks + index * arrays->runs_per_array;
        int32_t runs = std::min(arrays->runs_per_array,
            arrays->block_count - index * arrays->runs_per_array);
        std::sort(first, first + runs,
            [](const LoggedBlock& a, const LoggedBlock& b) { return a.number < b.number; });
        run_array* array = arrays->ArrayAt(index, block_size);
        array->array_max = capacity;
        array->run_count = runs;
        for (int32_t run = 0; run < runs; run++)
            array->Runs()[run] = volume_->BlockToRun(first[run].number);
    }
    return fssh::FSSH_OK;
}

void Journal::WriteLogVectors(uint32_t position, const iovec* vectors, int32_t count,
    bool wrapping)
{
    int64_t log_start_block = volume_->RunToBlock(volume_->LogArea());
    off_t offset = (log_start_block + position) << volume_->BlockShift();
    if (fssh::fssh_pwritev(volume_->Device(), offset, vectors, count) >= 0)
        return;
    fssh::debug_printf("wfs: ");
    if (wrapping)
        fssh::debug_printf("could not write log area!\n");
    else
        fssh::debug_printf("could not write log area: %s!\n", strerror(errno));
}

uint32_t Journal::WriteRunArray(const RunArrays& arrays, int32_t index, uint32_t position)
{
    uint32_t block_size = volume_->BlockSize();
    const LoggedBlock* blocks = arrays.blocks + index * arrays.runs_per_array;
    const run_array* array = arrays.ArrayAt(index, block_size);

    // The array block and its blocks, gathered into as few vectors as their
    // memory allows; a write is issued where the log area wraps around.
    iovec vectors[MAX_RUN_ARRAY_CAPACITY + 1];
    const int32_t vector_capacity = array->run_count + 1;
    vectors[0] = iovec{const_cast<run_array*>(array), block_size};
    int32_t vector_count = 1;
    uint32_t count = 1;
    uint32_t wrap = log_size_ - position;
    uint32_t last_position = position;
    for (int32_t run = 0; run < array->run_count; run++) {
        if (count >= wrap) {
            WriteLogVectors(position, vectors, vector_count, true);
            last_position = position + count;
            position = 0;
            wrap = log_size_;
            count = 0;
            vector_count = 0;
        }
        uint8_t* data = static_cast<uint8_t*>(const_cast<void*>(blocks[run].data));
        iovec* last = vector_count > 0 ? &vectors[vector_count - 1] : nullptr;
        if (last != nullptr && static_cast<uint8_t*>(last->iov_base) + last->iov_len == data) {
            last->iov_len += block_size;
        } else {
            if (vector_count >= vector_capacity)
                fssh::panic("no more space for iovecs!");
            vectors[vector_count++] = iovec{data, block_size};
        }
        count++;
    }
    if (count > 0) {
        WriteLogVectors(position, vectors, vector_count, false);
        last_position = position + count;
    }
    return last_position;
}

fssh::status_code Journal::WriteLogEntries()
{
    fssh::block_cache* cache = volume_->BlockCache();
    uint32_t size = LogBlocksFor(fssh::cache_transaction_block_count(cache, transaction_id_));
    bool detach = false;
    if (!FitsIntoLog(size)) {
        // Only the main part can go now.
        if (!has_sub_transaction_
            || !FitsIntoLog(LogBlocksFor(fssh::cache_transaction_main_count(cache, transaction_id_)))) {
            ReportTooLarge(size);
            return fssh::FSSH_EOVERFLOW;
        }
        detach = true;
    }
    fssh::status_code status = LogTransaction(detach);
    if (status != fssh::FSSH_OK || !detach)
        return status;
    // What remains must fit into the log on its own.
    size = LogBlocksFor(fssh::cache_transaction_block_count(cache, transaction_id_));
    if (!FitsIntoLog(size)) {
        ReportTooLarge(size);
        return fssh::FSSH_EOVERFLOW;
    }
    return fssh::FSSH_OK;
}

void Journal::ReportTooLarge(uint32_t size) const
{
    fssh::debug_printf("transaction too large (%d blocks, log size %d)!\n", static_cast<int>(size),
        static_cast<int>(log_size_));
}

fssh::status_code Journal::LogTransaction(bool detach)
{
    fssh::block_cache* cache = volume_->BlockCache();
    has_sub_transaction_ = false;

    RunArrays arrays;
    fssh::status_code status = CollectBlocks(detach, &arrays);
    if (status != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("filling log entry failed!");
        return status;
    }
    if (arrays.block_count == 0)
        return EndCacheTransaction(detach, nullptr);

    uint32_t total = static_cast<uint32_t>(arrays.block_count + arrays.array_count);
    if (!HasLogSpaceFor(total)) {
        fssh::cache_write_back_transactions(cache, transaction_id_);
        if (!HasLogSpaceFor(total)) {
            fssh::panic("no space in log after sync (%ld for %ld blocks)!",
                static_cast<long>(FreeLogBlocks()), static_cast<long>(total));
        }
    }

    uint32_t entry_start = static_cast<uint32_t>(volume_->LogEnd());
    uint32_t position = LogPosition(volume_->LogEnd());
    uint32_t last_position = position;
    for (int32_t index = 0; index < arrays.array_count; index++) {
        last_position = WriteRunArray(arrays, index, position);
        position = last_position % log_size_;
    }

    LogEntry* entry = new (std::nothrow) LogEntry(this, entry_start, total);
    if (entry == nullptr) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("no memory to allocate log entries!");
        return fssh::FSSH_NO_MEMORY;
    }

    disk_super_block& super_block = volume_->SuperBlock();
    super_block.flags = VOLUME_DIRTY;
    super_block.log_end = last_position;
    status = volume_->StoreSuperBlock();
    volume_->SetLogEnd(static_cast<int32_t>(last_position));
    // The flush is the barrier between the log and the home blocks; a device
    // that cannot keep it is reported like a failed superblock write.
    if (fssh::fssh_ioctl(volume_->Device(), fssh::IOCTL_FLUSH_WRITE_CACHE, nullptr, 0) != 0
        && status == fssh::FSSH_OK) {
        status = fssh::get_kernel_errno();
    }

    {
        fssh::MutexLocker locker(&entries_lock_);
        entries_.Add(entry);
        used_ += entry->length;
    }

    fssh::status_code end_status = EndCacheTransaction(detach, entry);
    return status != fssh::FSSH_OK ? status : end_status;
}

fssh::status_code Journal::EndCacheTransaction(bool detach, LogEntry* entry)
{
    fssh::block_cache* cache = volume_->BlockCache();
    fssh::transaction_notification_hook hook
        = entry != nullptr ? &Journal::TransactionWritten : nullptr;
    if (detach) {
        int32_t id = fssh::cache_detach_sub_transaction(cache, transaction_id_, hook, entry);
        if (id < 0)
            return id;
        transaction_id_ = id;
        unwritten_transactions_ = 1;
        return fssh::FSSH_OK;
    }
    fssh::status_code status = fssh::cache_end_transaction(cache, transaction_id_, hook, entry);
    if (status == fssh::FSSH_OK)
        cache_transaction_open_ = false;
    unwritten_transactions_ = 0;
    return status;
}

void Journal::TransactionWritten(int32_t /*transaction_id*/, int32_t /*event*/, void* data)
{
    LogEntry* entry = static_cast<LogEntry*>(data);
    Journal* journal = entry->journal;
    Volume* volume = journal->volume_;
    disk_super_block& super_block = volume->SuperBlock();

    bool was_oldest;
    {
        fssh::MutexLocker locker(&journal->entries_lock_);
        was_oldest = entry == journal->entries_.First();
        if (was_oldest) {
            LogEntry* next = DoublyLinkedList<LogEntry>::Next(entry);
            if (next != nullptr)
                super_block.log_start = next->start % journal->log_size_;
            else
                super_block.log_start = volume->LogEnd();
        }
        journal->used_ -= entry->length;
        journal->entries_.Remove(entry);
    }
    delete entry;
    if (!was_oldest)
        return;

    if (super_block.log_start == super_block.log_end)
        super_block.flags = VOLUME_CLEAN;
    fssh::status_code status = volume->StoreSuperBlock();
    if (status != fssh::FSSH_OK) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("_TransactionWritten: could not write back superblock: %s\n",
            fssh::status_text(status));
    }
    volume->SetLogStart(static_cast<int32_t>(super_block.log_start));
}

fssh::status_code Journal::FlushLog(bool wait, bool flush_blocks)
{
    fssh::status_code status = wait ? fssh::recursive_lock_lock(&lock_)
                                    : fssh::recursive_lock_trylock(&lock_);
    if (status != fssh::FSSH_OK)
        return status;
    // Inside a transaction nothing can be written yet.
    if (fssh::recursive_lock_get_recursion(&lock_) == 1) {
        if (unwritten_transactions_ != 0) {
            status = WriteLogEntries();
            if (status != fssh::FSSH_OK) {
                fssh::debug_printf("wfs: ");
                fssh::debug_printf("writing current log entry failed: %s\n",
                    fssh::status_text(status));
            }
        }
        if (flush_blocks)
            status = fssh::block_cache_sync(volume_->BlockCache());
    }
    fssh::recursive_lock_unlock(&lock_);
    return status;
}

// Log replay.

fssh::status_code Journal::ReplayJournal()
{
    if (volume_->LogStart() == volume_->LogEnd())
        return fssh::FSSH_OK;

    fssh::debug_printf("wfs: ");
    fssh::debug_printf("Replay log, disk was not correctly unmounted...\n");
    disk_super_block& super_block = volume_->SuperBlock();
    if (super_block.flags != VOLUME_DIRTY) {
        fssh::debug_printf("wfs: ");
        fssh::debug_printf(
            "log_start and log_end differ, but disk is marked clean - trying to replay log...\n");
    }
    if (volume_->IsReadOnly())
        return fssh::FSSH_READ_ONLY_FILE_SYSTEM;

    // The whole log is checked before any home block is written, so that a
    // log that is broken anywhere leaves the volume as it was.
    fssh::status_code status = ReplayLog(false);
    if (status == fssh::FSSH_OK)
        status = ReplayLog(true);
    if (status != fssh::FSSH_OK)
        return fssh::FSSH_ERROR;

    super_block.log_start = volume_->LogEnd();
    volume_->SetLogStart(volume_->LogEnd());
    super_block.flags = VOLUME_CLEAN;
    return volume_->StoreSuperBlock();
}

fssh::status_code Journal::ReplayLog(bool write_home_blocks)
{
    uint32_t position = LogPosition(volume_->LogStart());
    uint32_t end = LogPosition(volume_->LogEnd());
    // Log blocks between the log start and the log end; equal positions with
    // different values mean a full log.
    uint32_t pending = end > position ? end - position : log_size_ - position + end;
    while (pending > 0) {
        uint32_t length;
        fssh::status_code status = write_home_blocks ? ReplayEntry(position, &length)
                                                     : CheckLogEntry(position, pending, &length);
        if (status != fssh::FSSH_OK) {
            fssh::debug_printf("wfs: ");
            fssh::debug_printf("replaying log entry from %d failed: %s\n",
                static_cast<int>(position), fssh::status_text(status));
            return status;
        }
        pending -= length;
        position = (position + length) % log_size_;
    }
    return fssh::FSSH_OK;
}

int64_t Journal::LogBlock(uint32_t position) const
{
    return volume_->RunToBlock(volume_->LogArea()) + position % log_size_;
}

fssh::status_code Journal::CheckRunArray(const run_array* array)
{
    int32_t capacity = run_array_capacity(volume_->BlockSize());
    if (!array->HasValidHeader(volume_->BlockSize())) {
        fssh::debug_printf("run count: %d, array max: %d, max runs: %d\n",
            static_cast<int>(array->run_count), static_cast<int>(array->array_max - 1),
            static_cast<int>(capacity - 1));
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("Log entry has broken header!\n");
        return fssh::FSSH_ERROR;
    }
    for (int32_t index = 0; index < array->run_count; index++) {
        if (volume_->CheckLoggedRun(array->RunAt(index)) != fssh::FSSH_OK)
            return fssh::FSSH_ERROR;
    }
    return fssh::FSSH_OK;
}

fssh::status_code Journal::CheckLogEntry(uint32_t position, uint32_t pending, uint32_t* length)
{
    fssh::block_cache* cache = volume_->BlockCache();
    fssh::CachedBlockHolder array_block(cache);
    if (array_block.SetTo(LogBlock(position)) != fssh::FSSH_OK)
        return fssh::FSSH_IO_ERROR;
    const run_array* array = reinterpret_cast<const run_array*>(array_block.Data());
    if (CheckRunArray(array) != fssh::FSSH_OK)
        return fssh::FSSH_CORRUPT_DATA;

    // The entry must end before the log end: blocks past it are stale.
    int64_t entry_length = 1 + array->BlockCount();
    if (entry_length > pending)
        return fssh::FSSH_CORRUPT_DATA;

    uint32_t log_position = position + 1;
    for (int32_t index = 0; index < array->run_count; index++) {
        const block_run& run = array->RunAt(index);
        for (int32_t i = 0; i < run.length; i++, log_position++) {
            fssh::CachedBlockHolder logged(cache);
            if (logged.SetTo(LogBlock(log_position)) != fssh::FSSH_OK)
                return fssh::FSSH_IO_ERROR;
            off_t offset;
            if (volume_->RunToBlock(run) + i == 0
                && Volume::CheckSuperBlock(logged.Data(), &offset) != fssh::FSSH_OK) {
                fssh::debug_printf("wfs: ");
                fssh::debug_printf("Log contains invalid superblock!\n");
                return fssh::FSSH_CORRUPT_DATA;
            }
        }
    }
    *length = static_cast<uint32_t>(entry_length);
    return fssh::FSSH_OK;
}

fssh::status_code Journal::ReplayEntry(uint32_t position, uint32_t* length)
{
    fssh::block_cache* cache = volume_->BlockCache();
    fssh::CachedBlockHolder array_block(cache);
    if (array_block.SetTo(LogBlock(position)) != fssh::FSSH_OK)
        return fssh::FSSH_IO_ERROR;
    const run_array* array = reinterpret_cast<const run_array*>(array_block.Data());

    uint32_t block_size = volume_->BlockSize();
    uint32_t log_position = position + 1;
    for (int32_t index = 0; index < array->run_count; index++) {
        const block_run& run = array->RunAt(index);
        fssh::debug_printf("wfs: ");
        fssh::debug_printf("replay block run %u:%u:%u in log at %ld!\n",
            static_cast<unsigned>(run.allocation_group), static_cast<unsigned>(run.start),
            static_cast<unsigned>(run.length), static_cast<long>(log_position % log_size_));
        int64_t home = volume_->RunToBlock(run);
        for (int32_t i = 0; i < run.length; i++, log_position++) {
            fssh::CachedBlockHolder logged(cache);
            if (logged.SetTo(LogBlock(log_position)) != fssh::FSSH_OK)
                return fssh::FSSH_IO_ERROR;
            ssize_t written = fssh::fssh_pwrite(volume_->Device(),
                (home + i) << volume_->BlockShift(), logged.Data(), block_size);
            if (written != static_cast<ssize_t>(block_size))
                return fssh::FSSH_IO_ERROR;
        }
    }
    *length = static_cast<uint32_t>(1 + array->BlockCount());
    return fssh::FSSH_OK;
}

}  // namespace wfs
