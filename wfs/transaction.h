#pragma once

// A change to a volume: an object on the caller's stack that holds the
// journal from Start until Done (commit) or its destruction (abort). A
// transaction started while another one runs joins it; only the end of the
// outermost transaction commits or aborts the changes.

#include "kernel/status.h"
#include "wfs/transaction_observer.h"

#include <cstdint>

namespace wfs {

class Journal;
class Volume;

class Transaction {
public:
    Transaction() = default;
    // Starts at once; IsStarted() tells whether that worked.
    Transaction(Volume* volume, int64_t reference_block);
    // Aborts the transaction when it is still running.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Takes the volume's journal for this transaction. FSSH_OK when already
    // running; FSSH_ERROR when the volume has no journal or it cannot be
    // locked. The reference block is not used.
    fssh::status_code Start(Volume* volume, int64_t reference_block);

    // Commits: the transaction ends unless writing its log fails, in which
    // case it keeps running (and its destruction aborts it).
    fssh::status_code Done();

    bool IsStarted() const { return journal_ != nullptr; }

    // The block cache transaction that blocks are changed in.
    int32_t ID() const;

    Journal* GetJournal() const { return journal_; }

    // Adds an observer that hears how the transaction ends. Ends the process
    // when the transaction is not running.
    void AddObserver(TransactionObserver* observer);

    // Takes an observer out again and calls its OnRemovedFromTransaction. Ends
    // the process when the transaction is not running.
    void RemoveObserver(TransactionObserver* observer);

    TransactionObserverList& Observers() { return observers_; }
    Transaction* Parent() const { return parent_; }
    void SetParent(Transaction* parent) { parent_ = parent; }

private:
    Journal* journal_ = nullptr;
    TransactionObserverList observers_;
    Transaction* parent_ = nullptr;
};

}  // namespace wfs
