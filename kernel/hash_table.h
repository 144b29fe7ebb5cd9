#pragma once

// Intrusive chained hash table: the next-in-chain link lives inside each
// element, at next_offset. The table never owns, allocates per element,
// resizes or locks; callers serialise access.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

// 0 when the element matches the key.
using hash_compare_function = int (*)(void* element, const void* key);
// Bucket index below `range`; called as (element, null, range) and
// (null, key, range), and must agree between an element and its key.
using hash_function = uint32_t (*)(void* element, const void* key, uint32_t range);

struct hash_table;

struct hash_iterator {
    void* current;    // null before the first step and after a removal
    uint32_t bucket;  // 0xFFFFFFFF before the first step
    // After hash_remove_current: the removed element's successor in its chain
    // (null when it was the last), which the next step returns.
    void* successor;
};

// Null when either function is null (with a message) or on allocation failure.
hash_table* hash_init(uint32_t table_size, int32_t next_offset, hash_compare_function compare,
                      hash_function hash);
// Frees the table; the elements are untouched. Always FSSH_OK.
status_code hash_free_table(hash_table* table);
// Pushes the element at the head of its chain; no duplicate check.
status_code hash_insert(hash_table* table, void* element);
// Unlinks the element (found by identity); FSSH_ERROR when absent.
status_code hash_remove(hash_table* table, void* element);
// Unlinks the iterator's current element; the iteration goes on with the
// element that followed it, so every element still ahead is visited once.
// Panics before the first step or when repeated. Other elements must not be
// removed while an iterator is open.
void hash_remove_current(hash_table* table, hash_iterator* iterator);
// Takes the head of the first non-empty bucket at or after *cookie (0 when
// cookie is null) out of the table and stores that bucket in *cookie.
void* hash_take_first(hash_table* table, uint32_t* cookie);
void* hash_find_element(hash_table* table, void* element);
// The most recently inserted element matching the key.
void* hash_lookup(hash_table* table, const void* key);
// Null iterator: one is allocated (null on failure); close it with
// free_iterator set. A caller-supplied iterator is closed without it.
hash_iterator* hash_open_iterator(hash_table* table, hash_iterator* iterator);
void hash_rewind_iterator(hash_table* table, hash_iterator* iterator);
void hash_close_iterator(hash_table* table, hash_iterator* iterator, bool free_iterator);
// Elements bucket by bucket, newest first within a bucket; null at the end.
void* hash_next(hash_table* table, hash_iterator* iterator);
uint32_t hash_count(hash_table* table);

// String hash: h = (((h >> 28) ^ h) << 4) ^ c for each byte taken as a signed char.
uint32_t hash_string(const char* text);

}  // namespace fssh
