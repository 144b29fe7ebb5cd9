#include "vfs/user_memory.h"

#include <cstring>

namespace fssh {

status_code user_memcpy(void* to, const void* from, size_t size)
{
    if (size == 0)
        return FSSH_OK;
    if (to == nullptr || from == nullptr)
        return FSSH_BAD_ADDRESS;
    memcpy(to, from, size);
    return FSSH_OK;
}

}  // namespace fssh
