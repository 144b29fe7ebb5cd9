#pragma once

// The root file system's hooks on directory entries: lookup, creating and
// removing directories and symbolic links, reading links, and naming nodes.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

// ".", ".." or a child of the directory, referenced through get_vnode for the
// layer. FSSH_NOT_A_DIRECTORY on anything but a directory.
status_code rootfs_lookup(fs_volume* volume, fs_vnode* directory, const char* name, ino_t* id);

// The node's own name, cut to the buffer size.
status_code rootfs_get_vnode_name(fs_volume* volume, fs_vnode* vnode, char* buffer,
                                  size_t size);

// Copies up to *size bytes of the link text (no terminating zero) and sets
// *size to the full length. FSSH_INVALID_ARGUMENT for a node that is no link.
status_code rootfs_read_symlink(fs_volume* volume, fs_vnode* link, char* buffer, size_t* size);

// Creates an entry; FSSH_FILE_EXISTS for ".", ".." and existing names.
status_code rootfs_create_symlink(fs_volume* volume, fs_vnode* directory, const char* name,
                                  const char* target, uint32_t mode);
status_code rootfs_create_dir(fs_volume* volume, fs_vnode* directory, const char* name,
                              uint32_t permissions);

// Removes a non-directory entry; FSSH_IS_A_DIRECTORY for a directory.
status_code rootfs_unlink(fs_volume* volume, fs_vnode* directory, const char* name);

// Removes an empty directory: FSSH_NOT_A_DIRECTORY for anything else,
// FSSH_DIRECTORY_NOT_EMPTY while it has entries, FSSH_INVALID_ARGUMENT for
// "." and "..".
status_code rootfs_remove_dir(fs_volume* volume, fs_vnode* directory, const char* name);

// Creates and publishes a node of any mode, named in `directory` or (without
// a name) nameless; a super vnode receives the new node and these hooks.
status_code rootfs_make_node(fs_volume* volume, fs_vnode* directory, const char* name,
                             fs_vnode* sub_vnode, uint32_t mode, uint32_t flags,
                             fs_vnode* super_vnode, ino_t* new_id);

}  // namespace fssh
