#pragma once

// Adding nodes to and removing entries from the root file system. The caller
// holds the volume's write lock.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct rootfs_node;
struct rootfs_volume;

// Creates a node with the next id and puts it into the node table and, with a
// name, into `directory`. FSSH_FILE_EXISTS when the name is ".", ".." or an
// existing entry; FSSH_NOT_A_DIRECTORY when `directory` is not one.
status_code rootfs_add_node_locked(rootfs_volume* fs, rootfs_node* directory, const char* name,
                                   uint32_t mode, const char* link_target, rootfs_node** out);

// Undoes rootfs_add_node_locked for a node the layer never saw.
void rootfs_discard_node_locked(rootfs_volume* fs, rootfs_node* node);

// Removes the child `entry` of `directory`: the layer marks its vnode removed
// (a node something is mounted on gives FSSH_BUSY and stays), the entry leaves
// the directory, and the node is freed when the layer drops its last
// reference.
status_code rootfs_remove_entry_locked(rootfs_volume* fs, rootfs_node* directory,
                                       rootfs_node* entry);

}  // namespace fssh
