#pragma once

// Writing back what file systems hold in memory.

#include "kernel/status.h"

namespace fssh {

// Syncs every mounted volume: its sync hook, then the fsync hook of each of
// its vnodes. Always FSSH_OK; failures are only printed.
status_code kern_sync();

// Calls the fsync hook of the descriptor's node (skipped when empty).
status_code kern_fsync(int fd);

}  // namespace fssh
