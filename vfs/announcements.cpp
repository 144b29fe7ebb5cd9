#include "vfs/announcements.h"

namespace fssh {

status_code announce_entry_created(dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code announce_entry_removed(dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code announce_entry_moved(dev_t, ino_t, const char*, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code announce_stat_changed(dev_t, ino_t, uint32_t)
{
    return FSSH_OK;
}

status_code announce_attribute_changed(dev_t, ino_t, const char*, int32_t)
{
    return FSSH_OK;
}

status_code announce_query_match(port_id, uint32_t, dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code announce_query_unmatch(port_id, uint32_t, dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code announce_query_attribute_changed(port_id, uint32_t, dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code name_cache_add(dev_t, ino_t, const char*, ino_t)
{
    return FSSH_OK;
}

status_code name_cache_add_negative(dev_t, ino_t, const char*)
{
    return FSSH_OK;
}

status_code name_cache_remove(dev_t, ino_t, const char*)
{
    return FSSH_NOT_FOUND;
}

}  // namespace fssh
