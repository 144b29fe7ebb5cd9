#pragma once

// Host attribute emulation: typed file attributes kept on host files as user
// extended attributes (see kernel/attribute_value.h for the host names and
// the stored layout). The mounted file system never reaches it. Every entry
// point takes a host file descriptor of the host file layer and returns -1
// with the status in the kernel errno on failure; a missing attribute gives
// FSSH_NOT_FOUND.

#include "kernel/kernel_stat.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

struct attr_info {
    uint32_t type;
    off_t size;
};

// The name under which the type of a file is kept; a failed write of it on a
// symbolic link, which cannot carry attributes here, is ignored.
constexpr char FILE_TYPE_ATTRIBUTE[] = "QUIL:TYPE";

// Opens a listing of the file's attributes; returns a descriptor number (from
// 10000) for fssh_fs_read_attr_dir and fssh_close.
int fssh_fs_open_attr_dir(int descriptor);
// Copies the next attribute's name into `name`: 1 when there was one, 0 at
// the end of the listing.
int fssh_fs_read_attr_dir(int descriptor, char* name, size_t size);
int fssh_fs_rewind_attr_dir(int descriptor);

// Opens one attribute (see AttributeDescriptor::Open for the open modes);
// returns a descriptor number (from 10000). fssh_write on it stores into the
// attribute.
int fssh_fs_open_attr(int descriptor, const char* name, uint32_t type, uint32_t open_mode);

// Copies up to `size` bytes of the value from `position` on; returns the count.
ssize_t fssh_fs_read_attr(int descriptor, const char* name, off_t position, void* buffer,
                          size_t size);
// Writes bytes into the value at `position` (creating the attribute, zero-
// filling any gap after its old end) and gives it type `type`; returns `size`.
ssize_t fssh_fs_write_attr(int descriptor, const char* name, uint32_t type, off_t position,
                           const void* buffer, size_t size);
int fssh_fs_remove_attr(int descriptor, const char* name);
int fssh_fs_stat_attr(int descriptor, const char* name, attr_info* info);

}  // namespace fssh
