#pragma once

// The geometry of the device behind a host fd, as IOCTL_QUERY_GEOMETRY
// reports it.

#include "kernel/host_file.h"
#include "kernel/status.h"

namespace fssh {

// Fills `geometry` for a disk device: its sector size, the device's sectors
// per track and heads (64 and 16 when it reports none) and the cylinders that
// cover the whole medium. A regular file gives FSSH_INVALID_ARGUMENT; anything
// else that does not answer the disk requests gives the host's reason
// (FSSH_ENOTTY for a character device or FIFO).
status_code query_disk_geometry(int fd, disk_geometry* geometry);

}  // namespace fssh
