#pragma once

// Kernel calls on the attributes of a node. "fd" is a descriptor of the
// global I/O context (or -1 with a path).

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

// Opens the attribute directory of `path` (relative to fd; null: the
// descriptor's node) and returns its descriptor number.
int kern_open_attr_dir(int fd, const char* path);

// Opens (with FSSH_O_CREAT: creates) the attribute `name` of `path` (null: the
// descriptor's node) and returns its descriptor number. An attribute is
// created only once its descriptor's record and slot are secured, as
// kern_open creates files.
int kern_open_attr(int fd, const char* path, const char* name, uint32_t type,
                   uint32_t open_mode);

// Removes the attribute `name` of the descriptor's node.
status_code kern_remove_attr(int fd, const char* name);

// FSSH_CROSS_DEVICE_LINK when the two nodes are on different mounts.
status_code kern_rename_attr(int from_fd, const char* from_name, int to_fd, const char* to_name);

}  // namespace fssh
