#pragma once

// The kernel the vfs tests run against: brought up once per process with the
// test file system mounted at "/", and a fixture that mounts a fresh test
// volume for each test and unmounts it afterwards (which also proves that the
// test released every reference it took).

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "tests/vfs/test_fs.h"

#include <gtest/gtest.h>

#include <string>

namespace vfs_test {

// module_init, the test module, vfs_init, the global I/O context, testfs
// mounted at "/" and "/" as working directory; once per process.
void start_test_kernel();

// The mount id of the volume at "/".
fssh::dev_t root_mount_id();

// Runs `command` with standard output captured and returns what it printed.
template <typename Command>
std::string capture_stdout(Command command)
{
    testing::internal::CaptureStdout();
    command();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

class VfsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Arguments of the test volume's mount.
    virtual const char* MountArguments() const { return nullptr; }

    // The absolute path of `relative` inside the test volume.
    std::string Path(const std::string& relative) const;

    // Creates a file with the given contents (through the kernel calls).
    void MakeFile(const std::string& relative, const std::string& contents = "");
    void MakeDir(const std::string& relative);

    fssh::dev_t mount_id_ = -1;
    TestVolume* volume_ = nullptr;
    std::string mount_point_;
};

}  // namespace vfs_test
