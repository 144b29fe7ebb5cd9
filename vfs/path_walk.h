#pragma once

// Resolving paths to vnodes: component by component through the lookup hooks,
// across mounts in both directions and through symbolic links (at most 16 in
// a chain). Every result holds one vnode reference for the caller.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/path_buffer.h"
#include "vfs/vnode.h"

#include <cstddef>

namespace fssh {

// Walks `path` (modified in place) from `start`, whose reference the walk
// consumes. A final symbolic link is followed only with traverse_link.
// parent_id (may be null) receives the id of the directory that holds the
// result, -1 for an empty path.
status_code vnode_path_to_vnode(vnode* start, char* path, bool traverse_link, int link_depth,
                                vnode** out, ino_t* parent_id);

// Walks an absolute path from the root vnode and a relative one from the
// global I/O context's working directory; FSSH_ERROR when that start is
// missing.
status_code path_to_vnode(char* path, bool traverse_link, vnode** out, ino_t* parent_id);

// Walks `path` relative to descriptor `fd` (-1: as path_to_vnode). An absolute
// path ignores the descriptor; a null path gives the descriptor's own vnode.
// FSSH_BAD_FILE_DESCRIPTOR for a descriptor without a vnode.
status_code fd_and_path_to_vnode(int fd, char* path, bool traverse_link, vnode** out,
                                 ino_t* parent_id);

// Splits `path` (see split_path) and resolves its directory relative to `fd`,
// following links; `leaf` receives the entry name (NAME_BUFFER_SIZE bytes).
status_code fd_and_path_to_dir_vnode(int fd, char* path, vnode** out, char* leaf);

// Copies the caller's `path` (null: the descriptor's own vnode) into a private
// buffer of `path_limit` bytes and resolves it as fd_and_path_to_vnode does.
status_code resolve_path(int fd, const char* path, bool traverse_link, VnodeReference& out,
                         size_t path_limit = PATH_BUFFER_SIZE);

}  // namespace fssh
