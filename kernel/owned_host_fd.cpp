#include "kernel/owned_host_fd.h"

#include <unistd.h>

#include <cerrno>

namespace fssh {

OwnedHostFd::~OwnedHostFd()
{
    if (fd_ >= 0)
        close(fd_);
}

status_code OwnedHostFd::DuplicateOf(int fd)
{
    int copy = dup(fd);
    if (copy < 0)
        return host_errno_to_status(errno);
    if (fd_ >= 0)
        close(fd_);
    fd_ = copy;
    return FSSH_OK;
}

status_code OwnedHostFd::Close()
{
    int result = close(fd_);
    fd_ = -1;
    return result == 0 ? FSSH_OK : host_errno_to_status(errno);
}

status_code OwnedHostFd::Stat(struct stat* host_stat) const
{
    return fstat(fd_, host_stat) == 0 ? FSSH_OK : host_errno_to_status(errno);
}

}  // namespace fssh
