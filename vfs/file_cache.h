#pragma once

// The per-file cache through which a file system reads and writes a file's
// contents. It keeps no data: every request is cut to the file size and handed
// to the file's read_pages or write_pages hook in transfers of at most 256 KiB,
// counted from the page boundary at which each transfer starts.

#include "kernel/kernel_stat.h"
#include "kernel/lock.h"
#include "kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct vnode;

constexpr size_t FILE_CACHE_PAGE_SIZE = 4096;
constexpr size_t FILE_CACHE_TRANSFER_SIZE = 0x40000;

struct file_cache {
    mutex lock;  // "file cache <device>:<node id>": guards the size, serialises requests
    dev_t device;
    ino_t node_id;
    vnode* node;  // looked up without a reference
    off_t size;   // bounds every request
};

// Sets up the file cache service; FSSH_OK. Called by vfs_init.
status_code file_cache_init();

// A cache for the node (device, id), which must be in the vnode table; null
// (with a message) when it is not or memory runs out.
file_cache* file_cache_create(dev_t device, ino_t node_id, off_t size);
void file_cache_delete(file_cache* cache);

// Stores the file size; a null cache is ignored. FSSH_OK.
status_code file_cache_set_size(file_cache* cache, off_t size);

// Nothing is held, so nothing is written: FSSH_OK, FSSH_INVALID_ARGUMENT for a
// null cache.
status_code file_cache_sync(file_cache* cache);

// Reads *length bytes at `position` through the read_pages hook with the
// cookie. A request is cut at the file size (*length becomes what remains, 0 at
// or beyond the end); the first failing transfer is the result. A null cache
// ends the process.
status_code file_cache_read(file_cache* cache, void* cookie, off_t position, void* buffer,
                            size_t* length);

// As file_cache_read, writing through write_pages. A null buffer writes zeros.
// The file system sets the new size before writing beyond the old one.
status_code file_cache_write(file_cache* cache, void* cookie, off_t position,
                             const void* buffer, size_t* length);

// The cache cannot be switched on or off; both end the process.
[[noreturn]] void file_cache_enable();
[[noreturn]] void file_cache_disable();

}  // namespace fssh
