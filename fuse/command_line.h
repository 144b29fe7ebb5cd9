#pragma once

// The command line: "[-d] [libfuse options] <device> <mount point>", read
// through libfuse's option parser so that every other option reaches libfuse.

#include <fuse_opt.h>

namespace wfsmount {

// The two non-option arguments. Both point into the argument vector.
struct command_line {
    const char* device = nullptr;
    const char* mount_point = nullptr;
};

// Writes "Usage: %s [-d] <device> <mount point>\n" with the program name to
// standard error.
void print_usage(const char* program_name);

// Parses `args` with the option table: the device is taken out of the list,
// the mount point and every option other than "uhelper=" stay for libfuse,
// and "-d" also sets the debug flag. "-h", "--help" and a third non-option
// argument print the usage text and end the process with exit status 1.
// Returns fuse_opt_parse's result (negative on failure).
int parse_command_line(fuse_args* args, command_line* parsed);

}  // namespace wfsmount
