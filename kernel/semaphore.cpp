#include "kernel/semaphore.h"

#include "kernel/clock.h"
#include "kernel/debug.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fssh {

namespace {

constexpr char WOULD_BLOCK_MESSAGE[] =
    "Would block on a semaphore without timeout in a single-threaded context!";

struct semaphore_slot {
    char* name;  // owned by the slot
    int32_t count;
    uint8_t in_use;
};

semaphore_slot slots[MAX_SEMAPHORES];

// No slot below this index is free; keeps creation from rescanning the
// table's live prefix every time.
int32_t lowest_free_hint = 0;

// The slot of a live semaphore, or null for an id out of range or a free slot.
semaphore_slot* live_slot(semaphore_id id)
{
    if (static_cast<uint32_t>(id) >= static_cast<uint32_t>(MAX_SEMAPHORES))
        return nullptr;
    semaphore_slot* slot = &slots[id];
    return slot->in_use == 1 ? slot : nullptr;
}

void fill_info(semaphore_id id, const semaphore_slot& slot, semaphore_info* info)
{
    info->sem = id;
    info->owner = 1;
    strncpy(info->name, slot.name, sizeof(info->name) - 1);
    info->name[sizeof(info->name) - 1] = '\0';
    info->count = slot.count;
    info->latest_holder = -1;
}

// A single thread cannot wait for the semaphore to be released: the acquire
// sleeps out its time-out, if it has one, and then reports it expired.
status_code wait_for_timeout(uint32_t flags, int64_t timeout)
{
    int64_t limit = timeout < 0 ? 0 : timeout;
    status_code status;
    if ((flags & SEM_WAIT_RELATIVE) != 0) {
        if (timeout <= 0)
            return FSSH_WOULD_BLOCK;
        int64_t now = clock_usecs();
        if (now >= INT64_MAX - limit)
            debugger(WOULD_BLOCK_MESSAGE);
        status = sleep_until_usecs(now + limit, 0);
    } else if ((flags & SEM_WAIT_ABSOLUTE) != 0) {
        status = sleep_until_usecs(limit, 0);
    } else {
        debugger(WOULD_BLOCK_MESSAGE);
    }
    return status != FSSH_OK ? status : FSSH_TIMED_OUT;
}

}  // namespace

semaphore_id sem_create(int32_t count, const char* name)
{
    int32_t id = lowest_free_hint;
    while (id < MAX_SEMAPHORES && slots[id].in_use == 1)
        id++;
    lowest_free_hint = id;
    if (id == MAX_SEMAPHORES)
        return FSSH_SEMAPHORE_TABLE_FULL;

    char* copy = strdup(name != nullptr ? name : "unnamed sem");
    if (copy == nullptr)
        return FSSH_NO_MEMORY;
    slots[id] = semaphore_slot{copy, count, 1};
    lowest_free_hint = id + 1;
    return id;
}

status_code sem_delete(semaphore_id id)
{
    semaphore_slot* slot = live_slot(id);
    if (slot == nullptr)
        return FSSH_NO_SUCH_SEMAPHORE;
    free(slot->name);
    *slot = semaphore_slot{nullptr, 0, 0};
    if (id < lowest_free_hint)
        lowest_free_hint = id;
    return FSSH_OK;
}

status_code sem_acquire(semaphore_id id)
{
    return sem_acquire_etc(id, 1, 0, 0);
}

status_code sem_acquire_etc(semaphore_id id, int32_t units, uint32_t flags, int64_t timeout)
{
    semaphore_slot* slot = live_slot(id);
    if (slot == nullptr)
        return FSSH_NO_SUCH_SEMAPHORE;
    if (units <= 0)
        return FSSH_INVALID_ARGUMENT;
    if (slot->count >= units) {
        slot->count -= units;
        return FSSH_OK;
    }
    return wait_for_timeout(flags, timeout);
}

status_code sem_release(semaphore_id id)
{
    return sem_release_etc(id, 1);
}

status_code sem_release_etc(semaphore_id id, int32_t units)
{
    semaphore_slot* slot = live_slot(id);
    if (slot == nullptr)
        return FSSH_NO_SUCH_SEMAPHORE;
    if (units <= 0)
        return FSSH_INVALID_ARGUMENT;
    slot->count += units;
    return FSSH_OK;
}

status_code sem_get_count(semaphore_id id, int32_t* count)
{
    semaphore_slot* slot = live_slot(id);
    if (slot == nullptr)
        return FSSH_NO_SUCH_SEMAPHORE;
    if (count == nullptr)
        return FSSH_INVALID_ARGUMENT;
    *count = slot->count;
    return FSSH_OK;
}

status_code sem_get_info(semaphore_id id, semaphore_info* info)
{
    semaphore_slot* slot = live_slot(id);
    if (slot == nullptr)
        return FSSH_NO_SUCH_SEMAPHORE;
    if (info == nullptr)
        return FSSH_INVALID_ARGUMENT;
    fill_info(id, *slot, info);
    return FSSH_OK;
}

status_code sem_get_next_info(int32_t owner, int32_t* cookie, semaphore_info* info)
{
    if (static_cast<uint32_t>(owner) > 2)
        return FSSH_BAD_OWNER_ID;
    if (cookie == nullptr)
        return FSSH_INVALID_ARGUMENT;
    if (static_cast<uint32_t>(*cookie) >= static_cast<uint32_t>(MAX_SEMAPHORES))
        return FSSH_NOT_FOUND;
    for (int32_t id = *cookie; id < MAX_SEMAPHORES; id++) {
        if (slots[id].in_use != 1)
            continue;
        if (info == nullptr)
            return FSSH_INVALID_ARGUMENT;
        *cookie = id + 1;
        fill_info(id, slots[id], info);
        return FSSH_OK;
    }
    return FSSH_NOT_FOUND;
}

}  // namespace fssh
