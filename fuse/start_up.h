#pragma once

// The wfsmount program: command line, kernel bring-up, the device mount,
// libfuse's loop and the tear-down.

#include "kernel/status.h"
#include "vfs/fs_interface.h"

namespace wfsmount {

// The exit value for a failed kernel bring-up: the failing status code itself,
// or 1 for a code whose low byte is 0 (FSSH_NO_MEMORY among them), which the
// host would otherwise report as success.
int bring_up_exit_value(fssh::status_code status);

// Runs the program on its command line with the given null-terminated list of
// built-in modules (the first one mounts the device) and returns its exit
// value: 1 for a command line libfuse refuses, an empty module list, a failed
// device mount or a failure to build the libfuse arguments;
// bring_up_exit_value() of a kernel bring-up failure; otherwise the
// tear-down's result when it failed, else libfuse's. A wrong number of
// arguments, "-h" and "--help" end the process with the usage text and exit
// status 1.
int run_wfsmount(int argc, char** argv, fssh::fs_module_info* const* builtin_modules);

}  // namespace wfsmount
