#pragma once

// Kernel services for the disk-system hooks of a file system module (writing
// a new volume). Nothing in this kernel tracks disk jobs or partitions, so
// both only acknowledge.

#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace fssh {

// Always true.
bool report_job_progress(disk_job_id job, float fraction);

// Always FSSH_OK.
status_code update_partition(partition_id partition);

}  // namespace fssh
