#pragma once

// Cache transactions group the block changes of one journal transaction so
// that they can be logged, undone, or written back as a unit. At most one
// transaction is open at a time. An open transaction can run a
// sub-transaction: the changes since the sub-transaction started can be undone
// alone, or the part before it can be ended on its own ("detached") while the
// sub-transaction continues as a new transaction.
//
// The journal drives a transaction this way: start it (or a sub-transaction
// of the open one); change blocks through block_cache_get_writable_etc and
// friends under its id; on failure abort it (or the sub-transaction); on
// success either keep it open or log its blocks (counted with
// cache_transaction_block_count, listed with cache_transaction_next_block)
// and end or detach it with a written hook, which runs once every block of
// the ended part is on the device.
//
// Ids start at 1 and are never reused. Naming an id that is not known to the
// cache in end, abort, start-sub, detach or abort-sub ends the process.

#include "block_cache/block_cache.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct cached_block;

// Event bits of cache listeners.
constexpr int32_t CACHE_EVENT_WRITTEN = 0x1;  // every block of an ended transaction is on the device
constexpr int32_t CACHE_EVENT_ABORTED = 0x2;
constexpr int32_t CACHE_EVENT_ENDED = 0x4;    // the transaction or its sub-transaction ended
constexpr int32_t CACHE_EVENT_IDLE = 0x8;     // asked for by the journal, never raised

// Called with the transaction id, one event bit and the listener's data. Hooks
// run while the cache lock is held and must not call the cache.
using transaction_notification_hook = void (*)(int32_t transaction_id, int32_t event,
                                               void* data);

// Opens a transaction and returns its id, or FSSH_NO_MEMORY. The previously
// started transaction must no longer be open.
int32_t cache_start_transaction(block_cache* cache);

// Ends the transaction: its blocks wait, with their current content, for
// write-back, and `hook` (when not null) is called with CACHE_EVENT_WRITTEN
// once the last of them is on the device. A transaction without blocks never
// calls it. FSSH_NO_MEMORY leaves the transaction open.
status_code cache_end_transaction(block_cache* cache, int32_t id,
                                  transaction_notification_hook hook, void* data);

// Restores every block the transaction changed and forgets the transaction.
status_code cache_abort_transaction(block_cache* cache, int32_t id);

// Starts a new sub-transaction of the open transaction, ending the current one
// if any; blocks discarded so far leave the cache.
status_code cache_start_sub_transaction(block_cache* cache, int32_t id);

// Ends the part of the transaction before its sub-transaction as in
// cache_end_transaction and continues the sub-transaction as a new open
// transaction, whose id is returned. Without a sub-transaction:
// FSSH_INVALID_ARGUMENT.
int32_t cache_detach_sub_transaction(block_cache* cache, int32_t id,
                                     transaction_notification_hook hook, void* data);

// Restores every block changed in the running sub-transaction, including the
// blocks that joined the transaction during it, and keeps the main part.
// Without a sub-transaction: FSSH_INVALID_ARGUMENT.
status_code cache_abort_sub_transaction(block_cache* cache, int32_t id);

// Writes back and forgets every ended transaction whose id is at most `id`;
// open transactions stay untouched.
status_code cache_write_back_transactions(block_cache* cache, int32_t id);

// Accept the request and do nothing; always FSSH_OK.
status_code cache_register_listener(block_cache* cache, int32_t id, int32_t events,
                                    transaction_notification_hook hook, void* data);
status_code cache_unregister_listener(block_cache* cache, int32_t id,
                                      transaction_notification_hook hook, void* data);

// Steps through the blocks of an open transaction, most recently joined first.
// *cookie is null to start and the block returned last afterwards. While a
// sub-transaction runs, `main_only` lists only the blocks of the main part and
// gives their main-part content in *data; otherwise blocks marked discarded
// are left out. Each non-null output is filled: block number, content and the
// content before the transaction (null when the block was zeroed fresh).
// FSSH_NOT_FOUND at the end, FSSH_INVALID_ARGUMENT for a transaction that is
// not open.
status_code cache_transaction_next_block(block_cache* cache, int32_t id, bool main_only,
                                         cached_block** cookie, int64_t* number,
                                         const void** data, const void** unchanged_data);

// Blocks held while open, or still to be written after the end; or
// FSSH_INVALID_ARGUMENT for an unknown id.
int32_t cache_transaction_block_count(block_cache* cache, int32_t id);

// Blocks the transaction held when its sub-transaction started.
int32_t cache_transaction_main_count(block_cache* cache, int32_t id);

// Blocks changed or added in the running sub-transaction.
int32_t cache_transaction_sub_count(block_cache* cache, int32_t id);

// Whether block `number` is cached and held by transaction `id`.
bool cache_transaction_holds_block(block_cache* cache, int32_t id, int64_t number);

}  // namespace fssh
