#include "vfs/permissions.h"

#include "kernel/kernel_stat.h"

namespace fssh {

uint32_t get_current_user_id()
{
    return 0;
}

uint32_t get_current_group_id()
{
    return 0;
}

namespace {

// The access bits (rwx) the current user has on a node.
uint32_t permitted_bits(uint32_t mode, uint32_t group_id, uint32_t user_id)
{
    uint32_t current_user = get_current_user_id();
    if (current_user == 0) {
        if (FSSH_S_ISDIR(mode))
            return FSSH_R_OK | FSSH_W_OK | FSSH_X_OK;
        constexpr uint32_t any_execute_bit = 0111;
        return FSSH_R_OK | FSSH_W_OK | ((mode & any_execute_bit) != 0 ? FSSH_X_OK : 0);
    }
    if (current_user == user_id)
        return (mode >> 6) & 7;
    if (get_current_group_id() == group_id)
        return (mode >> 3) & 7;
    return mode & 7;
}

}  // namespace

status_code check_permission_bits(uint32_t access_mode, uint32_t mode, uint32_t group_id,
                                  uint32_t user_id)
{
    if ((access_mode & ~permitted_bits(mode, group_id, user_id)) != 0)
        return FSSH_NOT_PERMITTED;
    return FSSH_OK;
}

}  // namespace fssh
