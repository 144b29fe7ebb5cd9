// The root file system as start-up uses it: mounted first, at "/", with the
// directory "/myfs" created in it. Every other vfs test shares a kernel whose
// "/" is the test file system, so these run in a fresh process of their own.

#include "kernel/kernel_stat.h"
#include "kernel/module.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/io_context.h"
#include "vfs/rootfs/rootfs.h"
#include "vfs/rootfs/rootfs_volume.h"
#include "vfs/stat_calls.h"
#include "vfs/vfs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace rootfs_test {
namespace {

using namespace fssh;
using ino_t = fssh::ino_t;

// Ends the process with status 1 and the reason on standard error unless the
// condition holds.
void require(bool condition, const std::string& what)
{
    if (condition)
        return;
    fprintf(stderr, "failed: %s\n", what.c_str());
    exit(1);
}

// The kernel as start-up brings it up, up to the mount of the device.
void start_like_the_program()
{
    require(module_init() == FSSH_OK, "module_init");
    register_builtin_module(&rootfs_module()->info);
    require(vfs_init() == FSSH_OK, "vfs_init");
    io_context* context = vfs_new_io_context(nullptr);
    require(context != nullptr, "I/O context");
    set_global_io_context(context);
    require(fs_mount("/", nullptr, "rootfs", 0, nullptr) > 0, "mount of rootfs at /");
    require(kern_setcwd(-1, "/") == FSSH_OK, "working directory");
    require(kern_create_dir(-1, "/myfs", 0775) == FSSH_OK, "creating /myfs");
}

// Reads one entry of `fd`: its name and node id, or "" at the end.
std::string read_entry(int fd, ino_t* id)
{
    alignas(8) char buffer[DIRENT_BUFFER_SIZE];
    auto* entry = reinterpret_cast<kernel_dirent*>(buffer);
    status_code count = kern_read_dir(fd, entry, sizeof(buffer), 1);
    require(count >= 0, "read_dir");
    if (count == 0)
        return "";
    *id = entry->d_ino;
    return buffer + DIRENT_NAME_OFFSET;
}

void check_fresh_root()
{
    start_like_the_program();
    int fd = kern_open_dir(-1, "/");
    require(fd >= 0, "open_dir /");
    ino_t id = 0;
    require(read_entry(fd, &id) == "." && id == ROOTFS_ROOT_ID, "\".\" is the root");
    require(read_entry(fd, &id) == ".." && id == ROOTFS_ROOT_ID, "\"..\" is the root");
    require(read_entry(fd, &id) == "myfs" && id > ROOTFS_ROOT_ID, "then myfs");
    require(read_entry(fd, &id).empty(), "and nothing else");
    require(kern_close(fd) == FSSH_OK, "close");

    kernel_stat stat{};
    require(kern_read_stat(-1, "/myfs", false, &stat, sizeof(stat)) == FSSH_OK, "stat /myfs");
    require(stat.st_mode == (FSSH_S_IFDIR | 0775), "/myfs is a directory with mode 0775");
    require(kern_read_stat(-1, "/", false, &stat, sizeof(stat)) == FSSH_OK, "stat /");
    require(stat.st_mode == (FSSH_S_IFDIR | 0755) && stat.st_ino == ROOTFS_ROOT_ID,
            "/ is the root directory with mode 0755");
    exit(0);
}

void check_rename_rules_at_the_root()
{
    start_like_the_program();
    require(kern_create_dir(-1, "/boot", 0755) == FSSH_OK, "creating /boot");
    require(kern_rename(-1, "/boot", -1, "/shoe") == FSSH_NOT_PERMITTED, "/boot stays");
    require(kern_rename(-1, "/myfs", -1, "/myfs/inner") == FSSH_INVALID_ARGUMENT,
            "/myfs cannot move into itself");
    require(kern_create_dir(-1, "/myfs/sub", 0755) == FSSH_OK, "creating /myfs/sub");
    require(kern_rename(-1, "/myfs", -1, "/myfs/sub/inner") == FSSH_INVALID_ARGUMENT,
            "/myfs cannot move below itself");
    require(kern_rename(-1, "/myfs/sub", -1, "/boot/sub") == FSSH_OK, "others move");
    exit(0);
}

TEST(RootfsAtTheRootTest, FreshRootListsDotAndDotDotAsItselfAndThenMyfs)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(check_fresh_root(), ::testing::ExitedWithCode(0), "");
}

TEST(RootfsAtTheRootTest, BootStaysAndNoDirectoryMovesIntoItsOwnSubtree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(check_rename_rules_at_the_root(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace rootfs_test
