#pragma once

// The file system modules built into wfsmount, registered after the root file
// system. The first one is what start-up mounts the device with.

#include "vfs/fs_interface.h"

namespace wfsmount {

// A null-terminated list of module records.
extern fssh::fs_module_info* const builtin_modules[];

}  // namespace wfsmount
