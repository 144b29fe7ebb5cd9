#pragma once

// The permission check offered to file systems and the identity of the
// caller, which in this program is always user 0, group 0.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

// Access mode bits.
constexpr uint32_t FSSH_R_OK = 4;
constexpr uint32_t FSSH_W_OK = 2;
constexpr uint32_t FSSH_X_OK = 1;

// The current user id and group id; both always 0.
uint32_t get_current_user_id();
uint32_t get_current_group_id();

// FSSH_OK when every bit of `access_mode` is permitted for the current user on
// a node with this mode, group id and user id; FSSH_NOT_PERMITTED otherwise.
// User 0 may read and write anything, search directories, and execute files
// with any execute bit set.
status_code check_permission_bits(uint32_t access_mode, uint32_t mode, uint32_t group_id,
                                  uint32_t user_id);

}  // namespace fssh
