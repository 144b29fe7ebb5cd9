#include "fuse/command_line.h"

#include "fuse/debug_mode.h"

#include <cstdio>
#include <cstdlib>

namespace wfsmount {

namespace {

enum option_key {
    KEY_DEBUG = 0,
    KEY_HELP = 1,
};

const fuse_opt option_table[] = {
    FUSE_OPT_KEY("uhelper=", FUSE_OPT_KEY_DISCARD),
    FUSE_OPT_KEY("-d", KEY_DEBUG),
    FUSE_OPT_KEY("-h", KEY_HELP),
    FUSE_OPT_KEY("--help", KEY_HELP),
    FUSE_OPT_END,
};

// The program name for the usage text, kept while the parser runs.
const char* parsing_program_name = nullptr;

[[noreturn]] void exit_with_usage()
{
    print_usage(parsing_program_name);
    exit(1);
}

// Returns 0 to take an argument out of the list handed to libfuse, 1 to keep
// it there.
int process_option(void* data, const char* argument, int key, fuse_args*)
{
    command_line* parsed = static_cast<command_line*>(data);
    switch (key) {
        case FUSE_OPT_KEY_NONOPT:
            if (parsed->device == nullptr) {
                parsed->device = argument;
                return 0;
            }
            if (parsed->mount_point == nullptr) {
                parsed->mount_point = argument;
                return 1;
            }
            exit_with_usage();
        case KEY_DEBUG:
            set_debug_mode(true);
            return 1;
        case KEY_HELP:
            exit_with_usage();
        default:
            return 1;
    }
}

}  // namespace

void print_usage(const char* program_name)
{
    fprintf(stderr, "Usage: %s [-d] <device> <mount point>\n", program_name);
}

int parse_command_line(fuse_args* args, command_line* parsed)
{
    parsing_program_name = args->argc > 0 ? args->argv[0] : "";
    return fuse_opt_parse(args, parsed, option_table, process_option);
}

}  // namespace wfsmount
