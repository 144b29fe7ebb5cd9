#pragma once

// The root file system's table of all its nodes by id: chained buckets whose
// count is a power of two, doubled before an insertion into a table that is
// about 78% full and halved after a removal leaves it below about 20% (never
// below 8 buckets).

#include "kernel/kernel_stat.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct rootfs_node;

struct rootfs_node_table {
    rootfs_node** buckets;  // chains linked through rootfs_node::table_next
    uint32_t bucket_count;  // a power of two, or 0 before init
    uint32_t node_count;
};

// Creates the buckets; FSSH_NO_MEMORY when they cannot be allocated.
status_code rootfs_node_table_init(rootfs_node_table* table, uint32_t bucket_count);

// Frees the buckets; the nodes are the caller's.
void rootfs_node_table_destroy(rootfs_node_table* table);

// The node with this id, or null.
rootfs_node* rootfs_node_table_find(const rootfs_node_table* table, ino_t id);

// Adds a node, growing the table first when it is full enough. A table that
// cannot grow keeps its buckets; FSSH_NO_MEMORY only when it has none.
status_code rootfs_node_table_insert(rootfs_node_table* table, rootfs_node* node);

// Takes a node out (by identity), then shrinks the table when it is sparse
// enough and the smaller bucket array can be allocated.
void rootfs_node_table_remove(rootfs_node_table* table, rootfs_node* node);

// Takes any one node out without resizing, or returns null when the table is
// empty; used to empty the table when the volume goes.
rootfs_node* rootfs_node_table_take_any(rootfs_node_table* table);

}  // namespace fssh
