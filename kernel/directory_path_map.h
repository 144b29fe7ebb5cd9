#pragma once

// The directory path map: for every host directory opened through the host
// file layer, its node id and the path it was opened by, so that a descriptor
// of the directory can give back its path. Recording a node again replaces
// its path.

#include "kernel/descriptor.h"
#include "kernel/status.h"

namespace fssh {

// Records the directory's path; FSSH_NO_MEMORY when no entry can be made.
status_code directory_path_record(host_node_id id, const char* path);

// The recorded path of the node, or null. An entry whose path no longer
// leads to that directory (removed, or its node id reused) is dropped.
const char* directory_path_lookup(host_node_id id);

}  // namespace fssh
