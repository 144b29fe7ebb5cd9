#pragma once

// A host descriptor: what one number of the host descriptor table stands for
// (a host file, a directory stream, a symbolic link or an emulated attribute).
// Every kind answers the same operations; the destructor closes whatever is
// still open.

#include "kernel/status.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>

namespace fssh {

// The room for one host path, terminating NUL included.
constexpr size_t HOST_PATH_SIZE = PATH_MAX;

// The identity of a host node.
struct host_node_id {
    ::dev_t device;
    ::ino_t inode;
};

class Descriptor {
public:
    Descriptor() = default;
    virtual ~Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Releases the host resource; the object stays until it is destroyed.
    virtual status_code Close() = 0;
    // Makes an independent copy, allocated with new, into *copy.
    virtual status_code Duplicate(Descriptor** copy) = 0;
    // The host stat record of the object; `follow_links` matters only to
    // kinds that stand for a path.
    virtual status_code Stat(bool follow_links, struct stat* host_stat) = 0;
    // True when the number is a real host file descriptor, usable with the
    // fd-based host calls.
    virtual bool IsHostFd() const { return false; }
    // The host path of the object, looked up in the directory path map by its
    // node id; FSSH_NOT_FOUND when the node was never opened as a directory.
    virtual status_code HostPath(char* buffer, size_t size);
    // The object's host node identity, from Stat.
    virtual status_code NodeId(host_node_id* id);

    // The number under which the descriptor table holds the object.
    int32_t Number() const { return number_; }
    void SetNumber(int32_t number) { number_ = number; }

    // The next entry of the descriptor table, which alone uses this field.
    Descriptor* table_next = nullptr;

protected:
    int32_t number_ = -1;
};

// Copies `path` into `buffer`; FSSH_NAME_TOO_LONG when it does not fit.
status_code copy_host_path(const char* path, char* buffer, size_t size);

}  // namespace fssh
