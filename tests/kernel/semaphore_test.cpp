#include "kernel/semaphore.h"

#include "kernel/clock.h"

#include "tests/kernel/kernel_test_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fssh {
namespace {

using testing::Eq;
using testing::ExitedWithCode;

using test::PANIC_STATUS;
using test::WOULD_BLOCK_DEATH;

// A semaphore that is deleted when the test ends.
class Semaphore {
public:
    explicit Semaphore(int32_t count, const char* name = "test sem")
        : id_(sem_create(count, name))
    {
        EXPECT_GE(id_, 0);
    }
    ~Semaphore() { sem_delete(id_); }
    semaphore_id id() const { return id_; }

private:
    semaphore_id id_;
};

TEST(Semaphore, FullTableRefusesCreationAndReusesTheLowestFreedSlot)
{
    std::vector<semaphore_id> created;
    semaphore_id id;
    while ((id = sem_create(1, "filler")) >= 0)
        created.push_back(id);
    EXPECT_EQ(id, FSSH_SEMAPHORE_TABLE_FULL);
    ASSERT_GT(created.size(), 20u);
    EXPECT_EQ(created.back(), MAX_SEMAPHORES - 1);
    for (size_t i = 1; i < created.size(); i++)
        ASSERT_EQ(created[i], created[i - 1] + 1) << "slots are taken lowest first";

    semaphore_id higher = created[19];
    semaphore_id lower = created[17];
    EXPECT_EQ(sem_delete(higher), FSSH_OK);
    EXPECT_EQ(sem_delete(lower), FSSH_OK);
    EXPECT_EQ(sem_create(1, "again"), lower);
    EXPECT_EQ(sem_create(1, "again"), higher);
    EXPECT_EQ(sem_create(1, "again"), FSSH_SEMAPHORE_TABLE_FULL);

    for (semaphore_id created_id : created)
        EXPECT_EQ(sem_delete(created_id), FSSH_OK);
}

TEST(Semaphore, AcceptsZeroAndNegativeCounts)
{
    for (int32_t count : {0, -3, 7}) {
        Semaphore sem(count);
        EXPECT_EQ(test::semaphore_count(sem.id()), count);
    }
}

TEST(Semaphore, AcquireAndReleaseMoveTheCount)
{
    Semaphore sem(2);
    EXPECT_EQ(sem_acquire(sem.id()), FSSH_OK);
    EXPECT_EQ(sem_acquire(sem.id()), FSSH_OK);
    EXPECT_EQ(test::semaphore_count(sem.id()), 0);
    EXPECT_EQ(sem_release(sem.id()), FSSH_OK);
    EXPECT_EQ(sem_release_etc(sem.id(), 5), FSSH_OK);
    EXPECT_EQ(test::semaphore_count(sem.id()), 6);
    EXPECT_EQ(sem_release_etc(sem.id(), 0), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(sem_release_etc(sem.id(), -2), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(test::semaphore_count(sem.id()), 6);
}

struct AcquireCase {
    const char* name;
    int32_t count;
    int32_t units;
    uint32_t flags;
    int64_t timeout;
    status_code result;
    int32_t count_after;
};

class SemaphoreAcquireEtc : public testing::TestWithParam<AcquireCase> {};

TEST_P(SemaphoreAcquireEtc, TakesUnitsOnlyWhenAvailable)
{
    const AcquireCase& c = GetParam();
    Semaphore sem(c.count);
    EXPECT_EQ(sem_acquire_etc(sem.id(), c.units, c.flags, c.timeout), c.result);
    EXPECT_EQ(test::semaphore_count(sem.id()), c.count_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SemaphoreAcquireEtc,
    testing::Values(AcquireCase{"SomeUnits", 3, 2, 0, 0, FSSH_OK, 1},
                    AcquireCase{"DownToExactlyZero", 2, 2, 0, 0, FSSH_OK, 0},
                    AcquireCase{"ZeroUnits", 5, 0, 0, 0, FSSH_INVALID_ARGUMENT, 5},
                    AcquireCase{"NegativeUnits", 5, -1, 0, 0, FSSH_INVALID_ARGUMENT, 5},
                    AcquireCase{"TryOnEmpty", 0, 1, SEM_WAIT_RELATIVE, 0, FSSH_WOULD_BLOCK, 0},
                    AcquireCase{"TryTooMany", 1, 2, SEM_WAIT_RELATIVE, 0, FSSH_WOULD_BLOCK, 1},
                    AcquireCase{"NegativeRelative", 0, 1, SEM_WAIT_RELATIVE, -5,
                                FSSH_WOULD_BLOCK, 0},
                    AcquireCase{"PastAbsolute", 0, 1, SEM_WAIT_ABSOLUTE, 1000, FSSH_TIMED_OUT, 0},
                    AcquireCase{"NegativeAbsolute", 1, 3, SEM_WAIT_ABSOLUTE, -1, FSSH_TIMED_OUT,
                                1},
                    AcquireCase{"ShortRelative", 1, 2, SEM_WAIT_RELATIVE, 2000, FSSH_TIMED_OUT,
                                1}),
    [](const testing::TestParamInfo<AcquireCase>& info) { return info.param.name; });

TEST(Semaphore, RelativeTimeOutSleepsItsWholeLengthAndLeavesTheCount)
{
    Semaphore sem(0);
    int64_t start = clock_usecs();
    EXPECT_EQ(sem_acquire_etc(sem.id(), 1, SEM_WAIT_RELATIVE, 50000), FSSH_TIMED_OUT);
    EXPECT_GE(clock_usecs() - start, 50000);
    EXPECT_EQ(test::semaphore_count(sem.id()), 0);
}

TEST(Semaphore, AbsoluteTimeOutSleepsUntilTheInstant)
{
    Semaphore sem(0);
    int64_t deadline = clock_usecs() + 30000;
    EXPECT_EQ(sem_acquire_etc(sem.id(), 1, SEM_WAIT_ABSOLUTE, deadline), FSSH_TIMED_OUT);
    EXPECT_GE(clock_usecs(), deadline);
    EXPECT_EQ(test::semaphore_count(sem.id()), 0);
}

struct BlockingAcquire {
    const char* name;
    int32_t count;
    int32_t units;
    uint32_t flags;
    int64_t timeout;
};

class SemaphoreWouldBlockDeathTest : public testing::TestWithParam<BlockingAcquire> {};

TEST_P(SemaphoreWouldBlockDeathTest, EndsTheProcessThroughTheDebugger)
{
    const BlockingAcquire& c = GetParam();
    EXPECT_EXIT(
        {
            semaphore_id id = sem_create(c.count, "blocking");
            sem_acquire_etc(id, c.units, c.flags, c.timeout);
        },
        ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SemaphoreWouldBlockDeathTest,
    testing::Values(BlockingAcquire{"EmptyWithoutTimeOut", 0, 1, 0, 1000},
                    BlockingAcquire{"TooFewUnitsWithoutTimeOut", 3, 4, 0, 0},
                    BlockingAcquire{"OverflowingDeadline", 0, 1, SEM_WAIT_RELATIVE, INT64_MAX}),
    [](const testing::TestParamInfo<BlockingAcquire>& info) { return info.param.name; });

TEST(SemaphoreWouldBlockDeathTest, PlainAcquireOnAnEmptySemaphore)
{
    EXPECT_EXIT(sem_acquire(sem_create(0, nullptr)), ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
}

TEST(Semaphore, EveryOperationRefusesAnInvalidId)
{
    semaphore_id deleted = sem_create(1, "deleted");
    ASSERT_EQ(sem_delete(deleted), FSSH_OK);
    int32_t count;
    semaphore_info info;
    for (semaphore_id id : {-1, MAX_SEMAPHORES, deleted}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(sem_delete(id), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_acquire(id), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_acquire_etc(id, 0, 0, 0), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_release(id), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_release_etc(id, 1), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_get_count(id, &count), FSSH_NO_SUCH_SEMAPHORE);
        EXPECT_EQ(sem_get_info(id, &info), FSSH_NO_SUCH_SEMAPHORE);
    }
}

TEST(Semaphore, InfoReportsATruncatedNameAndFixedOwner)
{
    Semaphore named(4, "a semaphore name that is longer than thirty-one characters");
    Semaphore unnamed(-2, nullptr);
    semaphore_info info;

    ASSERT_EQ(sem_get_info(named.id(), &info), FSSH_OK);
    EXPECT_EQ(info.sem, named.id());
    EXPECT_EQ(info.owner, 1);
    EXPECT_STREQ(info.name, "a semaphore name that is longer");
    EXPECT_EQ(info.count, 4);
    EXPECT_EQ(info.latest_holder, -1);

    ASSERT_EQ(sem_get_info(unnamed.id(), &info), FSSH_OK);
    EXPECT_STREQ(info.name, "unnamed sem");
    EXPECT_EQ(info.count, -2);

    EXPECT_EQ(sem_get_info(named.id(), nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(sem_get_count(named.id(), nullptr), FSSH_INVALID_ARGUMENT);
}

TEST(Semaphore, NextInfoWalksLiveSlotsUpward)
{
    Semaphore first(1, "first");
    Semaphore gap(1, "gap");
    Semaphore second(2, "second");
    sem_delete(gap.id());

    int32_t cookie = first.id();
    semaphore_info info;
    ASSERT_EQ(sem_get_next_info(0, &cookie, &info), FSSH_OK);
    EXPECT_EQ(info.sem, first.id());
    EXPECT_EQ(cookie, first.id() + 1);
    ASSERT_EQ(sem_get_next_info(2, &cookie, &info), FSSH_OK);
    EXPECT_EQ(info.sem, second.id());
    EXPECT_STREQ(info.name, "second");
    EXPECT_EQ(cookie, second.id() + 1);
    EXPECT_EQ(sem_get_next_info(1, &cookie, &info), FSSH_NOT_FOUND);

    cookie = 0;
    EXPECT_EQ(sem_get_next_info(3, &cookie, &info), FSSH_BAD_OWNER_ID);
    EXPECT_EQ(sem_get_next_info(-1, &cookie, &info), FSSH_BAD_OWNER_ID);
    cookie = MAX_SEMAPHORES;
    EXPECT_EQ(sem_get_next_info(0, &cookie, &info), FSSH_NOT_FOUND);
    cookie = first.id();
    EXPECT_EQ(sem_get_next_info(0, &cookie, nullptr), FSSH_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace fssh
