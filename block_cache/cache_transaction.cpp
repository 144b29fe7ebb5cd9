// Cache transactions and sub-transactions: joining blocks to them is done by
// get_writable_cached_block (block_cache.cpp); this file starts, ends, aborts,
// detaches and writes them back.

#include "block_cache/cache_transaction.h"

#include "block_cache/block_cache_internal.h"
#include "block_cache/cache_listener.h"
#include "kernel/atomic.h"
#include "kernel/debug.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

cache_transaction* create_transaction(block_cache* cache)
{
    cache_transaction* transaction = new (std::nothrow) cache_transaction{};
    if (transaction == nullptr)
        return nullptr;
    transaction->id = atomic_fetch_add32(&cache->next_transaction_id, 1);
    item_list_init_with_offset(&transaction->blocks_to_write, offsetof(cached_block, link));
    item_list_init_with_offset(&transaction->listeners, offsetof(cache_listener, transaction_link));
    transaction->open = true;
    return transaction;
}

// The transaction with this id; an unknown id ends the process with `message`.
cache_transaction* existing_transaction(block_cache* cache, int32_t id, const char* message)
{
    cache_transaction* transaction = lookup_transaction(cache, id);
    if (transaction == nullptr)
        panic("%s", message);
    return transaction;
}

// The block now owes the device the ended transaction's version.
void queue_for_write_back(cache_transaction* transaction, cached_block* block)
{
    item_list_append(&transaction->blocks_to_write, block);
    block->previous_transaction = transaction;
}

void free_original_copy(cached_block* block)
{
    std::free(block->original_data);
    block->original_data = nullptr;
}

size_t block_size(const block_cache* cache)
{
    return static_cast<size_t>(cache->block_size);
}

int32_t transaction_count(block_cache* cache, int32_t id, int32_t cache_transaction::*count)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction = lookup_transaction(cache, id);
    return transaction != nullptr ? transaction->*count : FSSH_INVALID_ARGUMENT;
}

}  // namespace

void delete_transaction(block_cache* cache, cache_transaction* transaction)
{
    if (cache->last_transaction == transaction)
        cache->last_transaction = nullptr;
    release_listeners(transaction);
    delete transaction;
}

int32_t cache_start_transaction(block_cache* cache)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* last = cache->last_transaction;
    if (last != nullptr && last->open)
        panic("last transaction (%d) still open!\n", last->id);

    cache_transaction* transaction = create_transaction(cache);
    if (transaction == nullptr)
        return FSSH_NO_MEMORY;
    cache->last_transaction = transaction;
    hash_insert(cache->transaction_hash, transaction);
    return transaction->id;
}

status_code cache_end_transaction(block_cache* cache, int32_t id,
                                  transaction_notification_hook hook, void* data)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction =
        existing_transaction(cache, id, "cache_end_transaction(): invalid transaction ID\n");

    notify_listeners(cache, transaction, CACHE_EVENT_ENDED);
    status_code status = add_written_listener(transaction, hook, data);
    if (status != FSSH_OK)
        return status;

    cached_block* next;
    for (cached_block* block = transaction->first_block; block != nullptr; block = next) {
        next = block->transaction_link;
        // An older transaction's version goes first, so that the block owes
        // the device only this transaction's version.
        if (block->previous_transaction != nullptr)
            write_cached_block(cache, block, true);
        if ((block->flags & BLOCK_DISCARD) != 0) {
            free_discarded_block(cache, block);
            transaction->block_count--;
            continue;
        }
        free_original_copy(block);
        free_parent_copy(block);
        queue_for_write_back(transaction, block);
        block->transaction = nullptr;
        block->transaction_link = nullptr;
    }
    transaction->first_block = nullptr;
    transaction->open = false;
    return FSSH_OK;
}

status_code cache_abort_transaction(block_cache* cache, int32_t id)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction =
        existing_transaction(cache, id, "cache_abort_transaction(): invalid transaction ID\n");

    notify_listeners(cache, transaction, CACHE_EVENT_ABORTED);

    cached_block* next;
    for (cached_block* block = transaction->first_block; block != nullptr; block = next) {
        next = block->transaction_link;
        if (block->original_data != nullptr) {
            std::memcpy(block->current_data, block->original_data, block_size(cache));
            free_original_copy(block);
        }
        free_parent_copy(block);
        block->transaction_link = nullptr;
        block->transaction = nullptr;
        block->flags &= ~BLOCK_DISCARD;
    }

    hash_remove(cache->transaction_hash, transaction);
    delete_transaction(cache, transaction);
    return FSSH_OK;
}

status_code cache_start_sub_transaction(block_cache* cache, int32_t id)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction = lookup_transaction(cache, id);
    if (transaction == nullptr)
        panic("cache_start_sub_transaction(): invalid transaction ID %d\n", id);

    notify_listeners(cache, transaction, CACHE_EVENT_ENDED);

    cached_block** link = &transaction->first_block;
    while (cached_block* block = *link) {
        if ((block->flags & BLOCK_DISCARD) != 0) {
            *link = block->transaction_link;
            free_discarded_block(cache, block);
            transaction->block_count--;
            continue;
        }
        free_parent_copy(block);
        // Unchanged in the new sub-transaction until its first write.
        block->parent_data = block->current_data;
        link = &block->transaction_link;
    }

    transaction->has_sub_transaction = true;
    transaction->main_block_count = transaction->block_count;
    transaction->sub_block_count = 0;
    return FSSH_OK;
}

status_code cache_abort_sub_transaction(block_cache* cache, int32_t id)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction =
        existing_transaction(cache, id, "cache_abort_sub_transaction(): invalid transaction ID\n");
    if (!transaction->has_sub_transaction)
        return FSSH_INVALID_ARGUMENT;

    notify_listeners(cache, transaction, CACHE_EVENT_ABORTED);

    for (cached_block* block = transaction->first_block; block != nullptr;
         block = block->transaction_link) {
        if (block->parent_data != nullptr && block->parent_data != block->current_data) {
            std::memcpy(block->current_data, block->parent_data, block_size(cache));
            std::free(block->parent_data);
        } else if (block->parent_data == nullptr && block->original_data != nullptr) {
            // Joined during the sub-transaction: back to its content before
            // the transaction, and still held by it.
            std::memcpy(block->current_data, block->original_data, block_size(cache));
        }
        block->parent_data = nullptr;
        block->flags &= ~BLOCK_DISCARD;
    }

    transaction->has_sub_transaction = false;
    transaction->sub_block_count = 0;
    return FSSH_OK;
}

int32_t cache_detach_sub_transaction(block_cache* cache, int32_t id,
                                     transaction_notification_hook hook, void* data)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction =
        existing_transaction(cache, id, "cache_detach_sub_transaction(): invalid transaction ID\n");
    if (!transaction->has_sub_transaction)
        return FSSH_INVALID_ARGUMENT;

    cache_transaction* remainder = create_transaction(cache);
    if (remainder == nullptr)
        return FSSH_NO_MEMORY;

    notify_listeners(cache, transaction, CACHE_EVENT_ENDED);
    if (add_written_listener(transaction, hook, data) != FSSH_OK) {
        delete remainder;
        return FSSH_NO_MEMORY;
    }

    cached_block* last_moved = nullptr;
    cached_block* next;
    for (cached_block* block = transaction->first_block; block != nullptr; block = next) {
        next = block->transaction_link;
        if (block->previous_transaction != nullptr)
            write_cached_block(cache, block, true);

        bool in_main_part = block->parent_data != nullptr;
        if ((block->flags & BLOCK_DISCARD) != 0) {
            free_discarded_block(cache, block);
            // A block that joined during the sub-transaction was counted
            // there, not in the main part.
            if (in_main_part)
                transaction->main_block_count--;
            else
                transaction->sub_block_count--;
            continue;
        }

        if (block->original_data != nullptr && in_main_part)
            free_original_copy(block);

        block->transaction_link = nullptr;
        if (!in_main_part || block->parent_data != block->current_data) {
            // Changed in the sub-transaction: the remainder holds it, starting
            // from the main part's final content.
            if (last_moved != nullptr)
                last_moved->transaction_link = block;
            else
                remainder->first_block = block;
            last_moved = block;
            block->transaction = remainder;
            if (in_main_part)
                block->original_data = block->parent_data;
        } else {
            block->transaction = nullptr;
        }

        if (in_main_part) {
            // The main part's version is now the original data, or the
            // current data of a block that did not move.
            queue_for_write_back(transaction, block);
            block->parent_data = nullptr;
        }
    }

    remainder->block_count = transaction->sub_block_count;
    transaction->first_block = nullptr;
    transaction->open = false;
    transaction->has_sub_transaction = false;
    transaction->block_count = transaction->main_block_count;
    transaction->sub_block_count = 0;

    hash_insert(cache->transaction_hash, remainder);
    cache->last_transaction = remainder;
    return remainder->id;
}

status_code cache_write_back_transactions(block_cache* cache, int32_t id)
{
    MutexLocker locker(&cache->lock);
    hash_iterator iterator;
    hash_open_iterator(cache->transaction_hash, &iterator);
    while (cache_transaction* transaction = static_cast<cache_transaction*>(
               hash_next(cache->transaction_hash, &iterator))) {
        if (transaction->open || transaction->id > id)
            continue;
        while (transaction->block_count > 0) {
            write_cached_block(cache,
                               static_cast<cached_block*>(
                                   item_list_next(&transaction->blocks_to_write, nullptr)),
                               false);
        }
        hash_remove_current(cache->transaction_hash, &iterator);
        delete_transaction(cache, transaction);
    }
    hash_close_iterator(cache->transaction_hash, &iterator, false);
    return FSSH_OK;
}

status_code cache_register_listener(block_cache* cache, int32_t /*id*/, int32_t /*events*/,
                                    transaction_notification_hook /*hook*/, void* /*data*/)
{
    MutexLocker locker(&cache->lock);
    return FSSH_OK;
}

status_code cache_unregister_listener(block_cache* cache, int32_t /*id*/,
                                      transaction_notification_hook /*hook*/, void* /*data*/)
{
    MutexLocker locker(&cache->lock);
    return FSSH_OK;
}

status_code cache_transaction_next_block(block_cache* cache, int32_t id, bool main_only,
                                         cached_block** cookie, int64_t* number,
                                         const void** data, const void** unchanged_data)
{
    MutexLocker locker(&cache->lock);
    cache_transaction* transaction = lookup_transaction(cache, id);
    if (transaction == nullptr || !transaction->open)
        return FSSH_INVALID_ARGUMENT;

    cached_block* block = *cookie != nullptr ? (*cookie)->transaction_link : transaction->first_block;
    bool main_part_only = main_only && transaction->has_sub_transaction;
    if (transaction->has_sub_transaction) {
        while (block != nullptr
               && (main_only ? block->parent_data == nullptr
                             : (block->flags & BLOCK_DISCARD) != 0))
            block = block->transaction_link;
    }
    if (block == nullptr)
        return FSSH_NOT_FOUND;

    if (number != nullptr)
        *number = block->block_number;
    // Without a sub-transaction the main part is the whole transaction.
    if (data != nullptr)
        *data = main_part_only ? block->parent_data : block->current_data;
    if (unchanged_data != nullptr)
        *unchanged_data = block->original_data;
    *cookie = block;
    return FSSH_OK;
}

int32_t cache_transaction_block_count(block_cache* cache, int32_t id)
{
    return transaction_count(cache, id, &cache_transaction::block_count);
}

int32_t cache_transaction_main_count(block_cache* cache, int32_t id)
{
    return transaction_count(cache, id, &cache_transaction::main_block_count);
}

int32_t cache_transaction_sub_count(block_cache* cache, int32_t id)
{
    return transaction_count(cache, id, &cache_transaction::sub_block_count);
}

bool cache_transaction_holds_block(block_cache* cache, int32_t id, int64_t number)
{
    MutexLocker locker(&cache->lock);
    cached_block* block = lookup_cached_block(cache, number);
    return block != nullptr && block->transaction != nullptr && block->transaction->id == id;
}

}  // namespace fssh
