#pragma once

// Reading the root file system's directories: a cookie per open directory
// that returns ".", ".." and then the entries in name order, one per call,
// and that moves on when the entry it would return next is removed.

#include "kernel/item_list.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "vfs/dirent.h"
#include "vfs/fs_interface.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct rootfs_node;

enum rootfs_dir_position : int32_t {
    ROOTFS_DIR_DOT = 0,       // "." comes next
    ROOTFS_DIR_DOT_DOT = 1,   // ".." comes next
    ROOTFS_DIR_CHILDREN = 2,  // next_child comes next (none: the end)
};

struct rootfs_dir_cookie {
    list_link link;  // in the directory's cookie list
    mutex lock;      // "rootfs dir cookie"
    rootfs_node* next_child;
    rootfs_dir_position position;
};

// FSSH_INVALID_ARGUMENT for a node that is no directory.
status_code rootfs_open_dir(fs_volume* volume, fs_vnode* vnode, void** cookie);
status_code rootfs_free_dir_cookie(fs_volume* volume, fs_vnode* vnode, void* cookie);

// Fills one entry (count 1), or none at the end (count 0). FSSH_ENOBUFS when
// the entry does not fit; the cookie then stays where it is.
status_code rootfs_read_dir(fs_volume* volume, fs_vnode* vnode, void* cookie,
                            kernel_dirent* buffer, size_t buffer_size, uint32_t* count);
status_code rootfs_rewind_dir(fs_volume* volume, fs_vnode* vnode, void* cookie);

}  // namespace fssh
