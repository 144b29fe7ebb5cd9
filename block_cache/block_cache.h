#pragma once

// The block cache: fixed-size blocks of one device held in memory, handed out
// by pointer and written back under a fixed limit. Blocks are taken for
// reading, or for writing inside a cache transaction (block_cache/
// cache_transaction.h). Every operation holds the cache's lock for its whole
// run, so a listener hook must not call back into the cache.
//
// Contract violations (block numbers outside the device, writable requests on
// a read-only cache, a device transfer shorter than a block, allocation
// failures) end the process through panic(); the cache never retries I/O.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct block_cache;

// Transaction id meaning "no transaction": the block is changed directly and
// written back later by eviction or sync.
constexpr int32_t NO_TRANSACTION = -1;

// Number of blocks a cache holds before it frees unused blocks, oldest first.
constexpr int32_t CACHED_BLOCK_LIMIT = 1024;

// Creates the notification lock shared by every cache. Called once, by the
// VFS initialisation, before any cache is created. Always FSSH_OK.
status_code block_cache_init();

// A cache for `block_count` blocks of `block_size` bytes on the host
// descriptor `device` (kernel/host_file.h); null on failure. The cache does
// not own the descriptor.
block_cache* block_cache_create(int device, int64_t block_count, int64_t block_size,
                                bool read_only);

// Writes every changed block back first when `allow_writes` is set, then frees
// every block and transaction. No block may still carry an open transaction's
// undo data.
void block_cache_delete(block_cache* cache, bool allow_writes);

// Takes a reference on block `number`, reading it from the device when it is
// not cached, and stores its content in *data. Every successful get is paired
// with a block_cache_put.
status_code block_cache_get_etc(block_cache* cache, int64_t number, const void** data);

// block_cache_get_etc returning the content, or null on failure.
const void* block_cache_get(block_cache* cache, int64_t number);

// Releases one reference. A number that is not cached is ignored.
void block_cache_put(block_cache* cache, int64_t number);

// Takes a reference on block `number` for writing in transaction
// `transaction_id` (or NO_TRANSACTION). Inside a transaction the block keeps
// an undo copy and joins the transaction; another transaction holding the
// block ends the process.
status_code block_cache_get_writable_etc(block_cache* cache, int64_t number,
                                         int32_t transaction_id, void** data);

// block_cache_get_writable_etc returning the content, or null on failure.
void* block_cache_get_writable(block_cache* cache, int64_t number, int32_t transaction_id);

// As block_cache_get_writable, but the block is not read from the device and
// its content is zeroed.
void* block_cache_get_zeroed(block_cache* cache, int64_t number, int32_t transaction_id);

// Makes block `number` writable in the transaction without keeping a
// reference: callers that already hold the block write through the pointer
// they have.
status_code block_cache_mark_writable(block_cache* cache, int64_t number,
                                      int32_t transaction_id);

// Accepts dirty == false and already dirty blocks without changing anything;
// an uncached block gives FSSH_INVALID_ARGUMENT. Marking a clean block dirty
// this way is not supported and ends the process.
status_code block_cache_set_dirty(block_cache* cache, int64_t number, bool dirty,
                                  int32_t transaction_id);

// Drops the content of `count` blocks from `number` on: an idle block is freed
// at once, a referenced one on its last put, and one held by a transaction
// when the transaction ends or starts a sub-transaction. A pending older
// transaction's version is written first. Uncached numbers are skipped.
void block_cache_discard(block_cache* cache, int64_t number, int64_t count);

// Writes back every block an ended transaction still owes to the device and
// every changed block outside a transaction. Always FSSH_OK.
status_code block_cache_sync(block_cache* cache);

// block_cache_sync limited to `count` blocks from `number` on; only `number`
// itself must lie on the device.
status_code block_cache_sync_etc(block_cache* cache, int64_t number, int64_t count);

}  // namespace fssh
