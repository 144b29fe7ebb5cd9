#include "kernel/thread.h"

#include <gtest/gtest.h>

namespace fssh {
namespace {

TEST(Thread, OnlyTheCallerCanBeFound)
{
    EXPECT_EQ(thread_find(nullptr), 3);
    EXPECT_EQ(thread_find("x"), FSSH_NOT_FOUND);
    EXPECT_EQ(thread_find(""), FSSH_NOT_FOUND);
}

TEST(Thread, SpawnFailsWithoutRunningTheFunction)
{
    bool ran = false;
    thread_function function = [](void* argument) -> status_code {
        *static_cast<bool*>(argument) = true;
        return FSSH_OK;
    };
    thread_id thread = thread_spawn(function, "wfs log flusher", 10, &ran);
    EXPECT_EQ(thread, -1);
    status_code result = 1234;
    EXPECT_EQ(thread_wait(thread, &result), -1);
    EXPECT_EQ(thread_wait(thread, nullptr), -1);
    EXPECT_EQ(result, 1234);
    EXPECT_EQ(thread_resume(thread), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(thread_resume(MAIN_THREAD_ID), FSSH_INVALID_ARGUMENT);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace fssh
