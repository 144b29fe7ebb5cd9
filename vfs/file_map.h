#pragma once

// The per-file map from file offsets to device extents. It asks the file's
// get_file_map hook for extents as translations need them, merges neighbours
// that are contiguous on the device (or both holes), and keeps up to two
// extents without a heap allocation.

#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct vnode;

// Device offset of a hole: file bytes that have no device bytes.
constexpr off_t FILE_MAP_HOLE = -1;

// Modes: extents are fetched as translations need them, or all at once.
constexpr uint32_t FILE_MAP_ON_DEMAND = 1;
constexpr uint32_t FILE_MAP_WHOLE_FILE = 2;

constexpr size_t FILE_MAP_INLINE_EXTENTS = 2;

// A run of file bytes starting at `offset` that lies at disk.offset on the
// device (FILE_MAP_HOLE for a hole) for disk.length bytes.
struct file_extent {
    off_t offset;
    file_io_vec disk;
};

struct file_map {
    file_extent inline_extents[FILE_MAP_INLINE_EXTENTS];
    file_extent* heap_extents;  // used when more than two extents are held
    size_t capacity;            // of heap_extents
    mutex lock;                 // "file map": guards everything here
    size_t count;               // extents held, sorted by file offset, gap-free from 0
    vnode* node;                // looked up without a reference
    off_t size;                 // the file size
    bool complete;              // the whole file was mapped (mode FILE_MAP_WHOLE_FILE)
};

// A map for the node (device, id); null when the node is not in the vnode
// table or memory runs out.
file_map* file_map_create(dev_t device, ino_t node_id, off_t size);
void file_map_delete(file_map* map);

// Stores the file size; a smaller size drops the extents beyond it.
void file_map_set_size(file_map* map, off_t size);

// Drops the extents from `offset` on (all of them for offset 0), so that they
// are fetched again. The size is not used.
void file_map_invalidate(file_map* map, off_t offset, off_t size);

// FILE_MAP_WHOLE_FILE maps the whole file now and then refuses to map beyond
// it; FILE_MAP_ON_DEMAND goes back to mapping as needed. Any other mode is
// FSSH_INVALID_ARGUMENT.
status_code file_map_set_mode(file_map* map, uint32_t mode);

// Translates `size` bytes at `offset` into at most *count device extents
// (FILE_MAP_HOLE offsets for holes) and sets *count to the number used.
// The range is cut at the file size; with an alignment of 2 or more, a range
// that reaches the file size rounded up to the alignment has its last extent
// lengthened to that rounded size. FSSH_EOVERFLOW when more extents would be
// needed (*count is then full); count 0 for an offset at or beyond the file
// size; FSSH_INVALID_ARGUMENT for a negative offset.
status_code file_map_translate(file_map* map, off_t offset, size_t size, file_io_vec* vectors,
                               size_t* count, size_t alignment);

}  // namespace fssh
