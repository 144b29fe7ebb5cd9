// wfsmount served for real through the host's FUSE, with the memory volume
// mounted in its kernel: the host sees the kernel's root file system.

#include "tests/support/fuse_mount_harness.h"
#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"

#include <gtest/gtest.h>

#include <string>

namespace wfsmount {
namespace {

using test_support::CommandResult;
using test_support::FuseMountHarness;

class RealFuseMount : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_HOST_FACILITY(test_support::fuse_available(), "/dev/fuse cannot be opened");
        ASSERT_TRUE(image_.created()) << image_.error();
        ASSERT_TRUE(harness_.start()) << harness_.error();
    }

    // Runs a host command line; a failure fails the test with its output.
    std::string run(const std::string& command_line)
    {
        CommandResult result = harness_.run(command_line);
        EXPECT_EQ(result.exit_status, 0)
            << command_line << ": " << result.output << result.error_output;
        return result.output;
    }

    test_support::ScratchImage image_{1 << 20};
    FuseMountHarness harness_{WFSMOUNT_MEMORY_VOLUME_PROGRAM, {"-f", image_.path()}};
};

TEST_F(RealFuseMount, HostCommandsWorkInTheRootFileSystemAndUnmountEndsTheProgram)
{
    EXPECT_EQ(run("ls -a \"$MNT\""), ".\n..\nmyfs\n");
    run("mkdir \"$MNT/dir\"");
    EXPECT_EQ(run("ls \"$MNT\""), "dir\nmyfs\n");
    run("ln -s some/target \"$MNT/link\"");
    EXPECT_EQ(run("readlink \"$MNT/link\""), "some/target\n");
    run("mv \"$MNT/dir\" \"$MNT/moved\"");
    EXPECT_EQ(run("ls \"$MNT\""), "link\nmoved\nmyfs\n");
    run("rmdir \"$MNT/moved\"");
    run("rm \"$MNT/link\"");
    EXPECT_EQ(run("ls -a \"$MNT\""), ".\n..\nmyfs\n");
    EXPECT_EQ(run("ls \"$MNT/myfs\""), "file\n");

    ASSERT_TRUE(harness_.unmount()) << harness_.error();
    EXPECT_EQ(harness_.exit_status(), 0);
    EXPECT_EQ(harness_.program_stderr(), "");
}

TEST_F(RealFuseMount, HostSeesValidErrorsForRefusedRequests)
{
    run("mkdir \"$MNT/boot\" \"$MNT/full\" \"$MNT/full/child\" \"$MNT/empty\"");
    CommandResult result = harness_.run("mv \"$MNT/boot\" \"$MNT/elsewhere\"");
    EXPECT_NE(result.exit_status, 0);
    EXPECT_NE(result.error_output.find("Operation not permitted"), std::string::npos)
        << result.error_output;

    // The root file system answers a rename onto a directory that has
    // entries with a code the host has no number for.
    result = harness_.run("mv -T \"$MNT/empty\" \"$MNT/full\"");
    EXPECT_NE(result.exit_status, 0);
    EXPECT_NE(result.error_output.find("Directory not empty"), std::string::npos)
        << result.error_output;

    result = harness_.run("mkfifo \"$MNT/fifo\"");
    EXPECT_NE(result.exit_status, 0);
    EXPECT_NE(result.error_output.find("Invalid argument"), std::string::npos)
        << result.error_output;

    ASSERT_TRUE(harness_.unmount()) << harness_.error();
    EXPECT_EQ(harness_.exit_status(), 0);
}

}  // namespace
}  // namespace wfsmount
