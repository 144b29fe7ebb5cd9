#pragma once

// Kernel calls on the indices and queries of a volume, chosen by mount id.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <cstdint>

namespace fssh {

// Opens the volume's index directory and returns its descriptor number.
int kern_open_index_dir(dev_t device);

// Create, remove and stat the index `name` through the volume's hooks.
status_code kern_create_index(dev_t device, const char* name, uint32_t type, uint32_t flags);
status_code kern_remove_index(dev_t device, const char* name);
status_code kern_read_index_stat(dev_t device, const char* name, kernel_stat* stat);

// Opens a query over the volume's indices and returns its descriptor number.
int kern_open_query(dev_t device, const char* query, uint32_t flags, port_id port,
                    uint32_t token);

}  // namespace fssh
