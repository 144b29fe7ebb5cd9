#pragma once

// The descriptor calls on the global I/O context. A negative or unknown
// descriptor number, or a free slot, gives FSSH_BAD_FILE_DESCRIPTOR.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/dirent.h"
#include "vfs/fs_interface.h"

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

// kern_fcntl operations.
constexpr int FSSH_F_DUPFD = 1;
constexpr int FSSH_F_GETFD = 2;
constexpr int FSSH_F_SETFD = 4;
constexpr int FSSH_F_GETFL = 8;
constexpr int FSSH_F_SETFL = 16;

// Open-mode bits kern_fcntl FSSH_F_SETFL may change.
constexpr uint32_t FSSH_FCNTL_MODE_BITS = 0x880;

// kern_seek whence values.
constexpr int FSSH_SEEK_SET = 0;
constexpr int FSSH_SEEK_CUR = 1;
constexpr int FSSH_SEEK_END = 2;

// Reads at `position` (-1: the descriptor's position) and leaves the
// descriptor's position after the bytes read. Returns the byte count.
// FSSH_BAD_FILE_DESCRIPTOR on a write-only descriptor, FSSH_INVALID_ARGUMENT
// on a descriptor that cannot be read (a directory).
ssize_t kern_read(int fd, off_t position, void* buffer, size_t length);

// As kern_read, writing; FSSH_BAD_FILE_DESCRIPTOR on a read-only descriptor.
ssize_t kern_write(int fd, off_t position, const void* buffer, size_t length);

// One transfer per vector, summed (saturating); the first failure is the
// result.
ssize_t kern_readv(int fd, off_t position, const iovec* vectors, size_t count);
ssize_t kern_writev(int fd, off_t position, const iovec* vectors, size_t count);

// Sets the position relative to the start, the current position or the end
// and returns it. FSSH_ESPIPE for descriptors without positions.
off_t kern_seek(int fd, off_t offset, int whence);

// Hands a control request to the file system; FSSH_EOPNOTSUPP for descriptors
// or nodes without an ioctl hook.
status_code kern_ioctl(int fd, uint32_t operation, void* buffer, size_t length);

// Reads up to `count` entries into the buffer; returns the number read, 0 at
// the end of the directory. Entries report nodes across mounts: a mount point
// as the mounted root, ".." of a mounted root as the directory above the mount
// point. kern_rewind_dir starts the directory over.
status_code kern_read_dir(int fd, kernel_dirent* buffer, size_t buffer_size, uint32_t count);
status_code kern_rewind_dir(int fd);

// Frees the slot; the descriptor is closed when its last slot goes and freed
// with its last reference.
status_code kern_close(int fd);

// Another slot for the same descriptor: the lowest free one, or `target`
// (closing what was there).
int kern_dup(int fd);
int kern_dup2(int fd, int target);

// Descriptor control for descriptors of vnodes; see the FSSH_F_* operations.
int kern_fcntl(int fd, int operation, uint32_t argument);

// Mandatory node locks: FSSH_BUSY when another descriptor holds the node's
// lock; unlocking by a descriptor that does not hold it is
// FSSH_INVALID_ARGUMENT.
status_code kern_lock_node(int fd);
status_code kern_unlock_node(int fd);

// Asynchronous request I/O does not exist: both entry points end the process.
using iterative_io_get_vecs = status_code (*)(void* cookie, io_request* request, off_t offset,
                                              size_t size, file_io_vec* vectors, size_t* count);
using iterative_io_finished = status_code (*)(void* cookie, io_request* request,
                                              status_code status, bool partial_transfer,
                                              size_t bytes_transferred);
[[noreturn]] status_code do_fd_io(int fd, io_request* request);
[[noreturn]] status_code do_iterative_fd_io(int fd, io_request* request,
                                            iterative_io_get_vecs get_vecs,
                                            iterative_io_finished finished, void* cookie);

}  // namespace fssh
