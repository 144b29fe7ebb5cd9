#include "kernel/disk_geometry.h"

#include "kernel/host.h"

#include <sys/stat.h>

#include <cerrno>

namespace fssh {

namespace {

constexpr uint32_t DEFAULT_SECTORS_PER_TRACK = 64;
constexpr uint32_t DEFAULT_HEADS = 16;

status_code host_failure()
{
    return host_errno_to_status(errno);
}

}  // namespace

status_code query_disk_geometry(int fd, disk_geometry* geometry)
{
    struct stat host_stat;
    if (fstat(fd, &host_stat) != 0)
        return host_failure();
    if (S_ISREG(host_stat.st_mode))
        return FSSH_INVALID_ARGUMENT;

    uint32_t sector_size;
    uint64_t media_size;
    if (host::disk_sector_size(fd, &sector_size) != 0 || host::disk_media_size(fd, &media_size) != 0)
        return host_failure();
    // A device without a sector size cannot be addressed in sectors.
    if (sector_size == 0)
        return FSSH_ENOTTY;

    uint32_t sectors_per_track;
    uint32_t heads;
    host::disk_firmware_geometry(fd, &sectors_per_track, &heads);
    if (sectors_per_track == 0 || heads == 0) {
        sectors_per_track = DEFAULT_SECTORS_PER_TRACK;
        heads = DEFAULT_HEADS;
    }
    // The cylinder size is computed in 32 bits, as the volume does when it
    // derives the device size from the geometry.
    uint32_t cylinder_size = sector_size * sectors_per_track * heads;
    if (cylinder_size == 0)
        return FSSH_INVALID_ARGUMENT;

    *geometry = {};
    geometry->sector_size = sector_size;
    geometry->sectors_per_track = sectors_per_track;
    geometry->heads = heads;
    geometry->cylinders = static_cast<uint32_t>((media_size + cylinder_size - 1) / cylinder_size);
    // Reporting a read-only device lets its user open it read-only instead of
    // failing at the first write-back.
    geometry->read_only = host::disk_is_read_only(fd);
    return FSSH_OK;
}

}  // namespace fssh
