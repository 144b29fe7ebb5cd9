#pragma once

// The services through which a file system makes its nodes known to the
// kernel and manages their references. The volume argument is the caller's
// own fs_volume; its id selects the mount.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace fssh {

// Creates a busy, unpublished vnode with one reference. A null private node is
// FSSH_INVALID_ARGUMENT; a node already in the table panics.
status_code reserve_vnode(fs_volume* volume, ino_t id, void* private_node, vnode_ops* ops);

// Makes the node visible with its file type bits `type` (creating it first, as
// reserve_vnode does, when it is absent). FSSH_INVALID_ARGUMENT when the node
// is absent with a null private node, present but not reserved, or present
// with a different private node. The flags are not used.
status_code publish_vnode(fs_volume* volume, ino_t id, void* private_node, vnode_ops* ops,
                          uint32_t type, uint32_t flags);

// Takes a reference on the node, loading it through the volume's get_vnode
// hook (with reenter true) when it is not known, and reports its private node.
status_code get_vnode(fs_volume* volume, ino_t id, void** private_node);

// Drops a reference taken by get_vnode or ref_vnode. FSSH_INVALID_ARGUMENT for
// an unknown node.
status_code put_vnode(fs_volume* volume, ino_t id);

// Adds a reference to a node the caller already holds.
status_code ref_vnode(fs_volume* volume, ino_t id);

// Marks the node removed; it is deleted (remove_vnode hook) when its last
// reference goes. FSSH_NOT_FOUND for an unknown node, FSSH_BUSY for a node
// that has a volume mounted on it. An unpublished node is dropped at once.
status_code remove_vnode(fs_volume* volume, ino_t id);

// Clears the removed mark; FSSH_OK even for an unknown node.
status_code cancel_vnode_removal(fs_volume* volume, ino_t id);

// Reports the removed mark; FSSH_INVALID_ARGUMENT for an unknown node.
status_code is_vnode_removed(fs_volume* volume, ino_t id, bool* removed);

}  // namespace fssh
