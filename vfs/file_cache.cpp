#include "vfs/file_cache.h"

#include "kernel/debug.h"
#include "vfs/hook_calls.h"
#include "vfs/vnode.h"

#include <sys/uio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace fssh {

namespace {

constexpr size_t MUTEX_NAME_SIZE = 32;

using page_hook = status_code (*)(fs_volume* volume, fs_vnode* vnode, void* cookie,
                                  off_t position, const iovec* vectors, size_t count,
                                  size_t* byte_count);

struct free_deleter {
    void operator()(void* memory) const { free(memory); }
};

// Hands one transfer to the hook with the cache's lock released, so that the
// hook may use the cache itself.
status_code transfer(file_cache* cache, MutexLocker& locker, page_hook hook, void* cookie,
                     off_t position, void* memory, size_t size)
{
    if (hook == nullptr)
        return FSSH_EOPNOTSUPP;
    iovec vector{memory, size};
    size_t byte_count = size;
    locker.Unlock();
    status_code status =
        hook(volume_of(cache->node), &cache->node->fs, cookie, position, &vector, 1, &byte_count);
    locker.Lock();
    return status;
}

enum class io_direction { read, write };

// The common path of reads and writes. A null buffer stands for zeros when
// writing. *length is cut to what lies below the file size.
status_code cache_io(file_cache* cache, void* cookie, off_t position, char* buffer,
                     size_t* length, io_direction direction)
{
    if (cache == nullptr)
        panic("cache_io() called with NULL ref!\n");
    bool zeros = buffer == nullptr;
    if (zeros && direction == io_direction::read)
        return FSSH_BAD_ADDRESS;
    page_hook hook = direction == io_direction::read ? ops_of(cache->node)->read_pages
                                                     : ops_of(cache->node)->write_pages;
    MutexLocker locker(&cache->lock);
    if (position < 0 || position >= cache->size) {
        *length = 0;
        return FSSH_OK;
    }
    *length = std::min(*length, static_cast<size_t>(cache->size - position));
    if (*length == 0)
        return FSSH_OK;

    std::unique_ptr<char, free_deleter> zero_buffer;
    if (zeros) {
        zero_buffer.reset(static_cast<char*>(calloc(1, std::min(*length,
                                                                FILE_CACHE_TRANSFER_SIZE))));
        if (zero_buffer == nullptr)
            return FSSH_NO_MEMORY;
    }

    // Each transfer ends where 256 KiB from the page holding its first byte
    // end, or at the end of the request.
    off_t end = position + static_cast<off_t>(*length);
    size_t done = 0;
    while (position < end) {
        off_t page_start = position & ~static_cast<off_t>(FILE_CACHE_PAGE_SIZE - 1);
        off_t transfer_end =
            std::min(end, page_start + static_cast<off_t>(FILE_CACHE_TRANSFER_SIZE));
        size_t size = static_cast<size_t>(transfer_end - position);
        void* memory = zeros ? zero_buffer.get() : buffer + done;
        status_code status = transfer(cache, locker, hook, cookie, position, memory, size);
        if (status != FSSH_OK)
            return status;
        position = transfer_end;
        done += size;
    }
    return FSSH_OK;
}

}  // namespace

status_code file_cache_init()
{
    return FSSH_OK;
}

file_cache* file_cache_create(dev_t device, ino_t node_id, off_t size)
{
    file_cache* cache = new (std::nothrow) file_cache{};
    if (cache == nullptr)
        return nullptr;
    cache->device = device;
    cache->node_id = node_id;
    cache->size = size;
    cache->node = lookup_vnode(device, node_id);
    if (cache->node == nullptr) {
        debug_printf("file_cache_create(): Failed get vnode %d:%ld: %s\n", device,
                     static_cast<long>(node_id), status_text(FSSH_NOT_FOUND));
        delete cache;
        return nullptr;
    }
    char name[MUTEX_NAME_SIZE];
    snprintf(name, sizeof(name), "file cache %d:%ld", device, static_cast<long>(node_id));
    mutex_init(&cache->lock, name);
    return cache;
}

void file_cache_delete(file_cache* cache)
{
    if (cache == nullptr)
        return;
    mutex_lock(&cache->lock);
    mutex_destroy(&cache->lock);
    delete cache;
}

status_code file_cache_set_size(file_cache* cache, off_t size)
{
    if (cache == nullptr)
        return FSSH_OK;
    MutexLocker locker(&cache->lock);
    cache->size = size;
    return FSSH_OK;
}

status_code file_cache_sync(file_cache* cache)
{
    return cache == nullptr ? FSSH_INVALID_ARGUMENT : FSSH_OK;
}

status_code file_cache_read(file_cache* cache, void* cookie, off_t position, void* buffer,
                            size_t* length)
{
    return cache_io(cache, cookie, position, static_cast<char*>(buffer), length,
                    io_direction::read);
}

status_code file_cache_write(file_cache* cache, void* cookie, off_t position,
                             const void* buffer, size_t* length)
{
    // The hook only reads from the buffer it is given.
    return cache_io(cache, cookie, position, static_cast<char*>(const_cast<void*>(buffer)),
                    length, io_direction::write);
}

void file_cache_enable()
{
    panic("fssh_file_cache_enable() called");
}

void file_cache_disable()
{
    panic("fssh_file_cache_disable() called");
}

}  // namespace fssh
