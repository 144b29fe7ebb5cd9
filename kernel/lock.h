#pragma once

// Mutexes, recursive locks and read/write locks built on semaphores. The
// program has one thread, so a lock never has to wait: an acquisition that
// would wait ends the process. The holder and recursion fields exist so that
// misuse of the lock discipline is reported.

#include "kernel/semaphore.h"
#include "kernel/status.h"
#include "kernel/thread.h"

#include <cstdint>

namespace fssh {

struct mutex {
    semaphore_id sem;  // -1 when destroyed
    thread_id holder;  // -1 when free
};

struct recursive_lock {
    semaphore_id sem;
    thread_id holder;   // -1 when free
    int32_t recursion;  // 0 when free
};

constexpr int32_t RW_LOCK_MAX_READERS = 100000;

struct rw_lock {
    semaphore_id sem;  // RW_LOCK_MAX_READERS units: one per reader, all for the writer
    thread_id writer;  // -1 when there is no writer
    int32_t writer_nesting;
};

// A null lock is ignored by the initialisers and destroyers. Failure to create
// the lock's semaphore panics. The _etc forms behave the same.
void mutex_init(mutex* lock, const char* name);
void mutex_init_etc(mutex* lock, const char* name);
void mutex_destroy(mutex* lock);
status_code mutex_lock(mutex* lock);
status_code mutex_unlock(mutex* lock);

void recursive_lock_init(recursive_lock* lock, const char* name);
void recursive_lock_init_etc(recursive_lock* lock, const char* name);
void recursive_lock_destroy(recursive_lock* lock);
status_code recursive_lock_lock(recursive_lock* lock);
// As recursive_lock_lock, but a lock held elsewhere gives FSSH_WOULD_BLOCK.
status_code recursive_lock_trylock(recursive_lock* lock);
void recursive_lock_unlock(recursive_lock* lock);
void recursive_lock_transfer(recursive_lock* lock, thread_id thread);
// The recursion level when the caller holds the lock, else -1.
int32_t recursive_lock_get_recursion(recursive_lock* lock);

void rw_lock_init(rw_lock* lock, const char* name);
void rw_lock_init_etc(rw_lock* lock, const char* name);
void rw_lock_destroy(rw_lock* lock);
status_code rw_lock_lock_read(rw_lock* lock);
status_code rw_lock_unlock_read(rw_lock* lock);
status_code rw_lock_lock_write(rw_lock* lock);
status_code rw_lock_unlock_write(rw_lock* lock);

// Scoped holders: the lock is taken by the constructor (unless told not to)
// and released by the destructor if still held.
class MutexLocker {
public:
    explicit MutexLocker(mutex* lock, bool already_locked = false);
    ~MutexLocker();
    MutexLocker(const MutexLocker&) = delete;
    MutexLocker& operator=(const MutexLocker&) = delete;

    status_code Lock();
    void Unlock();
    bool IsLocked() const { return locked_; }
    // Leaves the lock held when the holder goes out of scope.
    void Detach() { locked_ = false; }

private:
    mutex* lock_;
    bool locked_ = false;
};

class RecursiveLocker {
public:
    explicit RecursiveLocker(recursive_lock* lock);
    ~RecursiveLocker();
    RecursiveLocker(const RecursiveLocker&) = delete;
    RecursiveLocker& operator=(const RecursiveLocker&) = delete;

    void Unlock();
    bool IsLocked() const { return locked_; }
    void Detach() { locked_ = false; }

private:
    recursive_lock* lock_;
    bool locked_ = false;
};

class ReadLocker {
public:
    explicit ReadLocker(rw_lock* lock);
    ~ReadLocker();
    ReadLocker(const ReadLocker&) = delete;
    ReadLocker& operator=(const ReadLocker&) = delete;

    void Unlock();
    bool IsLocked() const { return locked_; }

private:
    rw_lock* lock_;
    bool locked_ = false;
};

class WriteLocker {
public:
    explicit WriteLocker(rw_lock* lock);
    ~WriteLocker();
    WriteLocker(const WriteLocker&) = delete;
    WriteLocker& operator=(const WriteLocker&) = delete;

    void Unlock();
    bool IsLocked() const { return locked_; }
    void Detach() { locked_ = false; }

private:
    rw_lock* lock_;
    bool locked_ = false;
};

}  // namespace fssh
