#include "fuse/open_flags.h"

#include "kernel/open_mode.h"

#include <fcntl.h>

namespace wfsmount {

namespace {

struct flag_pair {
    int host_flag;
    uint32_t kernel_bit;
};

// The access mode (read only, write only, read and write) has the same
// numbers on both sides and is copied as it is.
constexpr flag_pair flag_table[] = {
    {O_NONBLOCK, fssh::FSSH_O_NONBLOCK},   {O_EXCL, fssh::FSSH_O_EXCL},
    {O_CREAT, fssh::FSSH_O_CREAT},         {O_TRUNC, fssh::FSSH_O_TRUNC},
    {O_APPEND, fssh::FSSH_O_APPEND},       {O_NOFOLLOW, fssh::FSSH_O_NOFOLLOW},
    {O_DIRECTORY, fssh::FSSH_O_DIRECTORY}, {O_DIRECT, fssh::FSSH_O_NOCACHE},
};

static_assert(O_RDONLY == static_cast<int>(fssh::FSSH_O_RDONLY));
static_assert(O_WRONLY == static_cast<int>(fssh::FSSH_O_WRONLY));
static_assert(O_RDWR == static_cast<int>(fssh::FSSH_O_RDWR));

}  // namespace

uint32_t kernel_open_mode(int host_flags)
{
    uint32_t open_mode = static_cast<uint32_t>(host_flags & O_ACCMODE);
    for (const flag_pair& pair : flag_table) {
        if ((host_flags & pair.host_flag) != 0)
            open_mode |= pair.kernel_bit;
    }
    return open_mode;
}

}  // namespace wfsmount
