#pragma once

// The one place that knows which main-loop entry point the installed libfuse
// offers.

#include <fuse.h>

namespace wfsmount {

// Runs libfuse's main loop on the argument list with the operation record and
// no user data, and returns its result (0 after a clean unmount). The record
// size handed over is that of the installed headers' fuse_operations; with
// headers of 3.17 or newer the versioned entry point is called with the
// headers' version.
int run_fuse_main(fuse_args* args, const fuse_operations* operations);

}  // namespace wfsmount
