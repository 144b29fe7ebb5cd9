#include "fuse/kernel_bring_up.h"

#include "fuse/debug_mode.h"
#include "fuse/start_up.h"
#include "fuse/system_log.h"
#include "kernel/kernel_stat.h"
#include "tests/fuse/memory_volume.h"
#include "tests/fuse/test_kernel.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/stat_calls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace wfsmount {
namespace {

using fuse_test::bring_up_test_kernel;
using fuse_test::TEST_DEVICE;
using testing::ElementsAre;
using testing::IsEmpty;

std::vector<std::string>& logged_lines()
{
    static std::vector<std::string> lines;
    return lines;
}

void record_line(const char* line)
{
    logged_lines().push_back(line);
}

// Sends the system-log lines to logged_lines() for the test.
class MountEvents : public testing::Test {
protected:
    void SetUp() override
    {
        bring_up_test_kernel();
        memory_volume::state() = memory_volume::volume_state{};
        set_debug_mode(false);
        logged_lines().clear();
        set_system_log_sink(record_line);
    }

    void TearDown() override
    {
        set_system_log_sink(nullptr);
        set_debug_mode(false);
    }
};

TEST_F(MountEvents, MountLogNamesTheMountedVolume)
{
    log_mount(TEST_DEVICE, "/mnt/volume");
    EXPECT_THAT(logged_lines(), ElementsAre("Mounted memory device (memory volume) to /mnt/volume"));
}

TEST_F(MountEvents, MountLogSaysUnknownWhenTheVolumeInformationFails)
{
    memory_volume::state().fail_fs_info = true;
    log_mount(TEST_DEVICE, "/mnt/volume");
    EXPECT_THAT(logged_lines(), ElementsAre("Mounted memory device (unknown) to /mnt/volume"));
}

TEST_F(MountEvents, DebugModeLogsNoMount)
{
    set_debug_mode(true);
    log_mount(TEST_DEVICE, "/mnt/volume");
    EXPECT_THAT(logged_lines(), IsEmpty());
}

// An open directory of the volume keeps the unmount from happening.
class BusyVolume {
public:
    BusyVolume() : fd_(fssh::kern_open_dir(-1, "/myfs")) {}
    ~BusyVolume() { fssh::kern_close(fd_); }
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

TEST_F(MountEvents, FailedUnmountGoesToTheSystemLog)
{
    BusyVolume busy;
    ASSERT_TRUE(busy.held());
    testing::internal::CaptureStderr();
    EXPECT_EQ(tear_down(TEST_DEVICE, "/mnt/volume"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_THAT(logged_lines(), ElementsAre("Error: Unmounting FS failed: Device or resource busy"));
}

TEST_F(MountEvents, FailedUnmountInDebugModeGoesToStandardError)
{
    set_debug_mode(true);
    BusyVolume busy;
    ASSERT_TRUE(busy.held());
    testing::internal::CaptureStderr();
    EXPECT_EQ(tear_down(TEST_DEVICE, "/mnt/volume"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Unmounting FS failed: Device or resource busy\n");
    EXPECT_THAT(logged_lines(), IsEmpty());
}

// The unmount cannot be undone in this process, so it runs in a child that
// prints what it saw: the logged lines, then the device "/myfs" is on.
[[noreturn]] void tear_down_and_report(bool debug)
{
    set_system_log_sink([](const char* line) { fprintf(stderr, "log: %s\n", line); });
    set_debug_mode(debug);
    int result = tear_down(TEST_DEVICE, "/mnt/volume");
    fssh::kernel_stat stat = {};
    fssh::kern_read_stat(-1, "/myfs", false, &stat, sizeof(stat));
    fprintf(stderr, "result %d, /myfs on device %d\n", result, stat.st_dev);
    exit(0);
}

TEST_F(MountEvents, TearDownUnmountsTheVolumeAndLogsIt)
{
    EXPECT_EXIT(tear_down_and_report(false), testing::ExitedWithCode(0),
                "^log: UnMounted memory device from /mnt/volume\n"
                "result 0, /myfs on device 1\n$");
}

TEST_F(MountEvents, TearDownInDebugModeUnmountsSilently)
{
    EXPECT_EXIT(tear_down_and_report(true), testing::ExitedWithCode(0),
                "^result 0, /myfs on device 1\n$");
}

struct exit_value_case {
    fssh::status_code status;
    int exit_status;
};

class BringUpExitValue : public testing::TestWithParam<exit_value_case> {};

TEST_P(BringUpExitValue, IsTheStatusUnlessTheHostWouldSeeSuccess)
{
    fssh::status_code status = GetParam().status;
    EXPECT_EXIT(exit(bring_up_exit_value(status)),
                testing::ExitedWithCode(GetParam().exit_status), "");
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, BringUpExitValue,
    testing::Values(exit_value_case{fssh::FSSH_NOT_FOUND, 0x03},
                    exit_value_case{fssh::FSSH_ERROR, 0xff},
                    exit_value_case{fssh::FSSH_NOT_A_DIRECTORY, 0x05},
                    exit_value_case{fssh::FSSH_NO_MEMORY, 1},
                    exit_value_case{fssh::FSSH_POSIX_CODE_BASE, 1}));

}  // namespace
}  // namespace wfsmount
