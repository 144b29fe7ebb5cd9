#include "kernel/aligned_io.h"

#include "kernel/host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace fssh {

namespace {

// Assumed when the device does not report its sector size.
constexpr uint32_t FALLBACK_SECTOR_SIZE = 512;

// One piece of an unaligned request: either the caller's part of one sector,
// transferred through the bounce buffer, or a run of whole sectors transferred
// directly between the device and the caller's buffer.
struct piece {
    bool partial_sector;
    off_t device_position;     // the sector's start, or the run's start
    size_t buffer_offset;      // where the piece lies in the caller's buffer
    size_t length;             // the caller's bytes in this piece
    size_t offset_in_sector;   // partial sector: where the caller's bytes start
    const char* label;         // names the piece in failure reports
};

struct request_plan {
    piece pieces[3];
    int count;
};

// Everything one unaligned transfer needs.
struct transfer {
    int fd;
    uint32_t sector_size;
    uint8_t* bounce;              // one sector
    uint8_t* destination;         // the caller's buffer of a read
    const uint8_t* source;        // the caller's buffer of a write
};

using piece_handler = ssize_t (*)(const transfer& job, const piece& part);

// Reports a failed host call on standard error; the host errno that tells
// why is kept for the caller, since writing the report may change it.
void report_failure(const char* call, const char* label)
{
    int reason = errno;
    char text[64];
    snprintf(text, sizeof(text), "%s %s", call, label);
    perror(text);
    errno = reason;
}

// The number of the caller's bytes [offset, offset + length) of a sector that
// lie within its first `transferred` bytes.
size_t covered_bytes(ssize_t transferred, size_t offset, size_t length)
{
    if (transferred <= static_cast<ssize_t>(offset))
        return 0;
    size_t available = static_cast<size_t>(transferred) - offset;
    return available < length ? available : length;
}

// Whole-sector transfers need no help: regular files, zero-length requests
// and requests that start and end on sector boundaries.
bool needs_sector_splitting(off_t position, size_t size, uint32_t sector_size)
{
    return size != 0 && (position % sector_size != 0 || size % sector_size != 0);
}

request_plan plan_request(off_t position, size_t size, uint32_t sector_size)
{
    request_plan plan = {};
    size_t offset = static_cast<size_t>(position % sector_size);
    off_t sector_start = position - static_cast<off_t>(offset);
    if (offset + size <= sector_size) {
        plan.pieces[plan.count++] = {true, sector_start, 0, size, offset, "oneblock"};
        return plan;
    }
    size_t head = (sector_size - offset) % sector_size;
    size_t tail = (size - head) % sector_size;
    if (head > 0)
        plan.pieces[plan.count++] = {true, sector_start, 0, head, offset, "seekDiff"};
    if (size - head >= sector_size) {
        plan.pieces[plan.count++] = {false, position + static_cast<off_t>(head), head,
                                     size - head - tail, 0, "between"};
    }
    if (tail > 0) {
        plan.pieces[plan.count++] = {true, position + static_cast<off_t>(size - tail),
                                     size - tail, tail, 0, "last"};
    }
    return plan;
}

ssize_t read_piece(const transfer& job, const piece& part)
{
    uint8_t* target = job.destination + part.buffer_offset;
    // A partial sector lands in the bounce buffer, whole sectors in place.
    uint8_t* landing = part.partial_sector ? job.bounce : target;
    size_t length = part.partial_sector ? job.sector_size : part.length;
    ssize_t transferred = pread(job.fd, landing, length, part.device_position);
    if (transferred < 0) {
        report_failure("read", part.label);
        return -1;
    }
    if (!part.partial_sector)
        return transferred;
    size_t delivered = covered_bytes(transferred, part.offset_in_sector, part.length);
    memcpy(target, job.bounce + part.offset_in_sector, delivered);
    return static_cast<ssize_t>(delivered);
}

ssize_t write_piece(const transfer& job, const piece& part)
{
    const uint8_t* origin = job.source + part.buffer_offset;
    if (!part.partial_sector) {
        ssize_t transferred = pwrite(job.fd, origin, part.length, part.device_position);
        if (transferred < 0)
            report_failure("write", part.label);
        return transferred;
    }
    // The sector's other bytes must be written back exactly as they are, so
    // the sector has to be read completely first.
    ssize_t transferred = pread(job.fd, job.bounce, job.sector_size, part.device_position);
    if (transferred != static_cast<ssize_t>(job.sector_size)) {
        if (transferred >= 0)
            errno = ENOSPC;  // the sector lies beyond the end of the device
        report_failure("pread", part.label);
        return -1;
    }
    memcpy(job.bounce + part.offset_in_sector, origin, part.length);
    transferred = pwrite(job.fd, job.bounce, job.sector_size, part.device_position);
    if (transferred < 0) {
        report_failure("write", part.label);
        return -1;
    }
    return static_cast<ssize_t>(covered_bytes(transferred, part.offset_in_sector, part.length));
}

// Transfers the pieces in order until one falls short, then leaves the host
// position after the bytes transferred.
ssize_t transfer_in_pieces(transfer job, off_t position, size_t size, piece_handler handler)
{
    std::unique_ptr<uint8_t[]> bounce(new (std::nothrow) uint8_t[job.sector_size]);
    if (!bounce) {
        errno = ENOMEM;
        return -1;
    }
    job.bounce = bounce.get();

    request_plan plan = plan_request(position, size, job.sector_size);
    size_t done = 0;
    int failure_errno = 0;
    for (int i = 0; i < plan.count; i++) {
        ssize_t transferred = handler(job, plan.pieces[i]);
        if (transferred < 0) {
            failure_errno = errno;
            break;
        }
        done += static_cast<size_t>(transferred);
        if (static_cast<size_t>(transferred) < plan.pieces[i].length)
            break;
    }
    if (lseek(job.fd, position + static_cast<off_t>(done), SEEK_SET) < 0) {
        report_failure("lseek2", plan.pieces[plan.count - 1].label);
        return -1;
    }
    if (done == 0 && failure_errno != 0) {
        errno = failure_errno;
        return -1;
    }
    return static_cast<ssize_t>(done);
}

// Decides how to reach the file: false with errno set when it cannot be
// examined; otherwise *sector_size is 0 for a regular file (plain host I/O)
// or the device's sector size.
bool examine_file(int fd, uint32_t* sector_size)
{
    struct stat file_stat;
    if (fstat(fd, &file_stat) != 0)
        return false;
    if (S_ISREG(file_stat.st_mode)) {
        *sector_size = 0;
        return true;
    }
    if (host::disk_sector_size(fd, sector_size) != 0 || *sector_size == 0)
        *sector_size = FALLBACK_SECTOR_SIZE;
    return true;
}

// The common frame of aligned_read and aligned_write: plain host I/O where no
// sector is split, the piece-wise transfer otherwise. `plain` performs the
// plain host call.
template <typename PlainTransfer>
ssize_t aligned_transfer(transfer job, size_t size, piece_handler handler, PlainTransfer plain)
{
    uint32_t sector_size;
    if (!examine_file(job.fd, &sector_size))
        return -1;
    if (sector_size == 0)
        return plain();
    off_t position = lseek(job.fd, 0, SEEK_CUR);
    if (position < 0) {
        report_failure("lseek", "1");
        return -1;
    }
    if (!needs_sector_splitting(position, size, sector_size))
        return plain();
    job.sector_size = sector_size;
    return transfer_in_pieces(job, position, size, handler);
}

template <typename VectorTransfer>
ssize_t transfer_vectors(const iovec* vectors, int count, VectorTransfer transfer_one)
{
    ssize_t total = 0;
    for (int i = 0; i < count; i++) {
        ssize_t transferred = transfer_one(vectors[i]);
        if (transferred < 0)
            return total > 0 ? total : -1;
        total += transferred;
        if (static_cast<size_t>(transferred) < vectors[i].iov_len)
            break;
    }
    return total;
}

}  // namespace

ssize_t aligned_read(int fd, void* buffer, size_t size)
{
    transfer job = {fd, 0, nullptr, static_cast<uint8_t*>(buffer), nullptr};
    return aligned_transfer(job, size, read_piece, [&] { return read(fd, buffer, size); });
}

ssize_t aligned_write(int fd, const void* buffer, size_t size)
{
    transfer job = {fd, 0, nullptr, nullptr, static_cast<const uint8_t*>(buffer)};
    return aligned_transfer(job, size, write_piece, [&] { return write(fd, buffer, size); });
}

ssize_t aligned_readv(int fd, const iovec* vectors, int count)
{
    return transfer_vectors(vectors, count, [fd](const iovec& vector) {
        return aligned_read(fd, vector.iov_base, vector.iov_len);
    });
}

ssize_t aligned_writev(int fd, const iovec* vectors, int count)
{
    return transfer_vectors(vectors, count, [fd](const iovec& vector) {
        return aligned_write(fd, vector.iov_base, vector.iov_len);
    });
}

}  // namespace fssh
