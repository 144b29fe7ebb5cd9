#include "kernel/hash_table.h"

#include "kernel/debug.h"

#include <cstring>
#include <new>

namespace fssh {

struct hash_table {
    void** buckets;
    int32_t next_offset;
    uint32_t table_size;
    int32_t count;
    hash_compare_function compare;
    hash_function hash;
};

namespace {

constexpr uint32_t BEFORE_FIRST_BUCKET = 0xFFFFFFFF;

// The element's next-in-chain link is read and written bytewise: it is a
// pointer field of the caller's element type, not necessarily a void*.
void* next_of(const hash_table* table, void* element)
{
    void* next;
    memcpy(&next, static_cast<char*>(element) + table->next_offset, sizeof(next));
    return next;
}

void set_next(const hash_table* table, void* element, void* next)
{
    memcpy(static_cast<char*>(element) + table->next_offset, &next, sizeof(next));
}

void** bucket_of(hash_table* table, void* element)
{
    return &table->buckets[table->hash(element, nullptr, table->table_size)];
}

// The place that points at `element` in the chain starting at `head`: the
// bucket head or a predecessor's link, as an element (null for the head).
// Returns false when the element is not in the chain.
bool find_predecessor(hash_table* table, void* head, void* element, void** predecessor)
{
    *predecessor = nullptr;
    for (void* current = head; current != nullptr; current = next_of(table, current)) {
        if (current == element)
            return true;
        *predecessor = current;
    }
    return false;
}

// Unlinks `element` from the chain of `bucket`; false when it is not there.
bool unlink_from_bucket(hash_table* table, void** bucket, void* element)
{
    void* predecessor;
    if (!find_predecessor(table, *bucket, element, &predecessor))
        return false;
    void* successor = next_of(table, element);
    if (predecessor == nullptr)
        *bucket = successor;
    else
        set_next(table, predecessor, successor);
    table->count--;
    return true;
}

}  // namespace

hash_table* hash_init(uint32_t table_size, int32_t next_offset, hash_compare_function compare,
                      hash_function hash)
{
    if (compare == nullptr || hash == nullptr) {
        debug_printf("hash_init() called with NULL function pointer\n");
        return nullptr;
    }
    hash_table* table = new (std::nothrow) hash_table;
    if (table == nullptr)
        return nullptr;
    table->buckets = new (std::nothrow) void*[table_size]();
    if (table->buckets == nullptr) {
        delete table;
        return nullptr;
    }
    table->next_offset = next_offset;
    table->table_size = table_size;
    table->count = 0;
    table->compare = compare;
    table->hash = hash;
    return table;
}

status_code hash_free_table(hash_table* table)
{
    if (table == nullptr)
        return FSSH_OK;
    delete[] table->buckets;
    delete table;
    return FSSH_OK;
}

status_code hash_insert(hash_table* table, void* element)
{
    void** bucket = bucket_of(table, element);
    set_next(table, element, *bucket);
    *bucket = element;
    table->count++;
    return FSSH_OK;
}

status_code hash_remove(hash_table* table, void* element)
{
    return unlink_from_bucket(table, bucket_of(table, element), element) ? FSSH_OK : FSSH_ERROR;
}

void hash_remove_current(hash_table* table, hash_iterator* iterator)
{
    void* element = iterator->current;
    if (element == nullptr)
        panic("hash_remove_current() called too early.");
    iterator->successor = next_of(table, element);
    unlink_from_bucket(table, &table->buckets[iterator->bucket], element);
    iterator->current = nullptr;
}

void* hash_take_first(hash_table* table, uint32_t* cookie)
{
    for (uint32_t index = cookie != nullptr ? *cookie : 0; index < table->table_size; index++) {
        void* element = table->buckets[index];
        if (element == nullptr)
            continue;
        table->buckets[index] = next_of(table, element);
        table->count--;
        if (cookie != nullptr)
            *cookie = index;
        return element;
    }
    return nullptr;
}

void* hash_find_element(hash_table* table, void* element)
{
    void* predecessor;
    return find_predecessor(table, *bucket_of(table, element), element, &predecessor) ? element
                                                                                       : nullptr;
}

void* hash_lookup(hash_table* table, const void* key)
{
    void* element = table->buckets[table->hash(nullptr, key, table->table_size)];
    while (element != nullptr && table->compare(element, key) != 0)
        element = next_of(table, element);
    return element;
}

hash_iterator* hash_open_iterator(hash_table* table, hash_iterator* iterator)
{
    if (iterator == nullptr) {
        iterator = new (std::nothrow) hash_iterator;
        if (iterator == nullptr)
            return nullptr;
    }
    hash_rewind_iterator(table, iterator);
    return iterator;
}

void hash_rewind_iterator(hash_table* /*table*/, hash_iterator* iterator)
{
    iterator->current = nullptr;
    iterator->bucket = BEFORE_FIRST_BUCKET;
    iterator->successor = nullptr;
}

void hash_close_iterator(hash_table* /*table*/, hash_iterator* iterator, bool free_iterator)
{
    if (free_iterator)
        delete iterator;
}

void* hash_next(hash_table* table, hash_iterator* iterator)
{
    void* following = iterator->current != nullptr ? next_of(table, iterator->current)
                                                   : iterator->successor;
    iterator->successor = nullptr;
    iterator->current = following;
    if (following != nullptr)
        return following;

    // The start value BEFORE_FIRST_BUCKET wraps to bucket 0.
    for (uint32_t index = iterator->bucket + 1; index < table->table_size; index++) {
        if (table->buckets[index] != nullptr) {
            iterator->bucket = index;
            iterator->current = table->buckets[index];
            return iterator->current;
        }
    }
    return nullptr;
}

uint32_t hash_count(hash_table* table)
{
    return static_cast<uint32_t>(table->count);
}

uint32_t hash_string(const char* text)
{
    uint32_t hash = 0;
    for (const char* c = text; *c != '\0'; c++) {
        uint32_t byte = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*c)));
        hash = (((hash >> 28) ^ hash) << 4) ^ byte;
    }
    return hash;
}

}  // namespace fssh
