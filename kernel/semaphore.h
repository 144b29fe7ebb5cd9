#pragma once

// Counting semaphores with single-thread semantics: an acquire that would
// have to wait for another thread and has no time-out ends the process.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

using semaphore_id = int32_t;

constexpr int32_t MAX_SEMAPHORES = 40960;

// Acquire flags.
constexpr uint32_t SEM_WAIT_RELATIVE = 0x8;   // time-out counts from now
constexpr uint32_t SEM_WAIT_ABSOLUTE = 0x10;  // time-out is a clock_usecs() instant

struct semaphore_info {
    semaphore_id sem;
    int32_t owner;  // always 1
    char name[32];
    int32_t count;
    int32_t latest_holder;  // always -1
};

// Takes the lowest free slot; the name (or "unnamed sem") is copied.
semaphore_id sem_create(int32_t count, const char* name);
status_code sem_delete(semaphore_id id);
status_code sem_acquire(semaphore_id id);
status_code sem_acquire_etc(semaphore_id id, int32_t units, uint32_t flags, int64_t timeout);
status_code sem_release(semaphore_id id);
status_code sem_release_etc(semaphore_id id, int32_t units);
status_code sem_get_count(semaphore_id id, int32_t* count);
status_code sem_get_info(semaphore_id id, semaphore_info* info);
status_code sem_get_next_info(int32_t owner, int32_t* cookie, semaphore_info* info);

}  // namespace fssh
