#pragma once

// The I/O context: a descriptor table and a working directory. The program has
// one, the global I/O context, which every kernel call uses.

#include "kernel/lock.h"

#include <cstdint>

namespace fssh {

struct vnode;
struct file_descriptor;

// Slots of a context created without a parent.
constexpr uint32_t DEFAULT_FD_TABLE_SIZE = 128;

struct io_context {
    vnode* cwd;  // holds a reference; null until set
    mutex lock;  // "I/O context": guards the table, its counts and cwd
    uint32_t table_size;
    uint32_t used_count;
    file_descriptor** fds;      // null for a free slot
    uint8_t* close_on_exec;     // one bit per slot, least significant first
};

// Creates a context. With a parent it takes the parent's table size, working
// directory and every descriptor not marked close-on-exec; without one it has
// 128 slots and the root vnode (if any) as working directory. Null when memory
// runs out.
io_context* vfs_new_io_context(io_context* parent);

// Releases the working directory and closes and releases every descriptor of
// the context, then frees it.
void vfs_free_io_context(io_context* context);

// The context every kernel call uses; null until set.
io_context* get_global_io_context();
void set_global_io_context(io_context* context);

// The close-on-exec bit of a slot; the caller holds the context lock and the
// slot is below the table size.
bool fd_close_on_exec(const io_context* context, int fd);
void set_fd_close_on_exec(io_context* context, int fd, bool close_on_exec);

}  // namespace fssh
