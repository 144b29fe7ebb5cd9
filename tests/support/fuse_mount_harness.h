#pragma once

// End-to-end tests of a FUSE file system program: start it on a fresh host
// mount point, wait until the mount is there, run host commands against it,
// unmount it with fusermount3 and collect the program's output and exit
// status. FUSE tests check test_support::fuse_available() with
// REQUIRE_HOST_FACILITY first.

#include "tests/support/run_program.h"

#include <chrono>
#include <string>
#include <vector>

namespace test_support {

class FuseMountHarness {
public:
    static constexpr std::chrono::milliseconds DEFAULT_TIMEOUT{20000};

    // The program will be started as `program arguments... <mount point>`.
    // Pass "-f" among the arguments so that libfuse keeps the program in the
    // foreground, where its output and exit status can be collected.
    FuseMountHarness(std::string program, std::vector<std::string> arguments);
    // Unmounts (lazily) and stops the program if a test left them running, and
    // removes the mount point and the output files.
    ~FuseMountHarness();
    FuseMountHarness(const FuseMountHarness&) = delete;
    FuseMountHarness& operator=(const FuseMountHarness&) = delete;

    // Starts the program and waits until the mount point carries a FUSE
    // mount. False, with error() set, when the program ends first or the
    // mount does not appear in time.
    bool start(std::chrono::milliseconds timeout = DEFAULT_TIMEOUT);

    // The host mount point, an empty directory of its own (absolute path).
    const std::string& mount_point() const { return mount_point_; }

    // Runs a command line with /bin/sh -c, with the environment variable MNT
    // set to the mount point and LC_ALL=C (plain sort order and messages).
    CommandResult run(const std::string& command_line) const;

    // Unmounts with `fusermount3 -u` and waits for the program to end. False,
    // with error() set, when fusermount3 fails or the program does not end in
    // time.
    bool unmount(std::chrono::milliseconds timeout = DEFAULT_TIMEOUT);

    // Waits for the program to end by itself (for a program that is expected
    // to fail before or instead of mounting). False when it does not end in
    // time.
    bool wait_for_exit(std::chrono::milliseconds timeout = DEFAULT_TIMEOUT);

    // True once the program has ended; its exit status is then known.
    bool ended() const { return ended_; }
    // The exit status of an ended program; -1 when a signal ended it.
    int exit_status() const { return exit_status_; }
    // What the program wrote so far.
    std::string program_stdout() const;
    std::string program_stderr() const;

    const std::string& error() const { return error_; }

private:
    bool mounted() const;
    bool poll_exit();
    void stop_program();

    std::string program_;
    std::vector<std::string> arguments_;
    std::string work_folder_;
    std::string mount_point_;
    int pid_ = -1;
    bool ended_ = false;
    int exit_status_ = -1;
    std::string error_;
};

}  // namespace test_support
