#include "vfs/rootfs/rootfs_node_table.h"

#include "vfs/rootfs/rootfs_node.h"

#include <cstdlib>

namespace fssh {

namespace {

constexpr uint32_t MINIMUM_BUCKETS = 8;

// Load limits in 1/256ths of the bucket count.
constexpr uint32_t GROW_LOAD = 200;
constexpr uint32_t SHRINK_LOAD = 50;

uint32_t bucket_of(ino_t id, uint32_t bucket_count)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(id) & (bucket_count - 1));
}

// Moves every chain into a new array of `bucket_count` buckets; the table is
// left as it was when the array cannot be allocated.
status_code rehash(rootfs_node_table* table, uint32_t bucket_count)
{
    auto** buckets = static_cast<rootfs_node**>(calloc(bucket_count, sizeof(rootfs_node*)));
    if (buckets == nullptr)
        return FSSH_NO_MEMORY;
    for (uint32_t old = 0; old < table->bucket_count; old++) {
        rootfs_node* node = table->buckets[old];
        while (node != nullptr) {
            rootfs_node* next = node->table_next;
            uint32_t bucket = bucket_of(node->id, bucket_count);
            node->table_next = buckets[bucket];
            buckets[bucket] = node;
            node = next;
        }
    }
    free(table->buckets);
    table->buckets = buckets;
    table->bucket_count = bucket_count;
    return FSSH_OK;
}

// Unlinks the node from its chain; false when it is not in the table.
bool unlink_node(rootfs_node_table* table, rootfs_node* node)
{
    if (table->bucket_count == 0)
        return false;
    rootfs_node** link = &table->buckets[bucket_of(node->id, table->bucket_count)];
    while (*link != nullptr && *link != node)
        link = &(*link)->table_next;
    if (*link == nullptr)
        return false;
    *link = node->table_next;
    node->table_next = nullptr;
    table->node_count--;
    return true;
}

}  // namespace

status_code rootfs_node_table_init(rootfs_node_table* table, uint32_t bucket_count)
{
    *table = {};
    return rehash(table, bucket_count);
}

void rootfs_node_table_destroy(rootfs_node_table* table)
{
    free(table->buckets);
    *table = {};
}

rootfs_node* rootfs_node_table_find(const rootfs_node_table* table, ino_t id)
{
    if (table->bucket_count == 0)
        return nullptr;
    rootfs_node* node = table->buckets[bucket_of(id, table->bucket_count)];
    while (node != nullptr && node->id != id)
        node = node->table_next;
    return node;
}

status_code rootfs_node_table_insert(rootfs_node_table* table, rootfs_node* node)
{
    if (table->bucket_count == 0) {
        status_code status = rehash(table, MINIMUM_BUCKETS);
        if (status != FSSH_OK)
            return status;
    } else if (table->node_count >= table->bucket_count * GROW_LOAD / 256) {
        // A failed growth only makes the chains longer.
        rehash(table, table->bucket_count * 2);
    }
    uint32_t bucket = bucket_of(node->id, table->bucket_count);
    node->table_next = table->buckets[bucket];
    table->buckets[bucket] = node;
    table->node_count++;
    return FSSH_OK;
}

void rootfs_node_table_remove(rootfs_node_table* table, rootfs_node* node)
{
    if (!unlink_node(table, node))
        return;
    if (table->bucket_count > MINIMUM_BUCKETS
        && table->node_count < table->bucket_count * SHRINK_LOAD / 256) {
        // A failed shrink keeps the larger array, which still works.
        rehash(table, table->bucket_count / 2);
    }
}

rootfs_node* rootfs_node_table_take_any(rootfs_node_table* table)
{
    for (uint32_t bucket = 0; bucket < table->bucket_count; bucket++) {
        rootfs_node* node = table->buckets[bucket];
        if (node != nullptr) {
            unlink_node(table, node);
            return node;
        }
    }
    return nullptr;
}

}  // namespace fssh
