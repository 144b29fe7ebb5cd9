#pragma once

// Descriptors of vnodes: files, directories, attributes and attribute
// directories, inserted into the global I/O context. Each function returns
// the new descriptor number or a negative status. The caller's vnode
// reference passes to the descriptor on success and stays with the caller on
// failure; a cookie the file system made is released again on failure.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct vnode;

// Opens the node as a file through its open hook. FSSH_BUSY when another
// descriptor holds the node's mandatory lock.
int open_vnode(vnode* node, uint32_t open_mode);

// Creates the entry `name` in `directory` through the create hook and opens
// the new node. The slot and the record are secured before the hook runs, so
// that a full table or a lack of memory never leaves a created entry behind
// (nor removes an existing one that the hook merely opened). The directory
// reference stays with the caller.
int create_and_open_vnode(vnode* directory, const char* name, uint32_t open_mode,
                          uint32_t permissions);

// Opens the node as a directory through its open_dir hook.
int open_dir_vnode(vnode* node);

// Opens the node's attribute directory.
int open_attr_dir_vnode(vnode* node);

// Opens the attribute `name` of the node, creating it with `type` when the
// open mode has FSSH_O_CREAT (with the same guarantee as
// create_and_open_vnode).
int open_attr_vnode(vnode* node, const char* name, uint32_t type, uint32_t open_mode);

}  // namespace fssh
