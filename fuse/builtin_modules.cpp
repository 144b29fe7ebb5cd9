#include "fuse/builtin_modules.h"

#include "kernel/module.h"
#include "kernel/status.h"

namespace wfsmount {

namespace {

// The wfs module cannot mount volumes yet: every mount fails, before anything
// is set up, with "Function not implemented".
fssh::status_code wfs_placeholder_mount(fssh::fs_volume*, const char*, uint32_t, const char*,
                                        fssh::ino_t*)
{
    return fssh::FSSH_ENOSYS;
}

// Stands in for the wfs module record until the module exists: the same
// names, and a mount hook that refuses.
fssh::fs_module_info make_placeholder_record()
{
    fssh::fs_module_info record{};
    record.info = {"file_systems/wfs/v1", 0, fssh::module_std_ops_without_state};
    record.short_name = "wfs";
    record.pretty_name = "Wy File System";
    record.flags = 0x100180;
    record.mount = wfs_placeholder_mount;
    return record;
}

fssh::fs_module_info wfs_placeholder_module = make_placeholder_record();

}  // namespace

fssh::fs_module_info* const builtin_modules[] = {&wfs_placeholder_module, nullptr};

}  // namespace wfsmount
