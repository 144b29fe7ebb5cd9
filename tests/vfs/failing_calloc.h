#pragma once

// Allocation failure on request for the vfs tests: the test program is linked
// with calloc wrapped, so that a test can make the next calloc of one size
// fail and see how the layer copes without memory.

#include <cstddef>

namespace vfs_test {

// Makes the next calloc whose total size is `size` bytes return null.
void fail_next_calloc(size_t size);

// Whether a requested failure is still waiting for its calloc.
bool calloc_failure_pending();

}  // namespace vfs_test
