#pragma once

// The kernel's stat record, filled by read_stat hooks and the host file layer,
// and the file type bits of its mode.

#include <cstdint>

namespace fssh {

using ino_t = int64_t;  // node id
using dev_t = int32_t;  // device: a mount id
using off_t = int64_t;

constexpr uint32_t FSSH_S_IFMT = 0xF000;
constexpr uint32_t FSSH_S_IFIFO = 0x1000;
constexpr uint32_t FSSH_S_IFCHR = 0x2000;
constexpr uint32_t FSSH_S_IFDIR = 0x4000;
constexpr uint32_t FSSH_S_IFBLK = 0x6000;
constexpr uint32_t FSSH_S_IFREG = 0x8000;
constexpr uint32_t FSSH_S_IFLNK = 0xA000;
constexpr uint32_t FSSH_S_IFSOCK = 0xC000;

constexpr bool FSSH_S_ISDIR(uint32_t mode) { return (mode & FSSH_S_IFMT) == FSSH_S_IFDIR; }
constexpr bool FSSH_S_ISREG(uint32_t mode) { return (mode & FSSH_S_IFMT) == FSSH_S_IFREG; }
constexpr bool FSSH_S_ISLNK(uint32_t mode) { return (mode & FSSH_S_IFMT) == FSSH_S_IFLNK; }

struct kernel_timespec {
    int64_t tv_sec;
    int64_t tv_nsec;
};

struct kernel_stat {
    dev_t st_dev;  // the mount id, set by the layer
    ino_t st_ino;  // set by the layer
    uint32_t st_mode;
    int32_t st_nlink;
    uint32_t st_uid;
    uint32_t st_gid;
    off_t st_size;
    dev_t st_rdev;
    int32_t st_blksize;
    kernel_timespec st_atim;
    kernel_timespec st_mtim;
    kernel_timespec st_ctim;
    kernel_timespec st_crtim;
    uint32_t st_type;
    int64_t st_blocks;  // in 512-byte units
};

}  // namespace fssh
