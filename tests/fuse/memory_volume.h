#pragma once

// A small file system module for testing the front end without a wfs volume:
// every mount shows the same in-memory root directory holding a regular file
// "file", an entry "unstatable" whose status cannot be read and, once the
// create hook has made it, a regular file "created". It keeps its state in the
// process, so it is meant to be mounted once.

#include "kernel/kernel_stat.h"
#include "vfs/fs_interface.h"

#include <cstdint>
#include <string>

namespace memory_volume {

constexpr fssh::ino_t ROOT_ID = 1;
constexpr fssh::ino_t FILE_ID = 2;
constexpr fssh::ino_t UNSTATABLE_ID = 3;
constexpr fssh::ino_t CREATED_ID = 4;

constexpr const char* MODULE_NAME = "file_systems/memoryfs/v1";
constexpr const char* VOLUME_NAME = "memory volume";
constexpr int64_t TOTAL_BLOCKS = 100;
constexpr int64_t FREE_BLOCKS = 40;

// What tests set and observe.
struct volume_state {
    int32_t block_size = 2048;      // reported by read_fs_info
    bool fail_fs_info = false;      // read_fs_info fails with FSSH_IO_ERROR
    uint32_t last_open_mode = 0;    // open mode of the last open or create hook call
    std::string file_contents;      // contents of "file"
    uint32_t file_mode = 0x81a4;    // regular file, 0644
    bool created = false;           // "created" exists
    uint32_t created_mode = 0;      // its mode: the permissions of the create call
    uint32_t last_access_mode = 0;  // mode of the last access hook call
    int sync_count = 0;             // calls of the sync hook
};

volume_state& state();

extern fssh::fs_module_info module;

// The built-in module list of the test programs: this module only.
extern fssh::fs_module_info* const module_list[];

}  // namespace memory_volume
