#include "tests/vfs/failing_calloc.h"

#include <cstdlib>

namespace vfs_test {

namespace {

size_t s_failing_size;
bool s_failure_pending;

}  // namespace

void fail_next_calloc(size_t size)
{
    s_failing_size = size;
    s_failure_pending = true;
}

bool calloc_failure_pending()
{
    return s_failure_pending;
}

}  // namespace vfs_test

// The linker sends every calloc call of the test program here
// (-Wl,--wrap=calloc); __real_calloc is the allocator itself.
extern "C" void* __real_calloc(size_t count, size_t size);

extern "C" void* __wrap_calloc(size_t count, size_t size)
{
    if (vfs_test::s_failure_pending && count * size == vfs_test::s_failing_size) {
        vfs_test::s_failure_pending = false;
        return nullptr;
    }
    return __real_calloc(count, size);
}
