#pragma once

// The arguments start-up adds to the libfuse argument list after the device
// is mounted in the kernel.

#include "kernel/status.h"

#include <fuse_opt.h>
#include <sys/types.h>

namespace wfsmount {

// The real and effective user and group ids of the process.
struct host_identity {
    uid_t user_id;
    uid_t effective_user_id;
    gid_t group_id;
    gid_t effective_group_id;
};

host_identity current_host_identity();

// When every id of `identity` is 0, appends "-o" and one option string:
// "allow_other", "fsname=<device>" and, when the host stat of the device path
// says it is a block device, "blkdev" and "blksize=<n>" with the block size of
// the volume mounted in the kernel (512 when that cannot be read). Adds
// nothing for any other identity. FSSH_NO_MEMORY when libfuse or the
// formatting cannot allocate.
fssh::status_code add_root_options(fuse_args* args, const host_identity& identity,
                                   const char* device);

// Appends "-s": libfuse runs its loop on this one thread. FSSH_NO_MEMORY on
// failure.
fssh::status_code add_single_thread_argument(fuse_args* args);

}  // namespace wfsmount
