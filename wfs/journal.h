#pragma once

// The journal turns the block cache's transactions into a write-ahead log:
// before the changed blocks of a transaction may reach their home locations,
// their contents are written with run arrays naming them into the log area,
// and the superblock's log end advances. When the block cache reports all
// blocks of a logged transaction on the device, the entry is retired and the
// log start follows. Small transactions are merged into one block cache
// transaction (as sub-transactions) and logged together. At mount, the
// entries between log start and log end are replayed.

#include "kernel/lock.h"
#include "kernel/semaphore.h"
#include "kernel/status.h"
#include "kernel/thread.h"
#include "wfs/doubly_linked_list.h"
#include "wfs/log_entry.h"

#include <sys/uio.h>

#include <cstdint>

namespace wfs {

class Transaction;
class Volume;
struct run_array;

class Journal {
public:
    explicit Journal(Volume* volume);
    // Flushes the log and every changed block to the device.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    fssh::status_code InitCheck() const { return fssh::FSSH_OK; }

    // Starts `transaction` (null: just takes the lock). A nested call joins
    // the running transaction unless sub-transactions are kept separate.
    fssh::status_code Lock(Transaction* transaction, bool separate_sub_transactions);

    // Ends `transaction` at the outermost level: it is committed (kept for the
    // next log write, or logged at once when large) or aborted. When
    // committing fails, its status is returned and the lock stays held with
    // the transaction still running. Inner levels hand their observers to the
    // outer transaction.
    fssh::status_code Unlock(Transaction* transaction, bool success);

    // Writes the entries between the superblock's log start and log end to
    // their home blocks, after checking the whole log first: a log that is
    // broken anywhere changes no home block. Then marks the log empty.
    fssh::status_code ReplayJournal();

    // Writes the unlogged transactions to the log and every changed block to
    // the device.
    fssh::status_code FlushAll() { return FlushLog(true, true); }

    int32_t CurrentTransactionId() const { return transaction_id_; }
    Transaction* CurrentTransaction() const { return owner_; }

    uint32_t LogSize() const { return log_size_; }
    uint32_t MaxTransactionSize() const { return max_transaction_size_; }
    // Log blocks held by entries that are not yet retired.
    uint32_t UsedLogBlocks();
    // Finished transactions waiting in the open block cache transaction.
    int32_t UnwrittenTransactions() const { return unwritten_transactions_; }

    // Log blocks a transaction of `block_count` changed blocks takes: the
    // blocks plus the run arrays that name them (one less run than their
    // capacity each).
    uint32_t LogBlocksFor(int32_t block_count) const;

private:
    struct RunArrays;

    fssh::status_code FlushLog(bool wait, bool flush_blocks);
    fssh::status_code FinishTransaction(bool success);
    void AbortTransaction();
    fssh::status_code WriteLogEntries();
    fssh::status_code LogTransaction(bool detach);
    void ReportTooLarge(uint32_t size) const;
    fssh::status_code CollectBlocks(bool main_only, RunArrays* arrays);
    uint32_t WriteRunArray(const RunArrays& arrays, int32_t index, uint32_t position);
    void WriteLogVectors(uint32_t position, const iovec* vectors, int32_t count,
                         bool wrapping);
    fssh::status_code EndCacheTransaction(bool detach, LogEntry* entry);

    // Log positions are the low 32 bits of the stored values, taken modulo
    // the log size.
    uint32_t LogPosition(int32_t position) const;
    int64_t LogBlock(uint32_t position) const;
    uint32_t FreeLogBlocks() const;
    // A log write always leaves at least one log block free, so that the log
    // end never comes round to a log start with entries still pending.
    bool FitsIntoLog(uint32_t log_blocks) const { return log_blocks < log_size_; }
    bool HasLogSpaceFor(uint32_t log_blocks) const { return log_blocks < FreeLogBlocks(); }

    fssh::status_code ReplayLog(bool write_home_blocks);
    fssh::status_code CheckLogEntry(uint32_t position, uint32_t pending, uint32_t* length);
    fssh::status_code CheckRunArray(const run_array* array);
    fssh::status_code ReplayEntry(uint32_t position, uint32_t* length);

    static void TransactionWritten(int32_t transaction_id, int32_t event, void* data);
    static void TransactionIdle(int32_t transaction_id, int32_t event, void* data);
    static fssh::status_code LogFlusher(void* journal);

    Volume* volume_;
    fssh::recursive_lock lock_;
    Transaction* owner_ = nullptr;
    uint32_t log_size_;
    uint32_t max_transaction_size_;
    uint32_t used_ = 0;
    int32_t unwritten_transactions_ = 0;
    fssh::mutex entries_lock_;
    DoublyLinkedList<LogEntry> entries_;
    int64_t timestamp_ = 0;
    int32_t transaction_id_ = -1;
    // Whether transaction_id_ names a cache transaction that is still open.
    // A log write ends it even when the device then fails to keep the log,
    // and an ended transaction can no longer be undone.
    bool cache_transaction_open_ = false;
    bool has_sub_transaction_ = false;
    bool separate_sub_transactions_ = false;
    fssh::thread_id flusher_thread_;
    fssh::semaphore_id flusher_semaphore_;
};

}  // namespace wfs
