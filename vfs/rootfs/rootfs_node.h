#pragma once

// A node of the root file system (a directory or a symbolic link) and the
// sorted list of entries each directory keeps. The caller holds the volume's
// write lock for every change.

#include "kernel/item_list.h"
#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct rootfs_node {
    rootfs_node* table_next;  // next node in the same node-table bucket
    ino_t id;
    char* name;  // the entry name; "." for the root
    kernel_timespec modification_time;  // also changed when an entry comes or goes
    kernel_timespec creation_time;
    uint32_t user_id;
    uint32_t group_id;
    rootfs_node* parent;  // the root is its own parent
    rootfs_node* next_sibling;
    uint32_t mode;

    // Directories: entries sorted by strcmp, and the open directory cookies.
    rootfs_node* first_child;
    item_list cookies;
    mutex cookies_lock;  // "rootfs dir cookies"

    // Symbolic links.
    char* link_target;
    size_t link_length;
};

inline bool rootfs_node_is_directory(const rootfs_node* node)
{
    return FSSH_S_ISDIR(node->mode);
}

inline bool rootfs_node_is_symlink(const rootfs_node* node)
{
    return FSSH_S_ISLNK(node->mode);
}

// check_permission_bits for the current user on this node.
status_code rootfs_check_access(const rootfs_node* node, uint32_t access_mode);

// FSSH_OK for a directory the current user may change; FSSH_NOT_A_DIRECTORY
// for anything else.
status_code rootfs_check_writable_directory(const rootfs_node* directory);

// The wall-clock time as a time stamp.
kernel_timespec rootfs_now();

// Creates a node outside any directory or table: owned by the current user,
// in the parent's group (the current group without a parent), both times now.
// A symbolic link gets a copy of `link_target`. FSSH_NO_MEMORY when any part
// cannot be allocated.
status_code rootfs_node_create(ino_t id, const char* name, uint32_t mode,
                               const rootfs_node* parent, const char* link_target,
                               rootfs_node** out);

// Frees a node that is in no directory and no table.
void rootfs_node_free(rootfs_node* node);

// The child of `directory` with this name, or null.
rootfs_node* rootfs_find_child(const rootfs_node* directory, const char* name);

// What a name means in a directory: "." the directory, ".." its parent, any
// other name a child. Null when there is no such entry.
rootfs_node* rootfs_find_entry(rootfs_node* directory, const char* name);

// Links the node into the directory at its place in name order and makes the
// directory its parent; the directory's modification time becomes now (a
// change announced for the volume `device`).
void rootfs_insert_child(dev_t device, rootfs_node* directory, rootfs_node* node);

// Unlinks the node from the directory; open cookies that were about to return
// it move on to its successor. The directory's modification time becomes now.
void rootfs_remove_child(dev_t device, rootfs_node* directory, rootfs_node* node);

// Whether the node is linked in its parent's entry list.
bool rootfs_is_linked(const rootfs_node* node);

}  // namespace fssh
