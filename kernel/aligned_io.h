#pragma once

// Host reads and writes at a host file's current position that respect the
// sector size of disk devices. Regular files are read and written as they
// are. On a device, a request that starts or ends inside a sector reads that
// whole sector into a one-sector buffer, and a write merges the caller's bytes
// into it and writes the whole sector back, so the device only ever sees
// whole-sector transfers at sector boundaries.
//
// Each returns the number of bytes transferred, or -1 with the host errno set
// when nothing was transferred. A result short of the request means that the
// rest could not be transferred; bytes after it are neither delivered (read)
// nor changed (write). Afterwards the host position stands after the bytes
// transferred. Failing host calls are reported on standard error.

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>

namespace fssh {

ssize_t aligned_read(int fd, void* buffer, size_t size);
ssize_t aligned_write(int fd, const void* buffer, size_t size);

// The vectors in order; a failure or short transfer ends the loop. Returns the
// total transferred, or -1 when a failure came before any byte; 0 vectors
// give 0.
ssize_t aligned_readv(int fd, const iovec* vectors, int count);
ssize_t aligned_writev(int fd, const iovec* vectors, int count);

}  // namespace fssh
