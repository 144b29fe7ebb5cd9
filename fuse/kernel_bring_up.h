#pragma once

// Bringing the in-process kernel up to a mounted device, and the tear-down
// after libfuse's loop has returned.

#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace wfsmount {

// Initialises the module registry and driver settings, registers the root
// file system's module and then every module of `builtin_modules` (a
// null-terminated list) in order, initialises the VFS, creates the global I/O
// context, mounts the root file system at "/", makes "/" the working
// directory and creates KERNEL_MOUNT_POINT. A failing stage writes its own
// message and "Error: Initializing kernel failed: %s\n" to standard error and
// its status is returned; the stages before it are not undone.
fssh::status_code bring_up_kernel(fssh::fs_module_info* const* builtin_modules);

// Mounts `device` at KERNEL_MOUNT_POINT with the module `module_name`.
// Returns the mount id, or the failure after writing "Error: Mounting FS
// failed: %s\n" to standard error.
fssh::status_code mount_device(const char* device, const char* module_name);

// Unless in debug mode, writes "Mounted <device> (<volume name>) to <mount
// point>" to the system log.
void log_mount(const char* device, const char* mount_point);

// Unmounts KERNEL_MOUNT_POINT (after making "/" the working directory) and
// reports the outcome: on success "UnMounted <device> from <mount point>" to
// the system log unless in debug mode; on failure "Error: Unmounting FS
// failed: %s" to standard error in debug mode and to the system log
// otherwise. Returns 0 on success and 1 on failure, as the exit value.
int tear_down(const char* device, const char* mount_point);

}  // namespace wfsmount
