#pragma once

// The directory entry record that read_dir hooks fill, one or more per call,
// each d_reclen bytes long.

#include "kernel/kernel_stat.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

struct kernel_dirent {
    dev_t d_dev;       // device of the entry's node
    dev_t d_pdev;      // device of the directory
    ino_t d_ino;       // id of the entry's node
    ino_t d_pino;      // id of the directory
    uint16_t d_reclen;  // length of this record in bytes
    char d_name[1];     // null-terminated name, running past the record's end
};

// The fixed part of an entry before its name.
constexpr size_t DIRENT_NAME_OFFSET = 26;
// A buffer of this size holds one entry with a name of up to 261 characters.
constexpr size_t DIRENT_BUFFER_SIZE = 288;

static_assert(offsetof(kernel_dirent, d_pdev) == 4);
static_assert(offsetof(kernel_dirent, d_ino) == 8);
static_assert(offsetof(kernel_dirent, d_pino) == 16);
static_assert(offsetof(kernel_dirent, d_reclen) == 24);
static_assert(offsetof(kernel_dirent, d_name) == DIRENT_NAME_OFFSET);

}  // namespace fssh
