#include "fuse/kernel_bring_up.h"

#include "fuse/debug_mode.h"
#include "fuse/mounted_volume.h"
#include "fuse/system_log.h"
#include "kernel/driver_settings.h"
#include "kernel/module.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/rootfs/rootfs.h"
#include "vfs/stat_calls.h"
#include "vfs/vfs.h"

#include <cstdio>

namespace wfsmount {

namespace {

constexpr int NO_DESCRIPTOR = -1;

// Writes a failing stage's message and the common bring-up failure line, and
// hands the status on as the program's exit value.
fssh::status_code report(const char* message, fssh::status_code status)
{
    fprintf(stderr, message, fssh::status_text(status));
    fprintf(stderr, "Error: Initializing kernel failed: %s\n", fssh::status_text(status));
    return status;
}

void register_modules(fssh::fs_module_info* const* builtin_modules)
{
    fssh::register_builtin_module(&fssh::rootfs_module()->info);
    for (fssh::fs_module_info* const* module = builtin_modules; *module != nullptr; module++)
        fssh::register_builtin_module(&(*module)->info);
}

fssh::status_code create_global_io_context()
{
    fssh::io_context* context = fssh::vfs_new_io_context(nullptr);
    if (context == nullptr) {
        fprintf(stderr, "creating IO context failed!\n");
        fprintf(stderr, "Error: Initializing kernel failed: %s\n",
                fssh::status_text(fssh::FSSH_NO_MEMORY));
        return fssh::FSSH_NO_MEMORY;
    }
    fssh::set_global_io_context(context);
    return fssh::FSSH_OK;
}

// The stages after the VFS exists: the root file system at "/", the working
// directory and the mount point for the device.
fssh::status_code prepare_name_space()
{
    fssh::status_code status = fssh::fs_mount("/", nullptr, "rootfs", 0, nullptr);
    if (status < 0)
        return report("mounting rootfs failed: %s\n", status);
    status = fssh::kern_setcwd(NO_DESCRIPTOR, "/");
    if (status != fssh::FSSH_OK)
        return report("setting cwd failed: %s\n", status);
    status = fssh::kern_create_dir(NO_DESCRIPTOR, KERNEL_MOUNT_POINT,
                                   KERNEL_MOUNT_POINT_PERMISSIONS);
    if (status != fssh::FSSH_OK)
        return report("creating mount point failed: %s\n", status);
    return fssh::FSSH_OK;
}

}  // namespace

fssh::status_code bring_up_kernel(fssh::fs_module_info* const* builtin_modules)
{
    fssh::status_code status = fssh::module_init();
    if (status != fssh::FSSH_OK)
        return report("module_init() failed: %s\n", status);
    status = fssh::settings_init();
    if (status != fssh::FSSH_OK)
        return report("initializing driver settings failed: %s\n", status);
    register_modules(builtin_modules);
    status = fssh::vfs_init();
    if (status != fssh::FSSH_OK)
        return report("initializing VFS failed: %s\n", status);
    status = create_global_io_context();
    if (status != fssh::FSSH_OK)
        return status;
    return prepare_name_space();
}

fssh::status_code mount_device(const char* device, const char* module_name)
{
    fssh::status_code status = fssh::fs_mount(KERNEL_MOUNT_POINT, device, module_name, 0, nullptr);
    if (status < 0)
        fprintf(stderr, "Error: Mounting FS failed: %s\n", fssh::status_text(status));
    return status;
}

void log_mount(const char* device, const char* mount_point)
{
    if (debug_mode())
        return;
    fssh::fs_info info;
    system_log("Mounted %s (%s) to %s", device, mounted_volume_name(&info), mount_point);
}

int tear_down(const char* device, const char* mount_point)
{
    fssh::kern_setcwd(NO_DESCRIPTOR, "/");
    fssh::status_code status = fssh::vfs_unmount(KERNEL_MOUNT_POINT, 0);
    if (status == fssh::FSSH_OK) {
        if (!debug_mode())
            system_log("UnMounted %s from %s", device, mount_point);
        return 0;
    }
    if (debug_mode())
        fprintf(stderr, "Error: Unmounting FS failed: %s\n", fssh::status_text(status));
    else
        system_log("Error: Unmounting FS failed: %s", fssh::status_text(status));
    return 1;
}

}  // namespace wfsmount
