#include "kernel/module.h"

#include "kernel/debug.h"
#include "kernel/hash_table.h"
#include "kernel/lock.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace fssh {

namespace {

constexpr uint32_t MODULE_BUCKETS = 16;

enum module_state : int32_t {
    MODULE_REGISTERED = 0,      // never initialised
    MODULE_NOT_INITIALIZED = 1,  // after a failed init or a successful uninit
    MODULE_INITIALIZING = 2,
    MODULE_READY = 3,
    MODULE_UNINITIALIZING = 4,
    MODULE_UNINIT_FAILED = 5,
};

struct module_entry {
    module_entry* hash_link;  // first, as the table's link
    char* name;               // the hash key
    char* file;               // always empty: every module is built in
    int32_t reference_count;
    module_info* module;
    int32_t offset;  // always -1: no module comes from an image
    int32_t state;
    uint32_t flags;
};

static_assert(offsetof(module_entry, hash_link) == 0);

hash_table* modules;
recursive_lock modules_lock;

int compare_module_name(void* element, const void* key)
{
    return strcmp(static_cast<module_entry*>(element)->name, static_cast<const char*>(key));
}

uint32_t hash_module_name(void* element, const void* key, uint32_t range)
{
    const char* name = element != nullptr ? static_cast<module_entry*>(element)->name
                                          : static_cast<const char*>(key);
    return hash_string(name) % range;
}

module_entry* find_entry(const char* name)
{
    return static_cast<module_entry*>(hash_lookup(modules, name));
}

void free_entry(module_entry* entry)
{
    free(entry->name);
    free(entry->file);
    delete entry;
}

// A new entry for the module, or null when memory runs out.
module_entry* create_entry(module_info* module)
{
    module_entry* entry = new (std::nothrow) module_entry{};
    if (entry == nullptr)
        return nullptr;
    entry->name = strdup(module->name);
    entry->file = strdup("");
    if (entry->name == nullptr || entry->file == nullptr) {
        free_entry(entry);
        return nullptr;
    }
    entry->reference_count = 0;
    entry->module = module;
    entry->offset = -1;
    entry->state = MODULE_REGISTERED;
    entry->flags = module->flags;
    return entry;
}

status_code call_std_ops(module_entry* entry, int32_t operation)
{
    if (entry->module->std_ops == nullptr)
        return FSSH_OK;
    return entry->module->std_ops(operation);
}

status_code initialize_module(module_entry* entry)
{
    entry->state = MODULE_INITIALIZING;
    status_code status = call_std_ops(entry, MODULE_INIT);
    entry->state = status >= 0 ? MODULE_READY : MODULE_NOT_INITIALIZED;
    return status;
}

// Whether a module without references may be used, initialising it first when
// it is not ready.
status_code make_ready(module_entry* entry)
{
    switch (entry->state) {
    case MODULE_REGISTERED:
    case MODULE_NOT_INITIALIZED:
        return initialize_module(entry);
    case MODULE_INITIALIZING:
        debug_printf("circular reference to %s\n", entry->name);
        return FSSH_ERROR;
    case MODULE_READY:
        return FSSH_OK;
    case MODULE_UNINITIALIZING:
        debug_printf("tried to load module %s which is currently unloading\n", entry->name);
        return FSSH_ERROR;
    case MODULE_UNINIT_FAILED:
        debug_printf("cannot load module %s because its earlier unloading failed\n",
                     entry->name);
        return FSSH_ERROR;
    default:
        return FSSH_ERROR;
    }
}

// Uninitialises a module whose last reference was dropped. A failure keeps
// the module loaded for good, so that uninitialisation is never tried again.
void uninitialize_module(module_entry* entry)
{
    switch (entry->state) {
    case MODULE_READY: {
        entry->state = MODULE_UNINITIALIZING;
        status_code status = call_std_ops(entry, MODULE_UNINIT);
        if (status >= 0) {
            entry->state = MODULE_NOT_INITIALIZED;
            return;
        }
        debug_printf("Error unloading module %s (%s)\n", entry->name, status_text(status));
        entry->state = MODULE_UNINIT_FAILED;
        entry->flags |= MODULE_KEEP_LOADED;
        return;
    }
    case MODULE_INITIALIZING:
        panic("Trying to unload module %s which is initializing\n", entry->name);
    case MODULE_UNINITIALIZING:
        panic("Trying to unload module %s which is un-initializing\n", entry->name);
    default:
        return;
    }
}

}  // namespace

status_code module_init()
{
    recursive_lock_init(&modules_lock, "modules rlock");
    modules = hash_init(MODULE_BUCKETS, offsetof(module_entry, hash_link), compare_module_name,
                        hash_module_name);
    if (modules == nullptr)
        return FSSH_NO_MEMORY;
    add_debugger_command("modules", list_modules, "list all known & loaded modules");
    return FSSH_OK;
}

void register_builtin_module(module_info* module)
{
    RecursiveLocker locker(&modules_lock);
    module->flags |= MODULE_BUILT_IN;
    if (module->name == nullptr) {
        debug_printf("creation of built-in module \"%s\" failed!\n", "(null)");
        return;
    }
    if (find_entry(module->name) != nullptr) {
        debug_printf("Duplicate module name (%s) detected... ignoring new one\n", module->name);
        debug_printf("creation of built-in module \"%s\" failed!\n", module->name);
        return;
    }
    module_entry* entry = create_entry(module);
    if (entry == nullptr) {
        debug_printf("creation of built-in module \"%s\" failed!\n", module->name);
        return;
    }
    hash_insert(modules, entry);
}

status_code get_module(const char* name, module_info** module)
{
    if (name == nullptr)
        return FSSH_INVALID_ARGUMENT;
    RecursiveLocker locker(&modules_lock);
    module_entry* entry = find_entry(name);
    if (entry == nullptr)
        return FSSH_NOT_FOUND;

    status_code status = entry->reference_count != 0 ? FSSH_OK : make_ready(entry);
    if (status != FSSH_OK)
        return status;
    entry->reference_count++;
    if (module != nullptr)
        *module = entry->module;
    return FSSH_OK;
}

// A put without an outstanding reference is refused like an unknown name:
// taking the count below zero would make the next get_module skip the
// module's initialisation.
status_code put_module(const char* name)
{
    if (name == nullptr)
        return FSSH_INVALID_ARGUMENT;
    RecursiveLocker locker(&modules_lock);
    module_entry* entry = find_entry(name);
    if (entry != nullptr && (entry->flags & MODULE_KEEP_LOADED) != 0)
        return FSSH_OK;
    if (entry == nullptr || entry->reference_count == 0) {
        debug_printf("module: We don't seem to have a reference to module %s\n", name);
        return FSSH_INVALID_ARGUMENT;
    }
    if (--entry->reference_count == 0)
        uninitialize_module(entry);
    return FSSH_OK;
}

int list_modules(int /*argc*/, char** /*argv*/)
{
    RecursiveLocker locker(&modules_lock);
    debug_printf("-- known modules:\n");
    hash_iterator iterator;
    hash_open_iterator(modules, &iterator);
    while (void* element = hash_next(modules, &iterator)) {
        module_entry* entry = static_cast<module_entry*>(element);
        debug_printf("%p: \"%s\", \"%s\" (%d), refcount = %d, state = %d\n", element,
                     entry->name, entry->file, entry->offset, entry->reference_count,
                     entry->state);
    }
    hash_close_iterator(modules, &iterator, false);
    return 0;
}

status_code module_std_ops_without_state(int32_t operation)
{
    if (operation == MODULE_INIT || operation == MODULE_UNINIT)
        return FSSH_OK;
    return FSSH_ERROR;
}

}  // namespace fssh
