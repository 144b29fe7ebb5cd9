#pragma once

// A descriptor for a symbolic link opened without following it: it holds the
// link's path, since the host cannot open the link itself for I/O.

#include "kernel/descriptor.h"

namespace fssh {

class SymlinkDescriptor : public Descriptor {
public:
    // Makes a descriptor for the link at `path` (not yet entered into the
    // table); FSSH_NAME_TOO_LONG or FSSH_NO_MEMORY on failure.
    static status_code Create(const char* path, SymlinkDescriptor** descriptor);

    // Nothing to release.
    status_code Close() override { return FSSH_OK; }
    // A copy with the same path.
    status_code Duplicate(Descriptor** copy) override;
    // Host stat (following) or lstat of the path.
    status_code Stat(bool follow_links, struct stat* host_stat) override;
    // The stored path.
    status_code HostPath(char* buffer, size_t size) override;

private:
    SymlinkDescriptor() = default;

    char path_[HOST_PATH_SIZE];
};

}  // namespace fssh
