#pragma once

// The kernel's open-mode bits, shared by the host file layer, the kernel calls
// and the file systems.

#include <cstdint>

namespace fssh {

constexpr uint32_t FSSH_O_RDONLY = 0x0;
constexpr uint32_t FSSH_O_WRONLY = 0x1;
constexpr uint32_t FSSH_O_RDWR = 0x2;
constexpr uint32_t FSSH_O_RWMASK = 0x3;  // access-mode bits
constexpr uint32_t FSSH_O_NONBLOCK = 0x80;
constexpr uint32_t FSSH_O_EXCL = 0x100;
constexpr uint32_t FSSH_O_CREAT = 0x200;
constexpr uint32_t FSSH_O_TRUNC = 0x400;
constexpr uint32_t FSSH_O_APPEND = 0x800;
constexpr uint32_t FSSH_O_NOFOLLOW = 0x1000;
constexpr uint32_t FSSH_O_NOTRAVERSE = 0x2000;  // do not follow a link in the last component
constexpr uint32_t FSSH_O_NOCACHE = 0x100000;   // bypass the file cache
constexpr uint32_t FSSH_O_DIRECTORY = 0x200000;  // must be a directory

}  // namespace fssh
