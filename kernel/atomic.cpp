#include "kernel/atomic.h"

#include <atomic>

// Each operation is a locked processor instruction even though the program
// has a single thread, so that the counters stay correct if that ever changes.

namespace fssh {

namespace {

template <typename Integer>
std::atomic_ref<Integer> atomic_view(Integer* value)
{
    return std::atomic_ref<Integer>(*value);
}

template <typename Integer>
Integer compare_exchange(Integer* value, Integer new_value, Integer expected)
{
    // On failure, `expected` receives the value found; either way it ends up
    // holding the value before the operation.
    atomic_view(value).compare_exchange_strong(expected, new_value);
    return expected;
}

}  // namespace

void atomic_store32(int32_t* value, int32_t new_value)
{
    atomic_view(value).store(new_value);
}

int32_t atomic_exchange32(int32_t* value, int32_t new_value)
{
    return atomic_view(value).exchange(new_value);
}

int32_t atomic_compare_exchange32(int32_t* value, int32_t new_value, int32_t expected)
{
    return compare_exchange(value, new_value, expected);
}

int32_t atomic_fetch_add32(int32_t* value, int32_t addend)
{
    return atomic_view(value).fetch_add(addend);
}

int32_t atomic_fetch_and32(int32_t* value, int32_t mask)
{
    return atomic_view(value).fetch_and(mask);
}

int32_t atomic_fetch_or32(int32_t* value, int32_t mask)
{
    return atomic_view(value).fetch_or(mask);
}

int32_t atomic_load32(int32_t* value)
{
    return atomic_view(value).load();
}

void atomic_store64(int64_t* value, int64_t new_value)
{
    atomic_view(value).store(new_value);
}

int64_t atomic_exchange64(int64_t* value, int64_t new_value)
{
    return atomic_view(value).exchange(new_value);
}

int64_t atomic_compare_exchange64(int64_t* value, int64_t new_value, int64_t expected)
{
    return compare_exchange(value, new_value, expected);
}

int64_t atomic_fetch_add64(int64_t* value, int64_t addend)
{
    return atomic_view(value).fetch_add(addend);
}

int64_t atomic_fetch_and64(int64_t* value, int64_t mask)
{
    return atomic_view(value).fetch_and(mask);
}

int64_t atomic_fetch_or64(int64_t* value, int64_t mask)
{
    return atomic_view(value).fetch_or(mask);
}

int64_t atomic_load64(int64_t* value)
{
    return atomic_view(value).load();
}

}  // namespace fssh
