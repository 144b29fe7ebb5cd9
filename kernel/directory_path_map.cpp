#include "kernel/directory_path_map.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

struct directory_path {
    host_node_id id;
    char* path;  // allocated with malloc
    directory_path* next;
};

// Few directories are ever opened through the layer; a list is enough.
directory_path* first_directory_path = nullptr;

directory_path* find_entry(host_node_id id)
{
    for (directory_path* entry = first_directory_path; entry != nullptr; entry = entry->next) {
        if (entry->id.device == id.device && entry->id.inode == id.inode)
            return entry;
    }
    return nullptr;
}

void remove_entry(directory_path* entry)
{
    directory_path** link = &first_directory_path;
    while (*link != entry)
        link = &(*link)->next;
    *link = entry->next;
    free(entry->path);
    delete entry;
}

}  // namespace

status_code directory_path_record(host_node_id id, const char* path)
{
    char* copy = strdup(path);
    if (copy == nullptr)
        return FSSH_NO_MEMORY;
    directory_path* entry = find_entry(id);
    if (entry != nullptr) {
        free(entry->path);
        entry->path = copy;
        return FSSH_OK;
    }
    entry = new (std::nothrow) directory_path{id, copy, first_directory_path};
    if (entry == nullptr) {
        free(copy);
        return FSSH_NO_MEMORY;
    }
    first_directory_path = entry;
    return FSSH_OK;
}

const char* directory_path_lookup(host_node_id id)
{
    directory_path* entry = find_entry(id);
    if (entry == nullptr)
        return nullptr;
    // The directory may have been removed since, and its node id given to
    // another node; a path that no longer leads to this node is forgotten.
    struct stat host_stat;
    if (stat(entry->path, &host_stat) != 0 || !S_ISDIR(host_stat.st_mode) ||
        host_stat.st_dev != id.device || host_stat.st_ino != id.inode) {
        remove_entry(entry);
        return nullptr;
    }
    return entry->path;
}

}  // namespace fssh
