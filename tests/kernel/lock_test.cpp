#include "kernel/lock.h"

#include "kernel/semaphore.h"

#include "tests/kernel/kernel_test_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace fssh {
namespace {

using testing::Eq;
using testing::ExitedWithCode;

using test::PANIC_STATUS;
using test::WOULD_BLOCK_DEATH;

std::string name_of(semaphore_id id)
{
    semaphore_info info;
    EXPECT_EQ(sem_get_info(id, &info), FSSH_OK);
    return info.name;
}

template <typename... Arguments>
std::string format(const char* format_text, Arguments... arguments)
{
    char text[512];
    snprintf(text, sizeof(text), format_text, arguments...);
    return text;
}

// Takes every free semaphore slot, so that the next lock creation fails.
void fill_semaphore_table()
{
    while (sem_create(0, "filler") >= 0) {
    }
}

class Mutex : public testing::Test {
protected:
    void SetUp() override { mutex_init(&lock_, "test mutex"); }
    void TearDown() override { mutex_destroy(&lock_); }
    mutex lock_;
};

TEST_F(Mutex, LockAndUnlockTrackTheHolderAndTheCount)
{
    EXPECT_EQ(lock_.holder, -1);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 1);
    EXPECT_EQ(name_of(lock_.sem), "test mutex");
    EXPECT_EQ(mutex_lock(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.holder, MAIN_THREAD_ID);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 0);
    EXPECT_EQ(mutex_unlock(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.holder, -1);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 1);
}

TEST_F(Mutex, DestroyDeletesTheSemaphoreOnce)
{
    semaphore_id sem = lock_.sem;
    mutex_destroy(&lock_);
    EXPECT_EQ(lock_.sem, -1);
    EXPECT_EQ(lock_.holder, -1);
    EXPECT_EQ(sem_get_count(sem, nullptr), FSSH_NO_SUCH_SEMAPHORE);
    mutex_destroy(&lock_);
}

TEST_F(Mutex, LockOnADestroyedMutexReportsTheMissingSemaphore)
{
    mutex_destroy(&lock_);
    EXPECT_EQ(mutex_lock(&lock_), FSSH_NO_SUCH_SEMAPHORE);
    EXPECT_EQ(lock_.holder, -1);
}

TEST_F(Mutex, SecondLockWouldBlockAndEndsTheProcess)
{
    mutex_lock(&lock_);
    EXPECT_EXIT(mutex_lock(&lock_), ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
}

TEST_F(Mutex, UnlockByANonHolderPanics)
{
    std::string message = format(
        "mutex_unlock failure: thread 0x3 is trying to release mutex %p (current holder "
        "0xffffffff)\n",
        static_cast<void*>(&lock_));
    EXPECT_EXIT(mutex_unlock(&lock_), ExitedWithCode(PANIC_STATUS), Eq(message));
}

TEST_F(Mutex, LockWithAStaleHolderPanics)
{
    mutex_lock(&lock_);
    // The semaphore is released behind the mutex's back: the holder is left set.
    sem_release(lock_.sem);
    std::string message =
        format("mutex_lock failure: mutex %p (sem = 0x%x) acquired twice by thread 0x3\n",
               static_cast<void*>(&lock_), static_cast<unsigned>(lock_.sem));
    EXPECT_EXIT(mutex_lock(&lock_), ExitedWithCode(PANIC_STATUS), Eq(message));
    lock_.holder = -1;
}

TEST(LockInitialisers, IgnoreANullLock)
{
    semaphore_id before = sem_create(0, "probe");
    mutex_init(nullptr, "x");
    mutex_init_etc(nullptr, "x");
    recursive_lock_init(nullptr, "x");
    recursive_lock_init_etc(nullptr, "x");
    rw_lock_init(nullptr, "x");
    rw_lock_init_etc(nullptr, "x");
    mutex_destroy(nullptr);
    recursive_lock_destroy(nullptr);
    rw_lock_destroy(nullptr);
    semaphore_id after = sem_create(0, "probe");
    EXPECT_EQ(after, before + 1) << "no semaphore was created";
    sem_delete(before);
    sem_delete(after);
}

struct LockKind {
    const char* name;
    void (*init)(const char* name, semaphore_id* sem);
    void (*destroy)(semaphore_id sem);
    const char* default_name;
    int32_t units;
    const char* creation_failure;
};

template <typename Lock, void (*Init)(Lock*, const char*)>
void init_lock(const char* name, semaphore_id* sem)
{
    Lock lock;
    Init(&lock, name);
    *sem = lock.sem;
}

template <typename Lock, void (*Destroy)(Lock*)>
void destroy_lock(semaphore_id sem)
{
    Lock lock{};
    lock.sem = sem;
    Destroy(&lock);
}

const LockKind LOCK_KINDS[] = {
    {"Mutex", init_lock<mutex, mutex_init>, destroy_lock<mutex, mutex_destroy>,
     "mutex_sem", 1, "could not create mutex"},
    {"MutexEtc", init_lock<mutex, mutex_init_etc>,
     destroy_lock<mutex, mutex_destroy>, "mutex_sem", 1, "could not create mutex"},
    {"Recursive", init_lock<recursive_lock, recursive_lock_init>,
     destroy_lock<recursive_lock, recursive_lock_destroy>, "recursive lock", 1,
     "could not create recursive lock"},
    {"RecursiveEtc", init_lock<recursive_lock, recursive_lock_init_etc>,
     destroy_lock<recursive_lock, recursive_lock_destroy>, "recursive lock", 1,
     "could not create recursive lock"},
    {"ReadWrite", init_lock<rw_lock, rw_lock_init>,
     destroy_lock<rw_lock, rw_lock_destroy>, "r/w lock", RW_LOCK_MAX_READERS,
     "could not create r/w lock"},
    {"ReadWriteEtc", init_lock<rw_lock, rw_lock_init_etc>,
     destroy_lock<rw_lock, rw_lock_destroy>, "r/w lock", RW_LOCK_MAX_READERS,
     "could not create r/w lock"},
};

class LockCreation : public testing::TestWithParam<LockKind> {};

TEST_P(LockCreation, NamesTheSemaphoreAndGivesItTheLocksUnits)
{
    semaphore_id named;
    semaphore_id unnamed;
    GetParam().init("my lock", &named);
    GetParam().init(nullptr, &unnamed);
    EXPECT_EQ(name_of(named), "my lock");
    EXPECT_EQ(name_of(unnamed), GetParam().default_name);
    EXPECT_EQ(test::semaphore_count(named), GetParam().units);
    GetParam().destroy(named);
    GetParam().destroy(unnamed);
    EXPECT_EQ(sem_get_count(named, nullptr), FSSH_NO_SUCH_SEMAPHORE);
}

TEST_P(LockCreation, PanicsWhenNoSemaphoreCanBeCreated)
{
    EXPECT_EXIT(
        {
            fill_semaphore_table();
            semaphore_id sem;
            GetParam().init("doomed", &sem);
        },
        ExitedWithCode(PANIC_STATUS), Eq(GetParam().creation_failure));
}

INSTANTIATE_TEST_SUITE_P(Kinds, LockCreation, testing::ValuesIn(LOCK_KINDS),
                         [](const testing::TestParamInfo<LockKind>& info) {
                             return info.param.name;
                         });

class RecursiveLock : public testing::Test {
protected:
    void SetUp() override { recursive_lock_init(&lock_, "test rlock"); }
    void TearDown() override { recursive_lock_destroy(&lock_); }
    recursive_lock lock_;
};

TEST_F(RecursiveLock, OnlyTheOutermostUnlockReleasesTheSemaphore)
{
    EXPECT_EQ(lock_.holder, -1);
    EXPECT_EQ(lock_.recursion, 0);
    EXPECT_EQ(recursive_lock_get_recursion(&lock_), -1);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(recursive_lock_lock(&lock_), FSSH_OK);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 0);
    for (int32_t level : {3, 2, 1}) {
        EXPECT_EQ(recursive_lock_get_recursion(&lock_), level);
        EXPECT_EQ(test::semaphore_count(lock_.sem), 0);
        recursive_lock_unlock(&lock_);
    }
    EXPECT_EQ(recursive_lock_get_recursion(&lock_), -1);
    EXPECT_EQ(lock_.holder, -1);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 1);
}

TEST_F(RecursiveLock, TryLockNestsForTheHolder)
{
    EXPECT_EQ(recursive_lock_trylock(&lock_), FSSH_OK);
    EXPECT_EQ(recursive_lock_trylock(&lock_), FSSH_OK);
    EXPECT_EQ(recursive_lock_get_recursion(&lock_), 2);
    recursive_lock_unlock(&lock_);
    recursive_lock_unlock(&lock_);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 1);
}

TEST_F(RecursiveLock, TryLockOfALockHeldElsewhereWouldBlock)
{
    recursive_lock_lock(&lock_);
    recursive_lock_transfer(&lock_, 7);
    EXPECT_EQ(lock_.holder, 7);
    EXPECT_EQ(recursive_lock_get_recursion(&lock_), -1);
    EXPECT_EQ(recursive_lock_trylock(&lock_), FSSH_WOULD_BLOCK);
    EXPECT_EQ(lock_.holder, 7);
    EXPECT_EQ(lock_.recursion, 1);
    EXPECT_EXIT(recursive_lock_lock(&lock_), ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
}

TEST_F(RecursiveLock, UnlockByANonHolderPanics)
{
    std::string message =
        format("recursive_lock %p unlocked by non-holder thread!\n", static_cast<void*>(&lock_));
    EXPECT_EXIT(recursive_lock_unlock(&lock_), ExitedWithCode(PANIC_STATUS), Eq(message));
    recursive_lock_lock(&lock_);
    recursive_lock_transfer(&lock_, 9);
    EXPECT_EXIT(recursive_lock_unlock(&lock_), ExitedWithCode(PANIC_STATUS), Eq(message));
}

TEST_F(RecursiveLock, TransferAtAnyRecursionButOnePanics)
{
    const std::string message = "invalid recursion level for lock transfer!";
    EXPECT_EXIT(recursive_lock_transfer(&lock_, 5), ExitedWithCode(PANIC_STATUS), Eq(message));
    recursive_lock_lock(&lock_);
    recursive_lock_lock(&lock_);
    EXPECT_EXIT(recursive_lock_transfer(&lock_, 5), ExitedWithCode(PANIC_STATUS), Eq(message));
    recursive_lock_unlock(&lock_);
    recursive_lock_transfer(&lock_, MAIN_THREAD_ID);
    recursive_lock_unlock(&lock_);
}

class ReadWriteLock : public testing::Test {
protected:
    void SetUp() override { rw_lock_init(&lock_, "test rwlock"); }
    void TearDown() override { rw_lock_destroy(&lock_); }
    rw_lock lock_;
};

TEST_F(ReadWriteLock, EachReaderTakesOneUnit)
{
    EXPECT_EQ(rw_lock_lock_read(&lock_), FSSH_OK);
    EXPECT_EQ(rw_lock_lock_read(&lock_), FSSH_OK);
    EXPECT_EQ(test::semaphore_count(lock_.sem), RW_LOCK_MAX_READERS - 2);
    EXPECT_EQ(lock_.writer, -1);
    EXPECT_EQ(rw_lock_unlock_read(&lock_), FSSH_OK);
    EXPECT_EQ(rw_lock_unlock_read(&lock_), FSSH_OK);
    EXPECT_EQ(test::semaphore_count(lock_.sem), RW_LOCK_MAX_READERS);
}

TEST_F(ReadWriteLock, TheWriterNestsReadAndWriteLocksWithoutTouchingTheSemaphore)
{
    EXPECT_EQ(rw_lock_lock_write(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.writer, MAIN_THREAD_ID);
    EXPECT_EQ(lock_.writer_nesting, 1);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 0);

    EXPECT_EQ(rw_lock_lock_read(&lock_), FSSH_OK);
    EXPECT_EQ(rw_lock_lock_write(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.writer_nesting, 3);
    EXPECT_EQ(rw_lock_unlock_write(&lock_), FSSH_OK);
    EXPECT_EQ(rw_lock_unlock_read(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.writer_nesting, 1);
    EXPECT_EQ(lock_.writer, MAIN_THREAD_ID);
    EXPECT_EQ(test::semaphore_count(lock_.sem), 0);

    EXPECT_EQ(rw_lock_unlock_write(&lock_), FSSH_OK);
    EXPECT_EQ(lock_.writer, -1);
    EXPECT_EQ(test::semaphore_count(lock_.sem), RW_LOCK_MAX_READERS);
}

TEST_F(ReadWriteLock, WriteLockWhileAReadLockIsHeldWouldBlock)
{
    rw_lock_lock_read(&lock_);
    EXPECT_EXIT(rw_lock_lock_write(&lock_), ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
}

TEST_F(ReadWriteLock, ReadLockHeldByAnotherWriterWouldBlock)
{
    rw_lock_lock_write(&lock_);
    lock_.writer = 8;
    EXPECT_EXIT(rw_lock_lock_read(&lock_), ExitedWithCode(1), Eq(WOULD_BLOCK_DEATH));
    lock_.writer = MAIN_THREAD_ID;
    rw_lock_unlock_write(&lock_);
}

TEST_F(ReadWriteLock, DestroyClearsTheSemaphoreSoASecondDestroyIsHarmless)
{
    rw_lock_destroy(&lock_);
    EXPECT_EQ(lock_.sem, -1);
    semaphore_id reused = sem_create(1, "reused");
    rw_lock_destroy(&lock_);
    EXPECT_EQ(test::semaphore_count(reused), 1);
    sem_delete(reused);
}

TEST(MutexLocker, HoldsTheMutexForItsScope)
{
    mutex lock;
    mutex_init(&lock, "scoped");
    {
        MutexLocker locker(&lock);
        EXPECT_TRUE(locker.IsLocked());
        EXPECT_EQ(lock.holder, MAIN_THREAD_ID);
        locker.Unlock();
        EXPECT_FALSE(locker.IsLocked());
        EXPECT_EQ(lock.holder, -1);
        EXPECT_EQ(locker.Lock(), FSSH_OK);
        EXPECT_EQ(locker.Lock(), FSSH_OK) << "a second Lock of the holder is a no-op";
    }
    EXPECT_EQ(lock.holder, -1);
    EXPECT_EQ(test::semaphore_count(lock.sem), 1);
    mutex_destroy(&lock);
}

TEST(MutexLocker, AdoptsAHeldMutexAndDetachLeavesItHeld)
{
    mutex lock;
    mutex_init(&lock, "scoped");
    mutex_lock(&lock);
    {
        MutexLocker locker(&lock, true);
        EXPECT_TRUE(locker.IsLocked());
    }
    EXPECT_EQ(lock.holder, -1);
    {
        MutexLocker locker(&lock);
        locker.Detach();
        EXPECT_FALSE(locker.IsLocked());
    }
    EXPECT_EQ(lock.holder, MAIN_THREAD_ID);
    mutex_unlock(&lock);
    mutex_destroy(&lock);
}

TEST(MutexLocker, ReportsAFailedLock)
{
    mutex lock;
    mutex_init(&lock, "scoped");
    mutex_destroy(&lock);
    MutexLocker locker(&lock);
    EXPECT_FALSE(locker.IsLocked());
    EXPECT_EQ(locker.Lock(), FSSH_NO_SUCH_SEMAPHORE);
}

TEST(RecursiveLocker, NestsAndReleasesInScopeOrder)
{
    recursive_lock lock;
    recursive_lock_init(&lock, "scoped");
    {
        RecursiveLocker outer(&lock);
        {
            RecursiveLocker inner(&lock);
            EXPECT_TRUE(inner.IsLocked());
            EXPECT_EQ(recursive_lock_get_recursion(&lock), 2);
        }
        EXPECT_EQ(recursive_lock_get_recursion(&lock), 1);
        RecursiveLocker detached(&lock);
        detached.Detach();
    }
    EXPECT_EQ(recursive_lock_get_recursion(&lock), 1);
    recursive_lock_unlock(&lock);
    EXPECT_EQ(test::semaphore_count(lock.sem), 1);
    recursive_lock_destroy(&lock);
}

TEST(ReadAndWriteLocker, TakeAndReturnTheirUnits)
{
    rw_lock lock;
    rw_lock_init(&lock, "scoped");
    {
        ReadLocker reader(&lock);
        EXPECT_TRUE(reader.IsLocked());
        EXPECT_EQ(test::semaphore_count(lock.sem), RW_LOCK_MAX_READERS - 1);
        reader.Unlock();
        EXPECT_EQ(test::semaphore_count(lock.sem), RW_LOCK_MAX_READERS);
        WriteLocker writer(&lock);
        EXPECT_TRUE(writer.IsLocked());
        ReadLocker nested(&lock);
        EXPECT_EQ(lock.writer_nesting, 2);
        EXPECT_EQ(test::semaphore_count(lock.sem), 0);
    }
    EXPECT_EQ(lock.writer, -1);
    EXPECT_EQ(test::semaphore_count(lock.sem), RW_LOCK_MAX_READERS);
    {
        WriteLocker writer(&lock);
        writer.Detach();
    }
    EXPECT_EQ(lock.writer, MAIN_THREAD_ID);
    rw_lock_unlock_write(&lock);
    rw_lock_destroy(&lock);
}

}  // namespace
}  // namespace fssh
