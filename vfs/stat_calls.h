#pragma once

// Kernel calls on the status of nodes and volumes, access checks and the
// working directory. "fd" is a descriptor of the global I/O context, or -1.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_info.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

// FSSH_OK when the node (following links) grants `mode` (4 read, 2 write,
// 1 execute).
status_code kern_access(const char* path, uint32_t mode);

// Reads the status of `path` (relative to fd; a final link followed only with
// traverse_link), or of the descriptor itself without a path. st_dev and
// st_ino are the mount id and node id. Only the first stat_size bytes are
// written; a size above sizeof(kernel_stat) is FSSH_INVALID_ARGUMENT.
status_code kern_read_stat(int fd, const char* path, bool traverse_link, kernel_stat* stat,
                           size_t stat_size);

// Applies the fields of `stat` selected by `mask` (vfs/write_stat_mask.h). A
// record shorter than sizeof(kernel_stat) is read as zero beyond its end.
status_code kern_write_stat(int fd, const char* path, bool traverse_link,
                            const kernel_stat* stat, size_t stat_size, uint32_t mask);

// Makes the directory `path` (or the descriptor's) the working directory;
// FSSH_NOT_A_DIRECTORY leaves it unchanged.
status_code kern_setcwd(int fd, const char* path);

// Fills the information record of the volume with this mount id.
status_code kern_read_fs_info(dev_t device, fs_info* info);

// Hands the record to the volume's write_fs_info hook with `mask`.
status_code kern_write_fs_info(dev_t device, const fs_info* info, uint32_t mask);

// Enumerates the mounted volumes: the first mount id at or above *cookie, with
// *cookie moved past it. FSSH_NOT_FOUND when there is none left.
dev_t kern_next_device(int32_t* cookie);

}  // namespace fssh
