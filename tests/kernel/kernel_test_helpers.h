#pragma once

// Expectations shared by the kernel base tests.

#include "kernel/semaphore.h"

#include <gtest/gtest.h>

#include <string>

namespace fssh::test {

// What a process ended by an acquisition that would wait writes to standard
// error; it exits with status 1.
inline const std::string WOULD_BLOCK_DEATH =
    "debugger() called: Would block on a semaphore without timeout in a single-threaded "
    "context!\n";

// The exit status of a process ended by panic().
constexpr int PANIC_STATUS = 70;

// The count of a live semaphore.
inline int32_t semaphore_count(semaphore_id id)
{
    int32_t count = -12345;
    EXPECT_EQ(sem_get_count(id, &count), FSSH_OK);
    return count;
}

}  // namespace fssh::test
