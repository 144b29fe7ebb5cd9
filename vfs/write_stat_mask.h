#pragma once

// The write-stat mask: which fields of a stat record a write_stat hook
// applies.

#include <cstdint>

namespace fssh {

constexpr uint32_t FSSH_STAT_MODE = 0x1;  // permission bits
constexpr uint32_t FSSH_STAT_UID = 0x2;
constexpr uint32_t FSSH_STAT_GID = 0x4;
constexpr uint32_t FSSH_STAT_SIZE = 0x8;
constexpr uint32_t FSSH_STAT_ACCESS_TIME = 0x10;
constexpr uint32_t FSSH_STAT_MODIFICATION_TIME = 0x20;
constexpr uint32_t FSSH_STAT_CREATION_TIME = 0x40;
constexpr uint32_t FSSH_STAT_CHANGE_TIME = 0x80;
// Modifiers that file systems use among themselves; the layer passes them on.
constexpr uint32_t FSSH_STAT_INTERIM_UPDATE = 0x1000;
constexpr uint32_t FSSH_STAT_SIZE_INSECURE = 0x2000;

}  // namespace fssh
