#pragma once

// The module registry: every module is built in, known by name, reference
// counted, and initialised through its std_ops hook when its first reference
// is taken and uninitialised when its last is dropped.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

constexpr uint32_t MODULE_KEEP_LOADED = 0x1;
constexpr uint32_t MODULE_BUILT_IN = 0x2;

constexpr int32_t MODULE_INIT = 1;
constexpr int32_t MODULE_UNINIT = 2;

// The leading part of every module record.
struct module_info {
    const char* name;  // full name, for example "file_systems/wfs/v1"
    uint32_t flags;
    status_code (*std_ops)(int32_t operation);
};

// Creates the registry's lock and table.
status_code module_init();
// Registers a built-in module; problems are only printed.
void register_builtin_module(module_info* module);
// Takes a reference, initialising the module on its first one.
status_code get_module(const char* name, module_info** module);
// Drops a reference, uninitialising the module on its last one.
status_code put_module(const char* name);

}  // namespace fssh
