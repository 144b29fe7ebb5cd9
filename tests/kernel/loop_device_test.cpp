#include "tests/support/host_facility.h"
#include "tests/support/loop_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string>

namespace {

using test_support::LoopDevice;
using test_support::LoopOptions;
using test_support::ScratchImage;

TEST(LoopDevice, ShowsTheImageContentAndIsGoneAfterDetaching)
{
    ScratchImage image(64 * 1024);
    ASSERT_TRUE(image.created()) << image.error();
    int image_fd = open(image.path().c_str(), O_WRONLY);
    ASSERT_GE(image_fd, 0);
    const std::array<char, 5> marker = {'w', 'f', 's', '!', '\n'};
    ASSERT_EQ(pwrite(image_fd, marker.data(), marker.size(), 8192), 5);
    close(image_fd);

    std::string device_path;
    {
        LoopDevice loop(image.path(), LoopOptions{.sector_size = 4096});
        REQUIRE_HOST_FACILITY(loop.attached(), loop.error());
        device_path = loop.path();
        struct stat device_stat;
        ASSERT_EQ(stat(device_path.c_str(), &device_stat), 0);
        EXPECT_TRUE(S_ISBLK(device_stat.st_mode));

        int device_fd = open(device_path.c_str(), O_RDONLY);
        ASSERT_GE(device_fd, 0);
        std::array<char, 5> read_back = {};
        EXPECT_EQ(pread(device_fd, read_back.data(), read_back.size(), 8192), 5);
        EXPECT_EQ(read_back, marker);
        EXPECT_EQ(lseek(device_fd, 0, SEEK_END), 64 * 1024);
        close(device_fd);
    }
    // The detached device no longer has a backing file.
    std::string backing = "/sys/block/" + device_path.substr(5) + "/loop/backing_file";
    EXPECT_NE(access(backing.c_str(), F_OK), 0);
}

TEST(LoopDevice, ReportsWhyItCouldNotAttach)
{
    LoopDevice loop("/nonexistent/image");
    EXPECT_FALSE(loop.attached());
    EXPECT_NE(loop.error().find("/nonexistent/image"), std::string::npos);
}

}  // namespace
