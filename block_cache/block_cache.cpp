// The block cache: blocks, reading, writing back and the unused list.

#include "block_cache/block_cache.h"

#include "block_cache/block_cache_internal.h"
#include "block_cache/cache_listener.h"
#include "kernel/debug.h"
#include "kernel/host_file.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

constexpr uint32_t BLOCK_HASH_SIZE = 128;
constexpr uint32_t TRANSACTION_HASH_SIZE = 16;

int compare_block_number(void* element, const void* key)
{
    return static_cast<cached_block*>(element)->block_number == *static_cast<const int64_t*>(key)
               ? 0
               : 1;
}

uint32_t hash_block_number(void* element, const void* key, uint32_t range)
{
    int64_t number = element != nullptr ? static_cast<cached_block*>(element)->block_number
                                        : *static_cast<const int64_t*>(key);
    return static_cast<uint32_t>(static_cast<uint64_t>(number) % range);
}

int compare_transaction_id(void* element, const void* key)
{
    return static_cast<cache_transaction*>(element)->id == *static_cast<const int32_t*>(key) ? 0
                                                                                            : 1;
}

uint32_t hash_transaction_id(void* element, const void* key, uint32_t range)
{
    int32_t id = element != nullptr ? static_cast<cache_transaction*>(element)->id
                                    : *static_cast<const int32_t*>(key);
    return static_cast<uint32_t>(id) % range;
}

// Transfers use the low 32 bits of the block size.
size_t io_size(const block_cache* cache)
{
    return static_cast<uint32_t>(cache->block_size);
}

off_t device_position(const block_cache* cache, const cached_block* block)
{
    return static_cast<off_t>(block->block_number * cache->block_size);
}

// Ends the process, naming the operation, when the block is not on the device.
void check_block_number(const block_cache* cache, int64_t number, const char* operation)
{
    if (number < 0 || number >= cache->block_count) {
        panic("%s: invalid block number %ld (max %ld)", operation, static_cast<long>(number),
              static_cast<long>(cache->block_count - 1));
    }
}

// A new buffer holding a copy of the block's current data.
void* copy_current_data(const block_cache* cache, const cached_block* block,
                        const char* failure_message)
{
    void* copy = std::malloc(static_cast<size_t>(cache->block_size));
    if (copy == nullptr)
        panic("%s", failure_message);
    std::memcpy(copy, block->current_data, static_cast<size_t>(cache->block_size));
    return copy;
}

void append_unused(block_cache* cache, cached_block* block)
{
    block->flags |= BLOCK_UNUSED;
    item_list_append(&cache->unused_blocks, block);
}

void remove_and_free(block_cache* cache, cached_block* block)
{
    hash_remove(cache->hash, block);
    FreeBlock(cache, block);
}

// Frees up to `count` blocks from the unused list, oldest first, writing the
// changed ones back; at least one whenever the list is not empty.
void free_unused_blocks(block_cache* cache, int32_t count)
{
    int32_t freed = 0;
    cached_block* block = static_cast<cached_block*>(item_list_next(&cache->unused_blocks, nullptr));
    while (block != nullptr) {
        cached_block* next = static_cast<cached_block*>(item_list_next(&cache->unused_blocks, block));
        if ((block->flags & (BLOCK_DIRTY | BLOCK_DISCARD)) == BLOCK_DIRTY)
            write_cached_block(cache, block, false);
        item_list_remove(&cache->unused_blocks, block);
        remove_and_free(cache, block);
        if (++freed >= count)
            return;
        block = next;
    }
}

cached_block* allocate_cached_block(block_cache* cache, int64_t number)
{
    cached_block* block = new (std::nothrow) cached_block{};
    if (block == nullptr)
        panic("could not allocate block!\n");
    if (cache->allocated_block_count >= CACHED_BLOCK_LIMIT)
        free_unused_blocks(cache, cache->allocated_block_count - (CACHED_BLOCK_LIMIT - 1));
    block->current_data = std::malloc(static_cast<size_t>(cache->block_size));
    if (block->current_data == nullptr)
        panic("could not allocate block data!\n");
    block->block_number = number;
    cache->allocated_block_count++;
    return block;
}

// Whether sync owes the device this block: an ended transaction's version, or
// a change made outside any transaction. A discarded block's content is no
// longer wanted: writing it could overwrite what the block's new owner put on
// the device directly.
bool needs_write_back(const cached_block* block)
{
    if (block->previous_transaction != nullptr)
        return true;
    return block->transaction == nullptr
           && (block->flags & (BLOCK_DIRTY | BLOCK_DISCARD)) == BLOCK_DIRTY;
}

// Releases the reference of a block that is known to be cached.
void put_block_number(block_cache* cache, int64_t number)
{
    check_block_number(cache, number, "put_cached_block");
    cached_block* block = lookup_cached_block(cache, number);
    if (block != nullptr)
        put_cached_block(cache, block);
}

}  // namespace

cached_block* lookup_cached_block(block_cache* cache, int64_t number)
{
    return static_cast<cached_block*>(hash_lookup(cache->hash, &number));
}

cache_transaction* lookup_transaction(block_cache* cache, int32_t id)
{
    return static_cast<cache_transaction*>(hash_lookup(cache->transaction_hash, &id));
}

void FreeBlock(block_cache* cache, cached_block* block)
{
    std::free(block->current_data);
    if (block->original_data != nullptr || block->parent_data != nullptr) {
        panic("block_cache::FreeBlock(): %ld, original %p, parent %p\n",
              static_cast<long>(block->block_number), block->original_data, block->parent_data);
    }
    delete block;
    cache->allocated_block_count--;
}

void free_parent_copy(cached_block* block)
{
    if (block->parent_data != block->current_data)
        std::free(block->parent_data);
    block->parent_data = nullptr;
}

void free_discarded_block(block_cache* cache, cached_block* block)
{
    free_parent_copy(block);
    std::free(block->original_data);
    block->original_data = nullptr;
    block->transaction = nullptr;
    block->transaction_link = nullptr;
    // A holder still using the block keeps it until its put; freeing it now
    // would leave the holder with freed data and its put hitting a block
    // cached later under the same number.
    if (block->ref_count > 0)
        return;
    remove_and_free(cache, block);
}

status_code get_cached_block(block_cache* cache, int64_t number, bool* allocated,
                             bool read_if_new, cached_block** out_block)
{
    check_block_number(cache, number, "get_cached_block");

    cached_block* block = lookup_cached_block(cache, number);
    *allocated = block == nullptr;
    if (block == nullptr) {
        block = allocate_cached_block(cache, number);
        hash_insert(cache->hash, block);
        if (read_if_new) {
            ssize_t bytes = fssh_pread(cache->device, device_position(cache, block),
                                       block->current_data, io_size(cache));
            if (bytes < static_cast<ssize_t>(io_size(cache))) {
                remove_and_free(cache, block);
                panic("could not read block %ld\n", static_cast<long>(number));
            }
        }
    }

    if ((block->flags & BLOCK_UNUSED) != 0) {
        block->flags &= ~BLOCK_UNUSED;
        item_list_remove(&cache->unused_blocks, block);
    }
    block->ref_count++;
    *out_block = block;
    return FSSH_OK;
}

void put_cached_block(block_cache* cache, cached_block* block)
{
    if (--block->ref_count == 0 && block->transaction == nullptr
        && block->previous_transaction == nullptr) {
        if ((block->flags & BLOCK_DISCARD) != 0)
            remove_and_free(cache, block);
        else
            append_unused(cache, block);
    }
    if (cache->allocated_block_count > CACHED_BLOCK_LIMIT)
        free_unused_blocks(cache, cache->allocated_block_count - CACHED_BLOCK_LIMIT);
}

namespace {

// Lets the block join the transaction, which must be open and must not hold
// another transaction's block.
cache_transaction* join_transaction(block_cache* cache, cached_block* block, int32_t id)
{
    cache_transaction* transaction = block->transaction;
    if (transaction != nullptr) {
        if (transaction->id != id) {
            panic("get_writable_cached_block(): asked to get busy writable block (transaction %d)\n",
                  transaction->id);
        }
        return transaction;
    }

    transaction = lookup_transaction(cache, id);
    if (transaction == nullptr)
        panic("get_writable_cached_block(): invalid transaction %d!\n", id);
    if (!transaction->open)
        panic("get_writable_cached_block(): transaction already done!\n");

    block->transaction = transaction;
    block->transaction_link = transaction->first_block;
    transaction->first_block = block;
    transaction->block_count++;
    return transaction;
}

}  // namespace

status_code get_writable_cached_block(block_cache* cache, int64_t number, int32_t transaction_id,
                                      bool cleared, void** data)
{
    check_block_number(cache, number, "get_writable_cached_block");

    bool allocated;
    cached_block* block;
    status_code status = get_cached_block(cache, number, &allocated, !cleared, &block);
    if (status != FSSH_OK)
        return status;

    block->flags &= ~BLOCK_DISCARD;

    if (transaction_id != NO_TRANSACTION) {
        // A block already held by the transaction has been counted in its
        // sub-transaction when it joined or when its parent copy was made.
        // Judging this by the undo copy alone would count a block twice when
        // it was zeroed fresh or still owes an older transaction's version.
        bool already_held = block->transaction != nullptr;
        cache_transaction* transaction = join_transaction(cache, block, transaction_id);

        if (block->original_data == nullptr && !(allocated && cleared))
            block->original_data = copy_current_data(cache, block, "could not allocate original_data\n");

        if (block->parent_data == block->current_data) {
            block->parent_data = copy_current_data(cache, block, "could not allocate parent\n");
            transaction->sub_block_count++;
        } else if (block->parent_data == nullptr && !already_held
                   && transaction->has_sub_transaction) {
            transaction->sub_block_count++;
        }
    }

    if (cleared)
        std::memset(block->current_data, 0, static_cast<size_t>(cache->block_size));
    block->flags |= BLOCK_DIRTY;
    *data = block->current_data;
    return FSSH_OK;
}

status_code write_cached_block(block_cache* cache, cached_block* block,
                               bool delete_written_transaction)
{
    cache_transaction* previous = block->previous_transaction;
    const void* data = previous != nullptr && block->original_data != nullptr
                           ? block->original_data
                           : block->current_data;

    ssize_t written = fssh_pwrite(cache->device, device_position(cache, block), data, io_size(cache));
    if (written < static_cast<ssize_t>(io_size(cache))) {
        panic("could not write back block %ld (%s)\n", static_cast<long>(block->block_number),
              status_text(get_kernel_errno()));
    }

    if (data == block->current_data)
        block->flags &= ~BLOCK_DIRTY;

    if (previous != nullptr) {
        item_list_remove(&previous->blocks_to_write, block);
        block->previous_transaction = nullptr;
        if (block->original_data != nullptr && block->transaction == nullptr) {
            std::free(block->original_data);
            block->original_data = nullptr;
        }
        if (--previous->block_count == 0) {
            notify_listeners(cache, previous, CACHE_EVENT_WRITTEN);
            if (delete_written_transaction) {
                hash_remove(cache->transaction_hash, previous);
                delete_transaction(cache, previous);
            }
        }
    }

    if (block->transaction == nullptr && block->ref_count == 0
        && (block->flags & BLOCK_UNUSED) == 0)
        append_unused(cache, block);
    return FSSH_OK;
}

status_code block_cache_init()
{
    init_notification_lock();
    return FSSH_OK;
}

block_cache* block_cache_create(int device, int64_t block_count, int64_t block_size,
                                bool read_only)
{
    block_cache* cache = new (std::nothrow) block_cache{};
    if (cache == nullptr)
        return nullptr;

    cache->hash = hash_init(BLOCK_HASH_SIZE, offsetof(cached_block, hash_link),
                            compare_block_number, hash_block_number);
    cache->transaction_hash = hash_init(TRANSACTION_HASH_SIZE, offsetof(cache_transaction, hash_link),
                                        compare_transaction_id, hash_transaction_id);
    if (cache->hash == nullptr || cache->transaction_hash == nullptr) {
        if (cache->hash != nullptr)
            hash_free_table(cache->hash);
        if (cache->transaction_hash != nullptr)
            hash_free_table(cache->transaction_hash);
        delete cache;
        return nullptr;
    }

    mutex_init(&cache->lock, "block cache");
    cache->device = device;
    cache->block_count = block_count;
    cache->block_size = block_size;
    cache->next_transaction_id = 1;
    item_list_init_with_offset(&cache->unused_blocks, offsetof(cached_block, link));
    cache->read_only = read_only;
    item_list_init_with_offset(&cache->pending_notifications, offsetof(cache_listener, pending_link));
    return cache;
}

void block_cache_delete(block_cache* cache, bool allow_writes)
{
    if (allow_writes)
        block_cache_sync(cache);

    mutex_lock(&cache->lock);

    uint32_t cookie = 0;
    while (cached_block* block = static_cast<cached_block*>(hash_take_first(cache->hash, &cookie)))
        FreeBlock(cache, block);

    cookie = 0;
    while (cache_transaction* transaction = static_cast<cache_transaction*>(
               hash_take_first(cache->transaction_hash, &cookie)))
        delete_transaction(cache, transaction);

    hash_free_table(cache->hash);
    hash_free_table(cache->transaction_hash);
    mutex_destroy(&cache->lock);
    delete cache;
}

status_code block_cache_get_etc(block_cache* cache, int64_t number, const void** data)
{
    MutexLocker locker(&cache->lock);

    bool allocated;
    cached_block* block;
    status_code status = get_cached_block(cache, number, &allocated, true, &block);
    if (status != FSSH_OK)
        return status;
    *data = block->current_data;
    return FSSH_OK;
}

const void* block_cache_get(block_cache* cache, int64_t number)
{
    const void* data;
    return block_cache_get_etc(cache, number, &data) == FSSH_OK ? data : nullptr;
}

void block_cache_put(block_cache* cache, int64_t number)
{
    MutexLocker locker(&cache->lock);
    put_block_number(cache, number);
}

status_code block_cache_get_writable_etc(block_cache* cache, int64_t number,
                                         int32_t transaction_id, void** data)
{
    MutexLocker locker(&cache->lock);
    if (cache->read_only)
        panic("tried to get writable block on a read-only cache!");
    return get_writable_cached_block(cache, number, transaction_id, false, data);
}

void* block_cache_get_writable(block_cache* cache, int64_t number, int32_t transaction_id)
{
    void* data;
    return block_cache_get_writable_etc(cache, number, transaction_id, &data) == FSSH_OK ? data
                                                                                       : nullptr;
}

void* block_cache_get_zeroed(block_cache* cache, int64_t number, int32_t transaction_id)
{
    MutexLocker locker(&cache->lock);
    if (cache->read_only)
        panic("tried to get empty writable block on a read-only cache!");
    void* data;
    return get_writable_cached_block(cache, number, transaction_id, true, &data) == FSSH_OK
               ? data
               : nullptr;
}

status_code block_cache_mark_writable(block_cache* cache, int64_t number, int32_t transaction_id)
{
    MutexLocker locker(&cache->lock);
    if (cache->read_only)
        panic("tried to make block writable on a read-only cache!");
    void* data;
    status_code status = get_writable_cached_block(cache, number, transaction_id, false, &data);
    if (status == FSSH_OK)
        put_block_number(cache, number);
    return status;
}

status_code block_cache_set_dirty(block_cache* cache, int64_t number, bool dirty,
                                  int32_t /*transaction_id*/)
{
    MutexLocker locker(&cache->lock);
    cached_block* block = lookup_cached_block(cache, number);
    if (block == nullptr)
        return FSSH_INVALID_ARGUMENT;
    if ((block->flags & BLOCK_DIRTY) != 0 || !dirty)
        return FSSH_OK;
    panic("block_cache_set_dirty(): not yet implemented that way!\n");
}

void block_cache_discard(block_cache* cache, int64_t number, int64_t count)
{
    MutexLocker locker(&cache->lock);
    for (int64_t i = 0; i < count; i++) {
        cached_block* block = lookup_cached_block(cache, number + i);
        if (block == nullptr)
            continue;

        if (block->previous_transaction != nullptr)
            write_cached_block(cache, block, true);

        // An idle block goes at once. Besides the unused list this covers an
        // idle block an abort left off that list: no put would ever free it,
        // and a later sync would write its unwanted content.
        if (block->ref_count == 0 && block->transaction == nullptr) {
            if ((block->flags & BLOCK_UNUSED) != 0)
                item_list_remove(&cache->unused_blocks, block);
            remove_and_free(cache, block);
            continue;
        }
        if (block->transaction != nullptr && block->parent_data != nullptr
            && block->parent_data != block->current_data) {
            panic("Discarded block %ld has already been changed in this transaction!",
                  static_cast<long>(number + i));
        }
        block->flags |= BLOCK_DISCARD;
    }
}

status_code block_cache_sync(block_cache* cache)
{
    MutexLocker locker(&cache->lock);
    hash_iterator iterator;
    hash_open_iterator(cache->hash, &iterator);
    while (cached_block* block = static_cast<cached_block*>(hash_next(cache->hash, &iterator))) {
        if (needs_write_back(block))
            write_cached_block(cache, block, true);
    }
    hash_close_iterator(cache->hash, &iterator, false);
    return FSSH_OK;
}

status_code block_cache_sync_etc(block_cache* cache, int64_t number, int64_t count)
{
    MutexLocker locker(&cache->lock);
    check_block_number(cache, number, "block_cache_sync_etc");
    for (int64_t i = 0; i < count; i++) {
        cached_block* block = lookup_cached_block(cache, number + i);
        if (block != nullptr && needs_write_back(block))
            write_cached_block(cache, block, true);
    }
    return FSSH_OK;
}

}  // namespace fssh
