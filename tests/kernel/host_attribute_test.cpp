// The host attribute emulation on real host files: the stored layout in the
// host's user extended attributes, reading, writing, listing and the
// attribute descriptors.

#include "kernel/attribute_value.h"
#include "kernel/descriptor_table.h"
#include "kernel/host.h"
#include "kernel/host_attribute.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

namespace fssh {
namespace {

using test_support::ScratchFolder;

constexpr uint32_t LONG_TYPE = 0x4c4f4e47;  // "LONG"
constexpr uint32_t CSTR_TYPE = 0x43535452;  // "CSTR"

struct EscapeCase {
    const char* name;
    const char* host_name;
};

class HostAttributeName : public testing::TestWithParam<EscapeCase> {};

TEST_P(HostAttributeName, EscapesPercentAndSlash)
{
    char host_name[HOST_ATTRIBUTE_NAME_SIZE];
    ASSERT_EQ(host_attribute_name(GetParam().name, host_name), FSSH_OK);
    EXPECT_STREQ(host_name, GetParam().host_name);
}

TEST_P(HostAttributeName, GivesTheNameBack)
{
    char name[MAX_ATTRIBUTE_NAME_LENGTH + 1];
    ASSERT_TRUE(is_host_attribute_name(GetParam().host_name));
    ASSERT_EQ(attribute_name_from_host(GetParam().host_name, name, sizeof(name)), FSSH_OK);
    EXPECT_STREQ(name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Names, HostAttributeName,
                         testing::Values(EscapeCase{"name", "orvik.name"},
                                         EscapeCase{"a/b", "orvik.a%\\b"},
                                         EscapeCase{"100%", "orvik.100%%"},
                                         EscapeCase{"%/%\\", "orvik.%%%\\%%\\"},
                                         EscapeCase{"QUIL:TYPE", "orvik.QUIL:TYPE"},
                                         EscapeCase{"", "orvik."}));

TEST(HostAttributeNameLimits, RefusesNamesBeyond253Characters)
{
    char host_name[HOST_ATTRIBUTE_NAME_SIZE];
    EXPECT_EQ(host_attribute_name(std::string(253, '/').c_str(), host_name), FSSH_OK);
    EXPECT_EQ(strlen(host_name), 6u + 2 * 253);
    EXPECT_EQ(host_attribute_name(std::string(254, 'a').c_str(), host_name), FSSH_NAME_TOO_LONG);
    EXPECT_FALSE(is_host_attribute_name("other"));
    char small[3];
    EXPECT_EQ(attribute_name_from_host("orvik.abc", small, sizeof(small)), FSSH_NAME_TOO_LONG);
}

class HostAttribute : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.created());
        std::ofstream(folder_ / "file") << "data";
        file_ = fssh_open((folder_ / "file").c_str(), FSSH_O_RDWR, 0);
        ASSERT_GE(file_, 0);
    }

    void TearDown() override { EXPECT_EQ(fssh_close(file_), FSSH_OK); }

    // The raw host attribute behind `host_name` (without the namespace).
    std::string stored(const char* host_name)
    {
        char value[64 * 1024];
        ssize_t length = host::get_user_attribute(file_, host_name, value, sizeof(value));
        return length < 0 ? "<missing>" : std::string(value, static_cast<size_t>(length));
    }

    static std::string header(uint32_t type) { return std::string(reinterpret_cast<char*>(&type), 4); }

    std::string read_attribute(const char* name, off_t position = 0, size_t size = 64)
    {
        char value[64];
        ssize_t length = fssh_fs_read_attr(file_, name, position, value, size);
        return length < 0 ? "<failed>" : std::string(value, static_cast<size_t>(length));
    }

    ScratchFolder folder_;
    int file_ = -1;
};

TEST_F(HostAttribute, WriteStoresTypeHeaderAndDataUnderTheEscapedName)
{
    ASSERT_EQ(fssh_fs_write_attr(file_, "a/b", LONG_TYPE, 0, "12345678", 8), 8);
    EXPECT_EQ(stored("orvik.a%\\b"), header(LONG_TYPE) + "12345678");
    EXPECT_EQ(read_attribute("a/b"), "12345678");
    EXPECT_EQ(read_attribute("a/b", 5), "678");
    EXPECT_EQ(read_attribute("a/b", 2, 3), "345");
    EXPECT_EQ(read_attribute("a/b", 8), "");

    attr_info info;
    ASSERT_EQ(fssh_fs_stat_attr(file_, "a/b", &info), 0);
    EXPECT_EQ(info.type, LONG_TYPE);
    EXPECT_EQ(info.size, 8);
}

TEST_F(HostAttribute, WriteBeyondTheEndZeroFillsTheGapAndTakesTheNewType)
{
    ASSERT_EQ(fssh_fs_write_attr(file_, "note", LONG_TYPE, 0, "abc", 3), 3);
    ASSERT_EQ(fssh_fs_write_attr(file_, "note", CSTR_TYPE, 6, "xyz", 3), 3);
    EXPECT_EQ(stored("orvik.note"), header(CSTR_TYPE) + std::string("abc\0\0\0xyz", 9));
    // Overwriting inside keeps the rest.
    ASSERT_EQ(fssh_fs_write_attr(file_, "note", CSTR_TYPE, 1, "B", 1), 1);
    EXPECT_EQ(read_attribute("note"), std::string("aBc\0\0\0xyz", 9));
}

// Whether the host takes a value that large depends on its file system; the
// layer's own limit holds before the host is asked.
TEST_F(HostAttribute, ValueBeyond40960BytesIsRefusedAndLeavesTheOldOne)
{
    ASSERT_EQ(fssh_fs_write_attr(file_, "big", LONG_TYPE, 0, "abc", 3), 3);
    EXPECT_EQ(fssh_fs_write_attr(file_, "big", LONG_TYPE, 40958, "xyz", 3), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_EFBIG);
    EXPECT_EQ(fssh_fs_write_attr(file_, "big", LONG_TYPE, 40961, "", 0), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_EFBIG);
    EXPECT_EQ(stored("orvik.big"), header(LONG_TYPE) + "abc");
}

TEST_F(HostAttribute, MissingAttributeIsNotFound)
{
    attr_info info;
    EXPECT_EQ(read_attribute("missing"), "<failed>");
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
    EXPECT_EQ(fssh_fs_stat_attr(file_, "missing", &info), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
    EXPECT_EQ(fssh_fs_remove_attr(file_, "missing"), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);
}

TEST_F(HostAttribute, RemoveDeletesTheHostAttribute)
{
    ASSERT_EQ(fssh_fs_write_attr(file_, "gone", LONG_TYPE, 0, "x", 1), 1);
    EXPECT_EQ(fssh_fs_remove_attr(file_, "gone"), 0);
    EXPECT_EQ(stored("orvik.gone"), "<missing>");
    EXPECT_EQ(read_attribute("gone"), "<failed>");
}

TEST_F(HostAttribute, StoredValueShorterThanItsHeaderIsReported)
{
    ASSERT_EQ(host::set_user_attribute(file_, "orvik.short", "ab", 2), 0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(read_attribute("short"), "<failed>");
    EXPECT_EQ(get_kernel_errno(), FSSH_CORRUPT_DATA);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "fs_read_attr(): attribute \"short\" is shorter than the AttributeHeader!\n");

    attr_info info;
    testing::internal::CaptureStdout();
    EXPECT_EQ(fssh_fs_stat_attr(file_, "short", &info), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "fs_stat_attr(): attribute \"short\" is shorter than the AttributeHeader!\n");
}

std::set<std::string> list_attributes(int directory)
{
    std::set<std::string> names;
    char name[MAX_ATTRIBUTE_NAME_LENGTH + 1];
    int result;
    while ((result = fssh_fs_read_attr_dir(directory, name, sizeof(name))) == 1)
        names.insert(name);
    EXPECT_EQ(result, 0);
    return names;
}

TEST_F(HostAttribute, ListingShowsOnlyTheEmulatedAttributes)
{
    for (const char* name : {"one", "a/b", "100%"})
        ASSERT_EQ(fssh_fs_write_attr(file_, name, LONG_TYPE, 0, "x", 1), 1);
    ASSERT_EQ(host::set_user_attribute(file_, "foreign", "y", 1), 0);

    int directory = fssh_fs_open_attr_dir(file_);
    ASSERT_GE(directory, FIRST_EMULATED_DESCRIPTOR);
    const std::set<std::string> expected = {"one", "a/b", "100%"};
    EXPECT_EQ(list_attributes(directory), expected);
    EXPECT_EQ(list_attributes(directory), std::set<std::string>{});
    EXPECT_EQ(fssh_fs_rewind_attr_dir(directory), 0);

    char first[MAX_ATTRIBUTE_NAME_LENGTH + 1];
    ASSERT_EQ(fssh_fs_read_attr_dir(directory, first, sizeof(first)), 1);
    // A copy continues where the original stands.
    int copy = fssh_dup(directory);
    ASSERT_GE(copy, FIRST_EMULATED_DESCRIPTOR);
    std::set<std::string> rest = list_attributes(copy);
    rest.insert(first);
    EXPECT_EQ(rest, expected);

    kernel_stat file_stat;
    kernel_stat listing_stat;
    ASSERT_EQ(fssh_fstat(file_, &file_stat), 0);
    ASSERT_EQ(fssh_fstat(copy, &listing_stat), 0);
    EXPECT_EQ(listing_stat.st_ino, file_stat.st_ino);
    EXPECT_EQ(fssh_fs_read_attr_dir(file_, first, sizeof(first)), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(fssh_close(copy), FSSH_OK);
    EXPECT_EQ(fssh_close(directory), FSSH_OK);
}

TEST_F(HostAttribute, AttributeDescriptorStoresTheWholeValueOnEveryWrite)
{
    int attribute = fssh_fs_open_attr(file_, "title", CSTR_TYPE, FSSH_O_RDWR | FSSH_O_CREAT);
    ASSERT_EQ(attribute, FIRST_EMULATED_DESCRIPTOR);
    // Created at once, empty.
    EXPECT_EQ(stored("orvik.title"), header(CSTR_TYPE));

    EXPECT_EQ(fssh_write(attribute, "hello world", 11), 11);
    EXPECT_EQ(stored("orvik.title"), header(CSTR_TYPE) + "hello world");
    EXPECT_EQ(fssh_write(attribute, "HELLO", 5), 5);
    EXPECT_EQ(stored("orvik.title"), header(CSTR_TYPE) + "HELLO world");

    // It is not a host file.
    char byte;
    EXPECT_EQ(fssh_pread(attribute, 0, &byte, 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    kernel_stat stat;
    ASSERT_EQ(fssh_fstat(attribute, &stat), 0);
    EXPECT_EQ(stat.st_size, 4);  // the owning file's
    EXPECT_EQ(fssh_close(attribute), FSSH_OK);

    // Truncating empties it; the type stays.
    attribute = fssh_fs_open_attr(file_, "title", LONG_TYPE, FSSH_O_WRONLY | FSSH_O_TRUNC);
    ASSERT_GE(attribute, 0);
    EXPECT_EQ(stored("orvik.title"), header(CSTR_TYPE));
    EXPECT_EQ(fssh_close(attribute), FSSH_OK);
}

TEST_F(HostAttribute, AttributeDescriptorOpenModesAreHonoured)
{
    EXPECT_EQ(fssh_fs_open_attr(file_, "absent", LONG_TYPE, FSSH_O_RDWR), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_NOT_FOUND);

    ASSERT_EQ(fssh_fs_write_attr(file_, "fixed", LONG_TYPE, 0, "keep", 4), 4);
    int reading = fssh_fs_open_attr(file_, "fixed", LONG_TYPE, FSSH_O_RDONLY);
    ASSERT_GE(reading, 0);
    EXPECT_EQ(fssh_write(reading, "lose", 4), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    EXPECT_EQ(read_attribute("fixed"), "keep");

    // A copy has its own value: writing through it stores its bytes only.
    int writing = fssh_fs_open_attr(file_, "fixed", LONG_TYPE, FSSH_O_RDWR);
    int copy = fssh_dup(writing);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(fssh_close(writing), FSSH_OK);
    EXPECT_EQ(fssh_write(copy, "KE", 2), 2);
    EXPECT_EQ(read_attribute("fixed"), "KEep");
    EXPECT_EQ(fssh_close(copy), FSSH_OK);
    EXPECT_EQ(fssh_close(reading), FSSH_OK);
}

TEST_F(HostAttribute, FileTypeWriteOnASymbolicLinkIsIgnored)
{
    ASSERT_EQ(symlink("file", (folder_ / "link").c_str()), 0);
    int link = fssh_open((folder_ / "link").c_str(), FSSH_O_NOTRAVERSE, 0);
    ASSERT_GE(link, FIRST_EMULATED_DESCRIPTOR);
    EXPECT_EQ(fssh_fs_write_attr(link, "QUIL:TYPE", CSTR_TYPE, 0, "text/plain", 10), 10);
    EXPECT_EQ(fssh_fs_write_attr(link, "other", CSTR_TYPE, 0, "x", 1), -1);
    EXPECT_EQ(get_kernel_errno(), FSSH_BAD_FILE_DESCRIPTOR);
    // The link's target did not receive it.
    EXPECT_EQ(stored("orvik.QUIL:TYPE"), "<missing>");
    EXPECT_EQ(fssh_close(link), FSSH_OK);
}

}  // namespace
}  // namespace fssh
