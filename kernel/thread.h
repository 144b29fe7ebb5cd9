#pragma once

// Threads of the kernel. The program has exactly one thread (id 3); creating
// another always fails, and every caller falls back to synchronous work.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

using thread_id = int32_t;

constexpr thread_id MAIN_THREAD_ID = 3;
constexpr thread_id NO_THREAD = -1;

using thread_function = status_code (*)(void* argument);

// Null name: the caller's id (3). Any name: FSSH_NOT_FOUND.
thread_id thread_find(const char* name);

// Always -1; the function never runs.
thread_id thread_spawn(thread_function function, const char* name, int32_t priority,
                       void* argument);

// Always -1.
status_code thread_wait(thread_id thread, status_code* result);

// Always FSSH_INVALID_ARGUMENT.
status_code thread_resume(thread_id thread);

}  // namespace fssh
