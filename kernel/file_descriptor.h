#pragma once

// A descriptor that is a host file descriptor: its number is the host fd.

#include "kernel/descriptor.h"

namespace fssh {

class FileDescriptor : public Descriptor {
public:
    // Takes ownership of the host fd.
    explicit FileDescriptor(int host_fd);
    ~FileDescriptor() override;

    // Host close; the number becomes -1.
    status_code Close() override;
    // Host dup into a new FileDescriptor.
    status_code Duplicate(Descriptor** copy) override;
    // Host fstat.
    status_code Stat(bool follow_links, struct stat* host_stat) override;
    bool IsHostFd() const override { return true; }

    // Gives up the host fd without closing it, for when the host has already
    // closed it and handed its number out again.
    void ForgetHostFd() { number_ = -1; }
};

}  // namespace fssh
