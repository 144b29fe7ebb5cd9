#pragma once

// A descriptor for listing the emulated attributes of a host file: the host's
// user extended attributes whose names carry the emulation's prefix.

#include "kernel/descriptor.h"
#include "kernel/owned_host_fd.h"

namespace fssh {

class AttrDirDescriptor : public Descriptor {
public:
    ~AttrDirDescriptor() override;

    // Takes a snapshot of the attribute names of the host file `file_fd`
    // (which stays the caller's).
    static status_code Open(int file_fd, AttrDirDescriptor** descriptor);

    // Closes the descriptor's own copy of the host fd.
    status_code Close() override;
    // A copy with its own host fd, the same names and the same position.
    status_code Duplicate(Descriptor** copy) override;
    // Host fstat of the owning file.
    status_code Stat(bool follow_links, struct stat* host_stat) override;
    // The owning file's node id, taken when the descriptor was opened.
    status_code NodeId(host_node_id* id) override;

    // Copies the next attribute's name into `name`: 1 when there was one, 0
    // at the end, or a negative status.
    status_code ReadEntry(char* name, size_t size);
    void Rewind() { position_ = 0; }

private:
    AttrDirDescriptor() = default;
    status_code TakeNames(int file_fd);

    OwnedHostFd host_fd_;
    host_node_id id_ = {};
    char* names_ = nullptr;  // host names, each NUL-terminated; malloc
    size_t names_length_ = 0;
    size_t position_ = 0;    // offset of the next name in names_
};

}  // namespace fssh
