#pragma once

// Change announcements and entry-cache updates offered to file systems. The
// layer keeps no name cache and sends no notifications, so every one of them
// does nothing; they exist so that file systems can report their changes.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <cstdint>

namespace fssh {

// FSSH_OK.
status_code announce_entry_created(dev_t device, ino_t directory, const char* name, ino_t node);
status_code announce_entry_removed(dev_t device, ino_t directory, const char* name, ino_t node);
status_code announce_entry_moved(dev_t device, ino_t from_directory, const char* from_name,
                                 ino_t to_directory, const char* to_name, ino_t node);
status_code announce_stat_changed(dev_t device, ino_t node, uint32_t mask);
status_code announce_attribute_changed(dev_t device, ino_t node, const char* attribute,
                                       int32_t cause);
status_code announce_query_match(port_id port, uint32_t token, dev_t device, ino_t directory,
                                 const char* name, ino_t node);
status_code announce_query_unmatch(port_id port, uint32_t token, dev_t device, ino_t directory,
                                   const char* name, ino_t node);
status_code announce_query_attribute_changed(port_id port, uint32_t token, dev_t device,
                                             ino_t directory, const char* name, ino_t node);
status_code name_cache_add(dev_t device, ino_t directory, const char* name, ino_t node);
status_code name_cache_add_negative(dev_t device, ino_t directory, const char* name);

// FSSH_NOT_FOUND: there is no cache entry to remove.
status_code name_cache_remove(dev_t device, ino_t directory, const char* name);

}  // namespace fssh
