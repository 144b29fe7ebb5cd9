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
constexpr uint32_t IOCTL_TRIM_RANGES = 25;        // refused: the host layer does not trim
constexpr uint32_t IOCTL_IGNORED = 10000;         // accepted and ignored

constexpr int32_t MAX_IO_VECTORS = 1024;

struct disk_geometry {
    uint32_t sector_size;
    uint32_t sectors_per_track;
    uint32_t cylinders;
    uint32_t heads;
    uint8_t media_type;  // always 0
    bool removable;      // always false
    bool read_only;      // the device refuses writes
    bool write_once;     // always false
};

// Opens a host file with kernel open flags (kernel/open_mode.h) and kernel
// mode bits; returns the descriptor number, which is the host fd. A symbolic
// link opened with FSSH_O_NOFOLLOW or FSSH_O_NOTRAVERSE is not followed: it
// gets a descriptor of its own (from 10000) that stands for the link's path.
int fssh_open(const char* path, uint32_t open_mode, uint32_t permissions);
// As fssh_open, with a relative `path` resolved against the directory
// descriptor `directory` (a negative `directory` uses `path` as it is).
int fssh_openat(int directory, const char* path, uint32_t open_mode, uint32_t permissions);
// Closes the descriptor and frees its number; returns the status of the close
// (FSSH_BAD_FILE_DESCRIPTOR for an unknown number) rather than -1.
status_code fssh_close(int descriptor);
// An independent copy of the descriptor under a new number.
int fssh_dup(int descriptor);

// Opens a host directory stream, with `path` resolved as by fssh_openat;
// returns a descriptor number (from 10000) for fssh_readdir and fssh_close.
int fssh_opendirat(int directory, const char* path);
// Copies the next entry's name into `name`: 1 when there was an entry, 0 at
// the end of the directory.
int fssh_readdir(int descriptor, char* name, size_t size);
int fssh_rewinddir(int descriptor);

// Positioned transfers on a host file descriptor; a position of -1 uses the
// current host position, and afterwards the position stands after the bytes
// transferred. Any byte range may be given: on a device, partial sectors are
// read (and for a write merged and written back) whole. A result short of the
// request means that the rest could not be transferred.
ssize_t fssh_pread(int descriptor, off_t position, void* buffer, size_t size);
ssize_t fssh_pwrite(int descriptor, off_t position, const void* buffer, size_t size);
ssize_t fssh_read(int descriptor, void* buffer, size_t size);
// On an attribute descriptor (kernel/host_attribute.h) this writes the bytes
// at the start of the attribute's value.
ssize_t fssh_write(int descriptor, const void* buffer, size_t size);
// At most MAX_IO_VECTORS vectors (more: FSSH_INVALID_ARGUMENT, before any
// I/O); the vectors are transferred in order until one falls short.
ssize_t fssh_preadv(int descriptor, off_t position, const iovec* vectors, int count);
ssize_t fssh_pwritev(int descriptor, off_t position, const iovec* vectors, int count);
ssize_t fssh_readv(int descriptor, const iovec* vectors, int count);
ssize_t fssh_writev(int descriptor, const iovec* vectors, int count);

// 0 or -1. IOCTL_QUERY_GEOMETRY: `argument` points to a disk_geometry and
// `length` is at least its size; a regular file gives FSSH_INVALID_ARGUMENT,
// something that is neither a file nor a disk the host's reason (FSSH_ENOTTY).
// IOCTL_FLUSH_WRITE_CACHE: the data written so far reaches stable storage
// before it returns; a failure of the host to flush is returned as such.
// IOCTL_IGNORED succeeds; every other request gives FSSH_INVALID_ARGUMENT.
int fssh_ioctl(int descriptor, uint32_t operation, void* argument, size_t length);

// The kernel stat record of the descriptor's object (of the link itself for a
// symbolic link descriptor), or of a host path.
int fssh_fstat(int descriptor, kernel_stat* stat);
int fssh_stat(const char* path, kernel_stat* stat);
int fssh_lstat(const char* path, kernel_stat* stat);
// whence 1: from the current position, 2: from the end, anything else: start.
off_t fssh_lseek(int descriptor, off_t offset, int whence);
int fssh_unlink(const char* path);

}  // namespace fssh
