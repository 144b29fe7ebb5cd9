#include "fuse/stat_conversion.h"

#include <cstdint>

namespace wfsmount {

void convert_stat(const fssh::kernel_stat& from, struct stat* to)
{
    to->st_dev = static_cast<dev_t>(static_cast<int64_t>(from.st_dev));
    to->st_ino = static_cast<ino_t>(from.st_ino);
    to->st_mode = static_cast<mode_t>(from.st_mode & 0xffff);
    to->st_nlink = static_cast<nlink_t>(from.st_nlink);
    to->st_uid = from.st_uid;
    to->st_gid = from.st_gid;
    to->st_rdev = static_cast<dev_t>(static_cast<int64_t>(from.st_rdev));
    to->st_size = from.st_size;
    to->st_blksize = static_cast<blksize_t>(static_cast<int32_t>(from.st_blksize));
    to->st_blocks = from.st_blocks;
    to->st_atim.tv_sec = from.st_atim.tv_sec;
    to->st_mtim.tv_sec = from.st_mtim.tv_sec;
    to->st_ctim.tv_sec = from.st_ctim.tv_sec;
}

}  // namespace wfsmount
