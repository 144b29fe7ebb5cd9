#pragma once

// Moving bytes between device extents (as a file map translates them) and
// memory vectors, with positioned vector I/O on the device. The helpers of the
// read_pages and write_pages hooks of file systems.

#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <sys/uio.h>

#include <cstddef>

namespace fssh {

// Memory vector pieces gathered into one host call at most.
constexpr size_t EXTENT_IO_MAX_PIECES = 8;

// Reads up to *bytes bytes from the extents, in order, into the memory vectors
// starting at (*vector_index, *vector_offset). A hole (negative device offset)
// reads as zeros and never reaches the device. A short device read or running
// out of memory vectors ends the call successfully early. On success *bytes is
// the number of bytes moved and the vector position stands after them.
// FSSH_INVALID_ARGUMENT without extents; a device failure is its status.
status_code read_extent_vecs(int fd, const file_io_vec* extents, size_t extent_count,
                             const iovec* vectors, size_t vector_count, size_t* vector_index,
                             size_t* vector_offset, size_t* bytes);

// As read_extent_vecs, writing. A hole among the extents the bytes would
// reach has no device bytes to write to: FSSH_INVALID_ARGUMENT, and nothing is
// written.
status_code write_extent_vecs(int fd, const file_io_vec* extents, size_t extent_count,
                              const iovec* vectors, size_t vector_count, size_t* vector_index,
                              size_t* vector_offset, size_t* bytes);

}  // namespace fssh
