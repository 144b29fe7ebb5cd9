#include "fuse/fuse_arguments.h"

#include "fuse/mounted_volume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace wfsmount {

namespace {

bool is_root(const host_identity& identity)
{
    return identity.user_id == 0 && identity.effective_user_id == 0 && identity.group_id == 0 &&
           identity.effective_group_id == 0;
}

bool is_block_device(const char* path)
{
    struct stat host_stat;
    return stat(path, &host_stat) == 0 && S_ISBLK(host_stat.st_mode);
}

// Adds an option made by asprintf (whose result is `length`) to the
// comma-separated option string, escaping commas and backslashes in it so that
// a device path stays one option, and frees it.
fssh::status_code add_formatted_option(char** options, char* option, int length)
{
    if (length < 0)
        return fssh::FSSH_NO_MEMORY;
    int result = fuse_opt_add_opt_escaped(options, option);
    free(option);
    return result == 0 ? fssh::FSSH_OK : fssh::FSSH_NO_MEMORY;
}

fssh::status_code add_block_device_options(char** options)
{
    if (fuse_opt_add_opt(options, "blkdev") != 0)
        return fssh::FSSH_NO_MEMORY;
    char* option = nullptr;
    int length = asprintf(&option, "blksize=%i", mounted_volume_block_size());
    return add_formatted_option(options, option, length);
}

fssh::status_code build_root_options(char** options, const char* device)
{
    if (fuse_opt_add_opt(options, "allow_other") != 0)
        return fssh::FSSH_NO_MEMORY;
    char* option = nullptr;
    int length = asprintf(&option, "fsname=%s", device);
    fssh::status_code status = add_formatted_option(options, option, length);
    if (status != fssh::FSSH_OK || !is_block_device(device))
        return status;
    return add_block_device_options(options);
}

}  // namespace

host_identity current_host_identity()
{
    return {getuid(), geteuid(), getgid(), getegid()};
}

fssh::status_code add_root_options(fuse_args* args, const host_identity& identity,
                                   const char* device)
{
    if (!is_root(identity))
        return fssh::FSSH_OK;
    char* options = nullptr;
    fssh::status_code status = build_root_options(&options, device);
    if (status == fssh::FSSH_OK &&
        (fuse_opt_add_arg(args, "-o") != 0 || fuse_opt_add_arg(args, options) != 0))
        status = fssh::FSSH_NO_MEMORY;
    free(options);
    return status;
}

fssh::status_code add_single_thread_argument(fuse_args* args)
{
    return fuse_opt_add_arg(args, "-s") == 0 ? fssh::FSSH_OK : fssh::FSSH_NO_MEMORY;
}

}  // namespace wfsmount
