#pragma once

// The root file system's hooks on single nodes: status, opening, the refused
// file operations, and the end of a node's life.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

// Nothing to release: the node stays in the volume until it is removed.
status_code rootfs_put_vnode(fs_volume* volume, fs_vnode* vnode, bool reenter);

// Frees a removed node. The node must no longer be an entry of its directory
// (the process ends otherwise); a node that still has entries stays.
status_code rootfs_remove_vnode(fs_volume* volume, fs_vnode* vnode, bool reenter);

// There are no pages: FSSH_NOT_PERMITTED.
status_code rootfs_read_pages(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                              const iovec* vectors, size_t count, size_t* byte_count);
status_code rootfs_write_pages(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                               const iovec* vectors, size_t count, size_t* byte_count);

// No control requests: FSSH_INVALID_ARGUMENT.
status_code rootfs_ioctl(fs_volume* volume, fs_vnode* vnode, void* cookie, uint32_t operation,
                         void* buffer, size_t length);

// Nothing to write: FSSH_OK.
status_code rootfs_fsync(fs_volume* volume, fs_vnode* vnode);

// One link, size = link length for a symbolic link (else 0), access time now.
status_code rootfs_read_stat(fs_volume* volume, fs_vnode* vnode, kernel_stat* stat);

// Changes permission bits, owner, group, modification and creation time as
// the mask selects; the size cannot be set (FSSH_INVALID_ARGUMENT). A refused
// field gives FSSH_NOT_PERMITTED and leaves the fields after it unchanged.
status_code rootfs_write_stat(fs_volume* volume, fs_vnode* vnode, const kernel_stat* stat,
                              uint32_t mask);

// There are no regular files: FSSH_INVALID_ARGUMENT.
status_code rootfs_create(fs_volume* volume, fs_vnode* directory, const char* name,
                          uint32_t open_mode, uint32_t permissions, void** cookie,
                          ino_t* new_id);

// Checks the open mode against the node; the cookie is null. A directory
// opened for writing is FSSH_IS_A_DIRECTORY.
status_code rootfs_open(fs_volume* volume, fs_vnode* vnode, uint32_t open_mode, void** cookie);

// close, close_dir and free_cookie: nothing to do.
status_code rootfs_close(fs_volume* volume, fs_vnode* vnode, void* cookie);

// No contents: reading is FSSH_INVALID_ARGUMENT, writing FSSH_NOT_PERMITTED.
status_code rootfs_read(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                        void* buffer, size_t* length);
status_code rootfs_write(fs_volume* volume, fs_vnode* vnode, void* cookie, off_t position,
                         const void* buffer, size_t* length);

}  // namespace fssh
