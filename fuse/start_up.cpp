#include "fuse/start_up.h"

#include "fuse/command_line.h"
#include "fuse/fuse_arguments.h"
#include "fuse/fuse_entry_point.h"
#include "fuse/fuse_operations.h"
#include "fuse/kernel_bring_up.h"

#include <cstdio>
#include <cstdlib>

namespace wfsmount {

namespace {

// The operation record handed to libfuse.
fuse_operations operations;

// The argument list libfuse gets, released when the program ends.
class ArgumentList {
public:
    ArgumentList(int argc, char** argv) : args_(FUSE_ARGS_INIT(argc, argv)) {}
    ~ArgumentList() { fuse_opt_free_args(&args_); }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;

    fuse_args* Get() { return &args_; }

private:
    fuse_args args_;
};

// Adds the root-only options and "-s".
bool add_fuse_arguments(fuse_args* args, const char* device)
{
    return add_root_options(args, current_host_identity(), device) == fssh::FSSH_OK &&
           add_single_thread_argument(args) == fssh::FSSH_OK;
}

// Serves the mounted device until the host unmounts it, then tears down.
int serve(fuse_args* args, const command_line& parsed)
{
    if (!add_fuse_arguments(args, parsed.device)) {
        tear_down(parsed.device, parsed.mount_point);
        return 1;
    }
    fill_operations(&operations);
    int fuse_result = run_fuse_main(args, &operations);
    int tear_down_result = tear_down(parsed.device, parsed.mount_point);
    return tear_down_result != 0 ? tear_down_result : fuse_result;
}

}  // namespace

int bring_up_exit_value(fssh::status_code status)
{
    // The host keeps only the low byte of an exit value.
    return (status & 0xff) != 0 ? status : 1;
}

int run_wfsmount(int argc, char** argv, fssh::fs_module_info* const* builtin_modules)
{
    ArgumentList args(argc, argv);
    command_line parsed;
    if (parse_command_line(args.Get(), &parsed) < 0)
        return 1;
    if (parsed.mount_point == nullptr) {
        print_usage(argv[0]);
        exit(1);
    }
    if (builtin_modules[0] == nullptr) {
        fprintf(stderr, "Error: Couldn't find FS module!\n");
        return 1;
    }
    fssh::status_code status = bring_up_kernel(builtin_modules);
    if (status != fssh::FSSH_OK)
        return bring_up_exit_value(status);
    if (mount_device(parsed.device, builtin_modules[0]->info.name) < 0)
        return 1;
    log_mount(parsed.device, parsed.mount_point);
    return serve(args.Get(), parsed);
}

}  // namespace wfsmount
