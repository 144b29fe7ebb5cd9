#include "wfs/transaction.h"

#include "kernel/debug.h"
#include "wfs/journal.h"
#include "wfs/volume.h"

namespace wfs {

Transaction::Transaction(Volume* volume, int64_t reference_block)
{
    Start(volume, reference_block);
}

Transaction::~Transaction()
{
    if (IsStarted())
        journal_->Unlock(this, false);
}

fssh::status_code Transaction::Start(Volume* volume, int64_t /*reference_block*/)
{
    if (IsStarted())
        return fssh::FSSH_OK;
    journal_ = volume->GetJournal();
    if (journal_ != nullptr && journal_->Lock(this, false) == fssh::FSSH_OK)
        return fssh::FSSH_OK;
    journal_ = nullptr;
    return fssh::FSSH_ERROR;
}

fssh::status_code Transaction::Done()
{
    fssh::status_code status = journal_->Unlock(this, true);
    if (status == fssh::FSSH_OK)
        journal_ = nullptr;
    return status;
}

int32_t Transaction::ID() const
{
    return journal_->CurrentTransactionId();
}

void Transaction::AddObserver(TransactionObserver* observer)
{
    if (!IsStarted())
        fssh::panic("Transaction is not running!");
    observers_.Add(observer);
}

void Transaction::RemoveObserver(TransactionObserver* observer)
{
    if (!IsStarted())
        fssh::panic("Transaction is not running!");
    observers_.Remove(observer);
    observer->OnRemovedFromTransaction();
}

}  // namespace wfs
