#include "kernel/host_conversion.h"

#include "kernel/open_mode.h"

#include <fcntl.h>

#include <cstring>

namespace fssh {

namespace {

constexpr uint32_t PERMISSION_BITS = 07777;

struct type_pair {
    uint32_t kernel_type;
    mode_t host_type;
};

// The file types that cross between kernel and host; all others become 0.
constexpr type_pair TYPE_PAIRS[] = {
    {FSSH_S_IFIFO, S_IFIFO}, {FSSH_S_IFDIR, S_IFDIR}, {FSSH_S_IFBLK, S_IFBLK},
    {FSSH_S_IFREG, S_IFREG}, {FSSH_S_IFLNK, S_IFLNK},
};

struct flag_pair {
    uint32_t kernel_flag;
    int host_flag;
};

constexpr flag_pair FLAG_PAIRS[] = {
    {FSSH_O_NONBLOCK, O_NONBLOCK}, {FSSH_O_EXCL, O_EXCL},     {FSSH_O_CREAT, O_CREAT},
    {FSSH_O_TRUNC, O_TRUNC},       {FSSH_O_APPEND, O_APPEND},
};

int access_mode_to_host(uint32_t open_mode)
{
    switch (open_mode & FSSH_O_RWMASK) {
        case FSSH_O_WRONLY:
            return O_WRONLY;
        case FSSH_O_RDWR:
            return O_RDWR;
        default:
            return O_RDONLY;
    }
}

}  // namespace

host_open_flags open_flags_to_host(uint32_t open_mode)
{
    host_open_flags result = {access_mode_to_host(open_mode), false};
    for (const flag_pair& pair : FLAG_PAIRS) {
        if ((open_mode & pair.kernel_flag) != 0)
            result.flags |= pair.host_flag;
    }
    result.no_traverse = (open_mode & (FSSH_O_NOFOLLOW | FSSH_O_NOTRAVERSE)) != 0;
    return result;
}

mode_t mode_to_host(uint32_t mode)
{
    mode_t result = mode & PERMISSION_BITS;
    for (const type_pair& pair : TYPE_PAIRS) {
        if ((mode & FSSH_S_IFMT) == pair.kernel_type)
            result |= pair.host_type;
    }
    return result;
}

uint32_t mode_from_host(mode_t mode)
{
    uint32_t result = mode & PERMISSION_BITS;
    for (const type_pair& pair : TYPE_PAIRS) {
        if ((mode & S_IFMT) == pair.host_type)
            result |= pair.kernel_type;
    }
    return result;
}

void stat_from_host(const struct stat& host_stat, kernel_stat* stat)
{
    memset(stat, 0, sizeof(*stat));
    stat->st_dev = static_cast<dev_t>(host_stat.st_dev);
    stat->st_ino = static_cast<ino_t>(host_stat.st_ino);
    stat->st_mode = mode_from_host(host_stat.st_mode);
    stat->st_nlink = static_cast<int32_t>(host_stat.st_nlink);
    stat->st_uid = host_stat.st_uid;
    stat->st_gid = host_stat.st_gid;
    stat->st_size = host_stat.st_size;
    stat->st_blksize = static_cast<int32_t>(host_stat.st_blksize);
    stat->st_atim.tv_sec = host_stat.st_atim.tv_sec;
    stat->st_mtim.tv_sec = host_stat.st_mtim.tv_sec;
    stat->st_ctim.tv_sec = host_stat.st_ctim.tv_sec;
    stat->st_crtim = stat->st_ctim;
}

}  // namespace fssh
