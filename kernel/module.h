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
    status_code (*std_ops)(int32_t operation);  // null: nothing to initialise
};

// Creates the registry's lock and table; FSSH_NO_MEMORY when the table cannot
// be created. Called once, before any other function of the registry.
status_code module_init();
// Registers a built-in module under its name and sets its MODULE_BUILT_IN
// flag; a missing name, a duplicate name or a lack of memory is only printed.
void register_builtin_module(module_info* module);
// Takes a reference, initialising the module (std_ops(MODULE_INIT)) on its
// first one; a failed initialisation is retried by the next call. The record
// is stored in `module` only when the result is FSSH_OK.
status_code get_module(const char* name, module_info** module);
// Drops a reference, uninitialising the module (std_ops(MODULE_UNINIT)) on its
// last one unless it is kept loaded. A failed uninitialisation is only printed,
// and the module then refuses every later get_module. A name without an
// outstanding reference gives FSSH_INVALID_ARGUMENT.
status_code put_module(const char* name);

// The std_ops hook of a module with nothing to set up or tear down: accepts
// MODULE_INIT and MODULE_UNINIT, refuses every other operation with FSSH_ERROR.
status_code module_std_ops_without_state(int32_t operation);
// The "modules" debugger command: prints every entry of the registry with its
// reference count and state to standard output; returns 0.
int list_modules(int argc, char** argv);

}  // namespace fssh
