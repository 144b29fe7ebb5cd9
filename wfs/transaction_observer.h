#pragma once

// Objects that take part in a transaction and want to hear how it ended
// (inodes, B+trees). The journal tells every observer of a transaction once,
// when the outermost transaction commits or aborts.

#include "wfs/doubly_linked_list.h"

namespace wfs {

class TransactionObserver {
public:
    virtual ~TransactionObserver() = default;

    // The transaction ended; `success` is false when it was aborted and the
    // block cache has already restored the blocks it changed.
    virtual void OnTransactionDone(bool success) = 0;

    // The observer has left the transaction (after OnTransactionDone, or when
    // it is removed early).
    virtual void OnRemovedFromTransaction() = 0;

    // Links in the running transaction's observer list; an inode also uses
    // them for the volume's list of removed inodes (never both at once).
    DoublyLinkedListLink<TransactionObserver> list_link;
};

using TransactionObserverList = DoublyLinkedList<TransactionObserver>;

}  // namespace wfs
