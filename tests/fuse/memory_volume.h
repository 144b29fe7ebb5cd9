#pragma once

// A small file system module for testing the front end without a wfs volume:
// every mount shows the same in-memory root directory holding a regular file
// "file" and an entry "unstatable" whose status cannot be read. It keeps its
// state in the process, so it is meant to be mounted once.

#include "kernel/kernel_stat.h"
#include "vfs/fs_interface.h"

#include <cstdint>
#include <string>

namespace memory_volume {

constexpr fssh::ino_t ROOT_ID = 1;
constexpr fssh::ino_t FILE_ID = 2;
constexpr fssh::ino_t UNSTATABLE_ID = 3;

constexpr const char* MODULE_NAME = "file_systems/memoryfs/v1";
constexpr const char* VOLUME_NAME = "memory volume";
constexpr int64_t TOTAL_BLOCKS = 100;
constexpr int64_t FREE_BLOCKS = 40;

// What tests set and observe.
struct volume_state {
    int32_t block_size = 2048;    // reported by read_fs_info
    bool fail_fs_info = false;    // read_fs_info fails with FSSH_IO_ERROR
    uint32_t last_open_mode = 0;  // open mode of the last open hook call
    std::string file_contents;    // contents of "file"
    uint32_t file_mode = 0x81a4;  // regular file, 0644
};

volume_state& state();

extern fssh::fs_module_info module;

// The built-in module list of the test programs: this module only.
extern fssh::fs_module_info* const module_list[];

}  // namespace memory_volume
