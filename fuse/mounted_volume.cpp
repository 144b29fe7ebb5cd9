#include "fuse/mounted_volume.h"

#include "kernel/kernel_stat.h"
#include "vfs/stat_calls.h"

namespace wfsmount {

fssh::status_code read_mounted_volume_info(fssh::fs_info* info)
{
    fssh::kernel_stat stat = {};
    fssh::status_code status = fssh::kern_read_stat(-1, KERNEL_MOUNT_POINT, false, &stat,
                                                    sizeof(stat));
    if (status != fssh::FSSH_OK)
        return status < 0 ? status : fssh::FSSH_ERROR;
    if (stat.st_dev < 0)
        return fssh::FSSH_ERROR;
    return fssh::kern_read_fs_info(stat.st_dev, info);
}

const char* mounted_volume_name(fssh::fs_info* info)
{
    if (read_mounted_volume_info(info) != fssh::FSSH_OK)
        return "unknown";
    info->volume_name[sizeof(info->volume_name) - 1] = '\0';
    return info->volume_name;
}

int32_t mounted_volume_block_size()
{
    fssh::fs_info info;
    if (read_mounted_volume_info(&info) != fssh::FSSH_OK)
        return FALLBACK_BLOCK_SIZE;
    return static_cast<int32_t>(info.block_size);
}

}  // namespace wfsmount
