#pragma once

// A descriptor for one emulated attribute of a host file. It keeps the whole
// value in memory and rewrites the complete host attribute on every write.

#include "kernel/attribute_value.h"
#include "kernel/descriptor.h"
#include "kernel/owned_host_fd.h"

namespace fssh {

class AttributeDescriptor : public Descriptor {
public:
    // Opens attribute `name` of the host file `file_fd` (which stays the
    // caller's) with kernel open-mode bits: FSSH_O_CREAT makes a missing
    // attribute of type `type` (stored at once), FSSH_O_TRUNC empties it.
    // Without FSSH_O_CREAT a missing attribute gives FSSH_NOT_FOUND.
    static status_code Open(int file_fd, const char* name, uint32_t type, uint32_t open_mode,
                            AttributeDescriptor** descriptor);

    // Closes the descriptor's own copy of the host fd.
    status_code Close() override;
    // A copy with its own host fd and its own copy of the value.
    status_code Duplicate(Descriptor** copy) override;
    // Host fstat of the owning file.
    status_code Stat(bool follow_links, struct stat* host_stat) override;

    // Copies value bytes from `position` on; returns the count.
    size_t Read(off_t position, void* buffer, size_t size) const;
    // Writes into the value and stores it; returns `size` or a negative
    // status (FSSH_BAD_FILE_DESCRIPTOR when opened read-only).
    ssize_t Write(off_t position, const void* buffer, size_t size);

    uint32_t Type() const { return value_.Type(); }
    size_t Size() const { return value_.Size(); }

private:
    AttributeDescriptor() = default;
    status_code Load(int file_fd, const char* name, uint32_t type, uint32_t open_mode);

    OwnedHostFd host_fd_;
    char name_[MAX_ATTRIBUTE_NAME_LENGTH + 1];
    uint32_t open_mode_ = 0;
    AttributeValue value_;
};

}  // namespace fssh
