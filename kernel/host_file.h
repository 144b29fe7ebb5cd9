#pragma once

// Host file access with POSIX-shaped entry points: the device (a disk device
// node or an image file) and host files are reached only through these. Any
// byte range may be read or written; on a device the layer turns requests into
// whole-sector host I/O. Failures return -1 and leave the status code in the
// kernel errno (get_kernel_errno()), unless stated otherwise.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

// Requests of fssh_ioctl.
constexpr uint32_t IOCTL_QUERY_GEOMETRY = 7;     // fills a disk_geometry
constexpr uint32_t IOCTL_FLUSH_WRITE_CACHE = 20;  // flushes the device's data to stable storage
constexpr uint32_t IOCTL_TRIM_RANGES = 25;

constexpr int32_t MAX_IO_VECTORS = 1024;

struct disk_geometry {
    uint32_t sector_size;
    uint32_t sectors_per_track;
    uint32_t cylinders;
    uint32_t heads;
    uint8_t media_type;  // always 0
    bool removable;      // always false
    bool read_only;      // always false
    bool write_once;     // always false
};

// Opens a host file with kernel open flags (kernel/open_mode.h) and kernel
// mode bits; returns the descriptor number.
int fssh_open(const char* path, uint32_t open_mode, uint32_t permissions);
status_code fssh_close(int descriptor);
int fssh_dup(int descriptor);

// Positioned transfers; a position of -1 uses the current host position.
ssize_t fssh_pread(int descriptor, off_t position, void* buffer, size_t size);
ssize_t fssh_pwrite(int descriptor, off_t position, const void* buffer, size_t size);
ssize_t fssh_read(int descriptor, void* buffer, size_t size);
ssize_t fssh_write(int descriptor, const void* buffer, size_t size);
// At most MAX_IO_VECTORS vectors.
ssize_t fssh_preadv(int descriptor, off_t position, const iovec* vectors, int count);
ssize_t fssh_pwritev(int descriptor, off_t position, const iovec* vectors, int count);
ssize_t fssh_readv(int descriptor, const iovec* vectors, int count);
ssize_t fssh_writev(int descriptor, const iovec* vectors, int count);

// 0 or -1.
int fssh_ioctl(int descriptor, uint32_t operation, void* argument, size_t length);

int fssh_fstat(int descriptor, kernel_stat* stat);
int fssh_stat(const char* path, kernel_stat* stat);
int fssh_lstat(const char* path, kernel_stat* stat);
// whence 1: from the current position, 2: from the end, anything else: start.
off_t fssh_lseek(int descriptor, off_t offset, int whence);
int fssh_unlink(const char* path);

}  // namespace fssh
