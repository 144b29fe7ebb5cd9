#include "vfs/file_map.h"

#include "vfs/hook_calls.h"
#include "vfs/vnode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

// Extents asked of get_file_map per call.
constexpr size_t FETCH_EXTENTS = 8;

// The heap array doubles up to this many extents, then grows by this many.
constexpr size_t DOUBLING_LIMIT = 0x8000;

bool is_hole(off_t device_offset)
{
    return device_offset < 0;
}

file_extent* extents_of(file_map* map)
{
    return map->heap_extents != nullptr ? map->heap_extents : map->inline_extents;
}

off_t mapped_end(file_map* map)
{
    if (map->count == 0)
        return 0;
    const file_extent& last = extents_of(map)[map->count - 1];
    return last.offset + last.disk.length;
}

// Makes room for one more extent.
status_code reserve_one_more(file_map* map)
{
    size_t capacity = map->heap_extents != nullptr ? map->capacity : FILE_MAP_INLINE_EXTENTS;
    if (map->count < capacity)
        return FSSH_OK;
    size_t grown = capacity < DOUBLING_LIMIT ? capacity * 2 : capacity + DOUBLING_LIMIT;
    auto* extents = static_cast<file_extent*>(malloc(grown * sizeof(file_extent)));
    if (extents == nullptr)
        return FSSH_NO_MEMORY;
    memcpy(extents, extents_of(map), map->count * sizeof(file_extent));
    free(map->heap_extents);
    map->heap_extents = extents;
    map->capacity = grown;
    return FSSH_OK;
}

// Adds the device extent after the mapped part, merged into the last extent
// when it continues it on the device or both are holes.
status_code append_extent(file_map* map, const file_io_vec& disk)
{
    if (map->count > 0) {
        file_io_vec& last = extents_of(map)[map->count - 1].disk;
        bool both_holes = is_hole(last.offset) && is_hole(disk.offset);
        bool contiguous = !is_hole(last.offset) && !is_hole(disk.offset)
            && last.offset + last.length == disk.offset;
        if (both_holes || contiguous) {
            last.length += disk.length;
            return FSSH_OK;
        }
    }
    status_code status = reserve_one_more(map);
    if (status != FSSH_OK)
        return status;
    off_t offset = mapped_end(map);
    file_io_vec stored{is_hole(disk.offset) ? FILE_MAP_HOLE : disk.offset, disk.length};
    extents_of(map)[map->count++] = file_extent{offset, stored};
    return FSSH_OK;
}

// Drops every extent from `offset` on and cuts the one holding it there.
void cut_at(file_map* map, off_t offset)
{
    file_extent* extents = extents_of(map);
    while (map->count > 0 && extents[map->count - 1].offset >= offset)
        map->count--;
    if (map->count > 0) {
        file_extent& last = extents[map->count - 1];
        last.disk.length = std::min(last.disk.length, offset - last.offset);
    }
    if (map->heap_extents != nullptr && map->count <= FILE_MAP_INLINE_EXTENTS) {
        memcpy(map->inline_extents, map->heap_extents, map->count * sizeof(file_extent));
        free(map->heap_extents);
        map->heap_extents = nullptr;
        map->capacity = 0;
    }
}

status_code fetch_extents(file_map* map, off_t offset, file_io_vec* vectors, size_t* count)
{
    vnode* node = map->node;
    if (ops_of(node)->get_file_map == nullptr)
        return FSSH_EOPNOTSUPP;
    return ops_of(node)->get_file_map(volume_of(node), &node->fs, offset, SIZE_MAX, vectors,
                                      count);
}

// Maps the file up to `end`. FSSH_ERROR for a complete map asked beyond what
// it holds, and when the file system maps nothing further.
status_code fill_to(file_map* map, off_t end)
{
    off_t mapped = mapped_end(map);
    if (map->complete && end > mapped)
        return FSSH_ERROR;
    while (mapped < end) {
        file_io_vec vectors[FETCH_EXTENTS];
        size_t count = FETCH_EXTENTS;
        status_code status = fetch_extents(map, mapped, vectors, &count);
        if (status != FSSH_OK && status != FSSH_EOVERFLOW)
            return status;
        for (size_t i = 0; i < std::min(count, FETCH_EXTENTS); i++) {
            if (vectors[i].length <= 0)
                continue;
            status = append_extent(map, vectors[i]);
            if (status != FSSH_OK)
                return status;
        }
        off_t now_mapped = mapped_end(map);
        if (now_mapped == mapped)
            return FSSH_ERROR;
        mapped = now_mapped;
    }
    return FSSH_OK;
}

// The index of the extent holding `offset`, which the map covers.
size_t find_extent(file_map* map, off_t offset)
{
    file_extent* extents = extents_of(map);
    file_extent* after = std::upper_bound(
        extents, extents + map->count, offset,
        [](off_t value, const file_extent& extent) { return value < extent.offset; });
    return static_cast<size_t>(after - extents) - 1;
}

off_t round_up(off_t value, size_t alignment)
{
    off_t step = static_cast<off_t>(alignment);
    return (value + step - 1) / step * step;
}

}  // namespace

file_map* file_map_create(dev_t device, ino_t node_id, off_t size)
{
    vnode* node = lookup_vnode(device, node_id);
    if (node == nullptr)
        return nullptr;
    file_map* map = new (std::nothrow) file_map{};
    if (map == nullptr)
        return nullptr;
    map->node = node;
    map->size = size;
    mutex_init(&map->lock, "file map");
    return map;
}

void file_map_delete(file_map* map)
{
    if (map == nullptr)
        return;
    free(map->heap_extents);
    mutex_destroy(&map->lock);
    delete map;
}

void file_map_set_size(file_map* map, off_t size)
{
    MutexLocker locker(&map->lock);
    if (size < map->size)
        cut_at(map, size);
    map->size = size;
}

void file_map_invalidate(file_map* map, off_t offset, off_t)
{
    MutexLocker locker(&map->lock);
    cut_at(map, offset);
}

status_code file_map_set_mode(file_map* map, uint32_t mode)
{
    if (mode != FILE_MAP_ON_DEMAND && mode != FILE_MAP_WHOLE_FILE)
        return FSSH_INVALID_ARGUMENT;
    MutexLocker locker(&map->lock);
    if (mode == FILE_MAP_ON_DEMAND) {
        map->complete = false;
        return FSSH_OK;
    }
    if (map->complete)
        return FSSH_OK;
    status_code status = fill_to(map, map->size);
    if (status != FSSH_OK)
        return status;
    map->complete = true;
    return FSSH_OK;
}

status_code file_map_translate(file_map* map, off_t offset, size_t size, file_io_vec* vectors,
                               size_t* count, size_t alignment)
{
    if (offset < 0)
        return FSSH_INVALID_ARGUMENT;
    MutexLocker locker(&map->lock);
    if (offset >= map->size || size == 0) {
        *count = 0;
        return FSSH_OK;
    }
    off_t extension = 0;
    auto left_in_file = static_cast<uint64_t>(map->size - offset);
    if (size > left_in_file) {
        if (alignment >= 2) {
            off_t rounded = round_up(map->size, alignment);
            if (size >= static_cast<uint64_t>(rounded - offset))
                extension = rounded - map->size;
        }
        size = left_in_file;
    }
    off_t end = offset + static_cast<off_t>(size);
    status_code status = fill_to(map, end);
    if (status != FSSH_OK)
        return status;

    const file_extent* extents = extents_of(map);
    size_t used = 0;
    for (size_t index = find_extent(map, offset); offset < end; index++) {
        if (used == *count)
            return FSSH_EOVERFLOW;
        const file_extent& extent = extents[index];
        off_t into = offset - extent.offset;
        off_t length = std::min(extent.disk.length - into, end - offset);
        vectors[used++] = file_io_vec{
            is_hole(extent.disk.offset) ? FILE_MAP_HOLE : extent.disk.offset + into, length};
        offset += length;
    }
    vectors[used - 1].length += extension;
    *count = used;
    return FSSH_OK;
}

}  // namespace fssh
