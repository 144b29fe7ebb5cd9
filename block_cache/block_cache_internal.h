#pragma once

// The records of the block cache and the operations its two halves (blocks,
// transactions) share. Every function here expects the cache lock to be held.

#include "block_cache/block_cache.h"
#include "block_cache/cache_transaction.h"
#include "kernel/hash_table.h"
#include "kernel/item_list.h"
#include "kernel/lock.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct cache_transaction;

// Block flags.
constexpr uint8_t BLOCK_DIRTY = 0x04;    // current data differs from the device
constexpr uint8_t BLOCK_UNUSED = 0x08;   // on the unused list
constexpr uint8_t BLOCK_DISCARD = 0x10;  // content no longer wanted

struct cached_block {
    cached_block* hash_link;
    cached_block* transaction_link;  // next block of the transaction's block list
    // On the cache's unused list, or on the previous transaction's write-back
    // list; never both.
    list_link link;
    int64_t block_number;
    void* current_data;
    // Content before the running transaction changed the block; while an older
    // transaction's write-back is pending, that older transaction's version.
    void* original_data;
    // Content when the sub-transaction started; equal to current_data while
    // the block is unchanged in it.
    void* parent_data;
    int32_t ref_count;
    uint8_t flags;
    cache_transaction* transaction;           // running transaction holding the block
    cache_transaction* previous_transaction;  // ended transaction still to be written
};

struct cache_listener;

struct cache_transaction {
    cache_transaction* hash_link;
    int32_t id;
    int32_t block_count;  // held while open, still to be written once ended
    int32_t main_block_count;
    int32_t sub_block_count;
    cached_block* first_block;  // most recently joined first
    item_list blocks_to_write;  // of cached_block, through link
    item_list listeners;        // of cache_listener
    bool open;
    bool has_sub_transaction;
};

struct block_cache {
    hash_table* hash;  // cached_block by number
    mutex lock;
    int device;
    int64_t block_count;
    int64_t block_size;
    int32_t allocated_block_count;
    int32_t next_transaction_id;
    cache_transaction* last_transaction;
    hash_table* transaction_hash;  // cache_transaction by id
    item_list unused_blocks;       // oldest first
    bool read_only;
    item_list pending_notifications;  // of cache_listener, guarded by the notification lock
};

cached_block* lookup_cached_block(block_cache* cache, int64_t number);
cache_transaction* lookup_transaction(block_cache* cache, int32_t id);

// Takes a reference on the block, creating it (and reading it from the device
// when `read_if_new`) if it is not cached; *allocated tells which.
status_code get_cached_block(block_cache* cache, int64_t number, bool* allocated,
                             bool read_if_new, cached_block** block);

// Releases one reference; an idle block goes to the unused list, or is freed
// when discarded.
void put_cached_block(block_cache* cache, cached_block* block);

// The block behind block_cache_get_writable_etc and friends; `cleared` zeroes
// the content instead of reading it.
status_code get_writable_cached_block(block_cache* cache, int64_t number, int32_t transaction_id,
                                      bool cleared, void** data);

// Writes the version the device is owed: a pending older transaction's, else
// the current content. That transaction's last block notifies its listeners
// and, with `delete_written_transaction`, deletes it.
status_code write_cached_block(block_cache* cache, cached_block* block,
                               bool delete_written_transaction);

// Frees the record and its current data. The undo copies must be gone.
void FreeBlock(block_cache* cache, cached_block* block);

// Frees a discarded block that leaves its transaction, undo copies included.
// A block still referenced stays cached, marked discarded, until its last put.
void free_discarded_block(block_cache* cache, cached_block* block);

// Frees the parent copy when it is separate from the current data.
void free_parent_copy(cached_block* block);

// Forgets the transaction and frees it with its listeners; the caller has
// taken it out of the transaction hash.
void delete_transaction(block_cache* cache, cache_transaction* transaction);

}  // namespace fssh
