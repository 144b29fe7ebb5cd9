#pragma once

// Kernel calls that open nodes or create, remove and rename directory
// entries. "fd" is a descriptor of the global I/O context that a relative path
// starts from, or -1 for the working directory. Every call releases every
// vnode reference it took before it returns.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

// Opens a file and returns its descriptor number. With FSSH_O_CREAT the
// directory's create hook makes the entry, and only once the descriptor's
// record and slot are secured: a full table or a lack of memory creates
// nothing. A final symbolic link is followed unless FSSH_O_NOTRAVERSE is set.
int kern_open(int fd, const char* path, uint32_t open_mode, uint32_t permissions);

// Opens a directory (following links) and returns its descriptor number.
int kern_open_dir(int fd, const char* path);

// The same by (mount id, directory id, entry name); a null name opens the
// directory itself.
int kern_open_entry_ref(dev_t device, ino_t directory, const char* name, uint32_t open_mode,
                        uint32_t permissions);
int kern_open_dir_entry_ref(dev_t device, ino_t directory, const char* name);

// Creates a directory; the by-id form names the parent by (mount id, id).
status_code kern_create_dir(int fd, const char* path, uint32_t permissions);
status_code kern_create_dir_entry_ref(dev_t device, ino_t directory, const char* name,
                                      uint32_t permissions);

// A final ".." is FSSH_NOT_PERMITTED; a final "." removes the directory it
// names (a/b/. removes b of a).
status_code kern_remove_dir(int fd, const char* path);

// Reads a link's text into the buffer without a terminating zero; size is the
// buffer size in and the link length out. Without a path the descriptor's
// node is read.
status_code kern_read_link(int fd, const char* path, char* buffer, size_t* size);

// Creates a symbolic link at `path` whose text is `target`.
status_code kern_create_symlink(int fd, const char* path, const char* target, uint32_t mode);

// Creates the entry `path` for the existing node `to_path`; both relative to
// the working directory. FSSH_CROSS_DEVICE_LINK across mounts.
status_code kern_create_link(const char* path, const char* to_path);

// Removes a directory entry that is not a directory.
status_code kern_unlink(int fd, const char* path);

// FSSH_CROSS_DEVICE_LINK when the two directories are on different mounts.
status_code kern_rename(int old_fd, const char* old_path, int new_fd, const char* new_path);

}  // namespace fssh
