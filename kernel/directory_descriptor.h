#pragma once

// A descriptor for a host directory stream. Its path comes from the
// directory path map, in which the directory was recorded when it was opened.

#include "kernel/descriptor.h"

#include <dirent.h>

namespace fssh {

class DirectoryDescriptor : public Descriptor {
public:
    // Takes ownership of the open stream of the directory with the given node id.
    DirectoryDescriptor(DIR* directory, host_node_id id);
    ~DirectoryDescriptor() override;

    // Opens `path` as a directory stream, records it in the directory path
    // map and makes a descriptor for it (not yet entered into the table).
    static status_code Open(const char* path, DirectoryDescriptor** descriptor);

    status_code Close() override;
    // Opens the directory again by its path.
    status_code Duplicate(Descriptor** copy) override;
    // Host stat of the directory's path.
    status_code Stat(bool follow_links, struct stat* host_stat) override;
    status_code NodeId(host_node_id* id) override;

    // Copies the next entry's name into `name`: 1 when there was one, 0 at the
    // end, or a negative status.
    status_code ReadEntry(char* name, size_t size);
    status_code Rewind();

private:
    DIR* directory_;
    host_node_id id_;
};

}  // namespace fssh
