#include "vfs/extent_io.h"

#include "kernel/host_file.h"

#include <algorithm>
#include <cstring>

namespace fssh {

namespace {

enum class io_direction { read, write };

bool is_hole(off_t device_offset)
{
    return device_offset < 0;
}

// A position in an array of memory vectors.
struct vector_cursor {
    const iovec* vectors;
    size_t count;
    size_t index;
    size_t offset;  // within vectors[index]

    // Bytes of vectors[at] from `from` on (0 when `from` lies beyond its end).
    size_t left_in(size_t at, size_t from) const
    {
        return vectors[at].iov_len > from ? vectors[at].iov_len - from : 0;
    }

    // Steps over `size` bytes, and over vectors that are used up.
    void advance(size_t size)
    {
        while (index < count) {
            size_t left = left_in(index, offset);
            if (size < left) {
                offset += size;
                return;
            }
            size -= left;
            index++;
            offset = 0;
        }
    }

    // Up to EXTENT_IO_MAX_PIECES pieces of memory from here on, together at
    // most `size` bytes; returns the bytes gathered without moving.
    size_t gather(size_t size, iovec* pieces, int* piece_count) const
    {
        size_t gathered = 0;
        int used = 0;
        size_t from = offset;
        for (size_t at = index; at < count && gathered < size
             && used < static_cast<int>(EXTENT_IO_MAX_PIECES);
             at++, from = 0) {
            size_t take = std::min(left_in(at, from), size - gathered);
            if (take == 0)
                continue;
            pieces[used++] = iovec{static_cast<char*>(vectors[at].iov_base) + from, take};
            gathered += take;
        }
        *piece_count = used;
        return gathered;
    }
};

// Moves one batch of pieces; the bytes moved or a negative status.
ssize_t transfer(int fd, off_t device_offset, const iovec* pieces, int piece_count,
                 size_t size, io_direction direction)
{
    if (is_hole(device_offset)) {
        for (int i = 0; i < piece_count; i++)
            memset(pieces[i].iov_base, 0, pieces[i].iov_len);
        return static_cast<ssize_t>(size);
    }
    ssize_t moved = direction == io_direction::read
        ? fssh_preadv(fd, device_offset, pieces, piece_count)
        : fssh_pwritev(fd, device_offset, pieces, piece_count);
    return moved < 0 ? get_kernel_errno() : moved;
}

// Whether a hole lies within the first `bytes` bytes the extents cover.
bool reaches_hole(const file_io_vec* extents, size_t extent_count, size_t bytes)
{
    size_t covered = 0;
    for (size_t i = 0; i < extent_count && covered < bytes; i++) {
        if (extents[i].length <= 0)
            continue;
        if (is_hole(extents[i].offset))
            return true;
        covered += static_cast<size_t>(extents[i].length);
    }
    return false;
}

// Moves up to `size` bytes between one extent and the memory from the cursor
// on, adding what was moved to *done. Sets *stopped when the device delivered
// less than asked or the memory ran out.
status_code move_extent(int fd, const file_io_vec& extent, size_t size, vector_cursor* cursor,
                        size_t* done, bool* stopped, io_direction direction)
{
    off_t device_offset = extent.offset;
    while (size > 0) {
        iovec pieces[EXTENT_IO_MAX_PIECES];
        int piece_count;
        size_t gathered = cursor->gather(size, pieces, &piece_count);
        if (gathered == 0) {
            *stopped = true;
            return FSSH_OK;
        }
        ssize_t moved = transfer(fd, device_offset, pieces, piece_count, gathered, direction);
        if (moved < 0)
            return static_cast<status_code>(moved);
        auto moved_bytes = static_cast<size_t>(moved);
        cursor->advance(moved_bytes);
        *done += moved_bytes;
        size -= moved_bytes;
        if (!is_hole(device_offset))
            device_offset += moved;
        if (moved_bytes < gathered) {
            *stopped = true;
            return FSSH_OK;
        }
    }
    return FSSH_OK;
}

status_code extent_io(int fd, const file_io_vec* extents, size_t extent_count,
                      const iovec* vectors, size_t vector_count, size_t* vector_index,
                      size_t* vector_offset, size_t* bytes, io_direction direction)
{
    if (extent_count == 0)
        return FSSH_INVALID_ARGUMENT;
    if (direction == io_direction::write && reaches_hole(extents, extent_count, *bytes))
        return FSSH_INVALID_ARGUMENT;

    vector_cursor cursor{vectors, vector_count, *vector_index, *vector_offset};
    size_t wanted = *bytes;
    size_t done = 0;
    bool stopped = false;
    for (size_t i = 0; i < extent_count && done < wanted && !stopped; i++) {
        if (extents[i].length <= 0)
            continue;
        size_t size = std::min(static_cast<size_t>(extents[i].length), wanted - done);
        status_code status =
            move_extent(fd, extents[i], size, &cursor, &done, &stopped, direction);
        if (status != FSSH_OK)
            return status;
    }
    *vector_index = cursor.index;
    *vector_offset = cursor.offset;
    *bytes = done;
    return FSSH_OK;
}

}  // namespace

status_code read_extent_vecs(int fd, const file_io_vec* extents, size_t extent_count,
                             const iovec* vectors, size_t vector_count, size_t* vector_index,
                             size_t* vector_offset, size_t* bytes)
{
    return extent_io(fd, extents, extent_count, vectors, vector_count, vector_index,
                     vector_offset, bytes, io_direction::read);
}

status_code write_extent_vecs(int fd, const file_io_vec* extents, size_t extent_count,
                              const iovec* vectors, size_t vector_count, size_t* vector_index,
                              size_t* vector_offset, size_t* bytes)
{
    return extent_io(fd, extents, extent_count, vectors, vector_count, vector_index,
                     vector_offset, bytes, io_direction::write);
}

}  // namespace fssh
