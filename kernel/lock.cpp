#include "kernel/lock.h"

#include "kernel/debug.h"

namespace fssh {

namespace {

thread_id current_thread()
{
    return thread_find(nullptr);
}

// Takes a recursive lock, getting its semaphore through `acquire` unless the
// caller already holds the lock.
status_code lock_recursively(recursive_lock* lock, status_code (*acquire)(semaphore_id))
{
    thread_id caller = current_thread();
    if (caller != lock->holder) {
        status_code status = acquire(lock->sem);
        if (status != FSSH_OK)
            return status;
        lock->holder = caller;
    }
    lock->recursion++;
    return FSSH_OK;
}

status_code try_acquire(semaphore_id sem)
{
    return sem_acquire_etc(sem, 1, SEM_WAIT_RELATIVE, 0);
}

}  // namespace

void mutex_init(mutex* lock, const char* name)
{
    if (lock == nullptr)
        return;
    lock->holder = NO_THREAD;
    lock->sem = sem_create(1, name != nullptr ? name : "mutex_sem");
    if (lock->sem < 0)
        panic("could not create mutex");
}

void mutex_init_etc(mutex* lock, const char* name)
{
    mutex_init(lock, name);
}

void mutex_destroy(mutex* lock)
{
    if (lock == nullptr)
        return;
    if (lock->sem >= 0) {
        sem_delete(lock->sem);
        lock->sem = -1;
    }
    lock->holder = NO_THREAD;
}

status_code mutex_lock(mutex* lock)
{
    thread_id caller = current_thread();
    status_code status = sem_acquire(lock->sem);
    if (status != FSSH_OK)
        return status;
    if (caller == lock->holder) {
        panic("mutex_lock failure: mutex %p (sem = 0x%x) acquired twice by thread 0x%x\n",
              static_cast<void*>(lock), static_cast<unsigned>(lock->sem),
              static_cast<unsigned>(caller));
    }
    lock->holder = caller;
    return FSSH_OK;
}

status_code mutex_unlock(mutex* lock)
{
    thread_id caller = current_thread();
    if (caller != lock->holder) {
        panic("mutex_unlock failure: thread 0x%x is trying to release mutex %p (current "
              "holder 0x%x)\n",
              static_cast<unsigned>(caller), static_cast<void*>(lock),
              static_cast<unsigned>(lock->holder));
    }
    lock->holder = NO_THREAD;
    return sem_release(lock->sem);
}

void recursive_lock_init(recursive_lock* lock, const char* name)
{
    if (lock == nullptr)
        return;
    lock->holder = NO_THREAD;
    lock->recursion = 0;
    lock->sem = sem_create(1, name != nullptr ? name : "recursive lock");
    if (lock->sem < 0)
        panic("could not create recursive lock");
}

void recursive_lock_init_etc(recursive_lock* lock, const char* name)
{
    recursive_lock_init(lock, name);
}

void recursive_lock_destroy(recursive_lock* lock)
{
    if (lock == nullptr)
        return;
    sem_delete(lock->sem);
    lock->sem = -1;
}

status_code recursive_lock_lock(recursive_lock* lock)
{
    return lock_recursively(lock, sem_acquire);
}

status_code recursive_lock_trylock(recursive_lock* lock)
{
    return lock_recursively(lock, try_acquire);
}

void recursive_lock_unlock(recursive_lock* lock)
{
    if (current_thread() != lock->holder)
        panic("recursive_lock %p unlocked by non-holder thread!\n", static_cast<void*>(lock));
    if (--lock->recursion == 0) {
        lock->holder = NO_THREAD;
        sem_release(lock->sem);
    }
}

void recursive_lock_transfer(recursive_lock* lock, thread_id thread)
{
    if (lock->recursion != 1)
        panic("invalid recursion level for lock transfer!");
    lock->holder = thread;
}

int32_t recursive_lock_get_recursion(recursive_lock* lock)
{
    return lock->holder == current_thread() ? lock->recursion : -1;
}

void rw_lock_init(rw_lock* lock, const char* name)
{
    if (lock == nullptr)
        return;
    lock->writer = NO_THREAD;
    lock->writer_nesting = 0;
    lock->sem = sem_create(RW_LOCK_MAX_READERS, name != nullptr ? name : "r/w lock");
    if (lock->sem < 0)
        panic("could not create r/w lock");
}

void rw_lock_init_etc(rw_lock* lock, const char* name)
{
    rw_lock_init(lock, name);
}

// The semaphore id is cleared as well, so that a second destroy cannot delete
// a semaphore that has since been created in the same slot.
void rw_lock_destroy(rw_lock* lock)
{
    if (lock == nullptr)
        return;
    sem_delete(lock->sem);
    lock->sem = -1;
}

status_code rw_lock_lock_read(rw_lock* lock)
{
    if (lock->writer == current_thread()) {
        lock->writer_nesting++;
        return FSSH_OK;
    }
    return sem_acquire(lock->sem);
}

status_code rw_lock_unlock_read(rw_lock* lock)
{
    if (lock->writer == current_thread() && lock->writer_nesting-- > 1)
        return FSSH_OK;
    return sem_release(lock->sem);
}

status_code rw_lock_lock_write(rw_lock* lock)
{
    thread_id caller = current_thread();
    if (lock->writer == caller) {
        lock->writer_nesting++;
        return FSSH_OK;
    }
    status_code status = sem_acquire_etc(lock->sem, RW_LOCK_MAX_READERS, 0, 0);
    if (status != FSSH_OK)
        return status;
    lock->writer = caller;
    lock->writer_nesting = 1;
    return FSSH_OK;
}

status_code rw_lock_unlock_write(rw_lock* lock)
{
    if (lock->writer_nesting-- > 1)
        return FSSH_OK;
    lock->writer = NO_THREAD;
    return sem_release_etc(lock->sem, RW_LOCK_MAX_READERS);
}

MutexLocker::MutexLocker(mutex* lock, bool already_locked)
    : lock_(lock), locked_(already_locked)
{
    if (!already_locked)
        Lock();
}

MutexLocker::~MutexLocker()
{
    Unlock();
}

status_code MutexLocker::Lock()
{
    if (locked_)
        return FSSH_OK;
    status_code status = mutex_lock(lock_);
    locked_ = status == FSSH_OK;
    return status;
}

void MutexLocker::Unlock()
{
    if (!locked_)
        return;
    mutex_unlock(lock_);
    locked_ = false;
}

RecursiveLocker::RecursiveLocker(recursive_lock* lock)
    : lock_(lock), locked_(recursive_lock_lock(lock) == FSSH_OK)
{
}

RecursiveLocker::~RecursiveLocker()
{
    Unlock();
}

void RecursiveLocker::Unlock()
{
    if (!locked_)
        return;
    recursive_lock_unlock(lock_);
    locked_ = false;
}

ReadLocker::ReadLocker(rw_lock* lock) : lock_(lock), locked_(rw_lock_lock_read(lock) == FSSH_OK)
{
}

ReadLocker::~ReadLocker()
{
    Unlock();
}

void ReadLocker::Unlock()
{
    if (!locked_)
        return;
    rw_lock_unlock_read(lock_);
    locked_ = false;
}

WriteLocker::WriteLocker(rw_lock* lock) : lock_(lock), locked_(rw_lock_lock_write(lock) == FSSH_OK)
{
}

WriteLocker::~WriteLocker()
{
    Unlock();
}

void WriteLocker::Unlock()
{
    if (!locked_)
        return;
    rw_lock_unlock_write(lock_);
    locked_ = false;
}

}  // namespace fssh
