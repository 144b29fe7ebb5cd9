#pragma once

// A host fd held by a descriptor object whose own number is not a host fd
// (an attribute or an attribute listing of a host file): a copy of the
// file's fd, closed when the holder goes away.

#include "kernel/status.h"

#include <sys/stat.h>

namespace fssh {

class OwnedHostFd {
public:
    OwnedHostFd() = default;
    ~OwnedHostFd();
    OwnedHostFd(const OwnedHostFd&) = delete;
    OwnedHostFd& operator=(const OwnedHostFd&) = delete;

    // Holds a host dup of `fd` (closing what was held before).
    status_code DuplicateOf(int fd);
    // Closes the held fd now; it is held no longer either way.
    status_code Close();
    // Host fstat of the held fd.
    status_code Stat(struct stat* host_stat) const;

    int Get() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace fssh
