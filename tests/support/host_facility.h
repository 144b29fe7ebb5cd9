#pragma once

#include <gtest/gtest.h>

#include <string>

namespace test_support {

// True when the tests run under continuous integration (CI=true), where a
// missing host facility (FUSE, loop devices) is a failure rather than a skip.
bool running_in_ci();

// True when /dev/fuse can be opened for reading and writing.
bool fuse_available();

}  // namespace test_support

// Ends the current test when a host facility it needs is missing: a failure in
// CI, a skip with the given reason elsewhere.
#define REQUIRE_HOST_FACILITY(available, reason)                                   \
    do {                                                                           \
        if (!(available)) {                                                        \
            if (test_support::running_in_ci()) {                                   \
                FAIL() << "required host facility missing in CI: " << (reason);    \
            }                                                                      \
            GTEST_SKIP() << "skipped, host facility missing: " << (reason);        \
        }                                                                          \
    } while (0)
