#pragma once

// The file system information record of kern_read_fs_info and
// kern_write_fs_info.

#include "kernel/kernel_stat.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

constexpr size_t FS_INFO_DEVICE_NAME_SIZE = 128;
constexpr size_t FS_INFO_VOLUME_NAME_SIZE = 256;
constexpr size_t FS_INFO_FS_NAME_SIZE = 32;

struct fs_info {
    dev_t dev;              // layer: the mount id
    ino_t root;             // layer: id of the volume's root node
    uint32_t flags;         // file system
    off_t block_size;       // file system
    off_t io_size;          // file system
    off_t total_blocks;     // file system
    off_t free_blocks;      // file system
    off_t total_nodes;      // file system
    off_t free_nodes;       // file system
    char device_name[FS_INFO_DEVICE_NAME_SIZE];  // layer: the mount's device, if any
    char volume_name[FS_INFO_VOLUME_NAME_SIZE];  // file system
    char fsh_name[FS_INFO_FS_NAME_SIZE];         // layer: the short file system name
};

}  // namespace fssh
