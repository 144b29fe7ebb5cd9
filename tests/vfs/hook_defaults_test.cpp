// The layer's results for empty hook slots, checked on a volume whose nodes
// have only the hooks they need to be found, read and listed.

#include "kernel/open_mode.h"
#include "tests/vfs/vfs_fixture.h"
#include "vfs/attribute_calls.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/index_calls.h"
#include "vfs/stat_calls.h"
#include "vfs/sync.h"
#include "vfs/write_stat_mask.h"

#include <cstring>
#include <functional>

namespace vfs_test {
namespace {

using namespace fssh;

class HookDefaultsTest : public VfsTest {
protected:
    const char* MountArguments() const override { return "minimal"; }

    void SetUp() override
    {
        VfsTest::SetUp();
        TestNode* file = volume_->AddNode(volume_->root, "file", FSSH_S_IFREG | 0644);
        file->data = "contents";
        volume_->AddNode(volume_->root, "dir", FSSH_S_IFDIR | 0755);
        volume_->AddNode(volume_->root, "link", FSSH_S_IFLNK | 0777)->link_target = "file";
    }

public:
    std::string At(const std::string& relative) const { return Path(relative); }

    // Runs `call` with a descriptor of `relative` open.
    status_code WithDescriptor(const std::string& relative, uint32_t open_mode,
                               const std::function<status_code(int)>& call)
    {
        int fd = FSSH_S_ISDIR(volume_->FindPath(relative)->mode)
                     ? kern_open_dir(-1, Path(relative).c_str())
                     : kern_open(-1, Path(relative).c_str(), open_mode, 0);
        EXPECT_GE(fd, 0);
        status_code status = call(fd);
        EXPECT_EQ(kern_close(fd), FSSH_OK);
        return status;
    }

    dev_t Device() const { return mount_id_; }
};

struct DefaultCase {
    const char* label;
    std::function<status_code(HookDefaultsTest&)> call;
    status_code expected;
};

class EmptySlotTest : public HookDefaultsTest, public testing::WithParamInterface<DefaultCase> {};

TEST_P(EmptySlotTest, AnswersWithTheLayersDefault)
{
    EXPECT_EQ(GetParam().call(*this), GetParam().expected);
}

kernel_stat s_stat{};
fs_info s_info{};

INSTANTIATE_TEST_SUITE_P(
    Slots, EmptySlotTest,
    testing::Values(
        DefaultCase{"AccessIsGranted",
                    [](HookDefaultsTest& t) { return kern_access(t.At("file").c_str(), 7); },
                    FSSH_OK},
        DefaultCase{"WriteStat",
                    [](HookDefaultsTest& t) {
                        return kern_write_stat(-1, t.At("file").c_str(), false, &s_stat,
                                               sizeof(s_stat), FSSH_STAT_MODE);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"DescriptorWriteStat",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY, [](int fd) {
                            return kern_write_stat(fd, nullptr, false, &s_stat, sizeof(s_stat),
                                                   FSSH_STAT_MODE);
                        });
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"CreateDir",
                    [](HookDefaultsTest& t) {
                        return kern_create_dir(-1, t.At("new").c_str(), 0755);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"RemoveDir",
                    [](HookDefaultsTest& t) { return kern_remove_dir(-1, t.At("dir").c_str()); },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"Unlink",
                    [](HookDefaultsTest& t) { return kern_unlink(-1, t.At("file").c_str()); },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"Rename",
                    [](HookDefaultsTest& t) {
                        return kern_rename(-1, t.At("file").c_str(), -1, t.At("moved").c_str());
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"CreateSymlink",
                    [](HookDefaultsTest& t) {
                        return kern_create_symlink(-1, t.At("new").c_str(), "file", 0777);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"CreateLink",
                    [](HookDefaultsTest& t) {
                        return kern_create_link(t.At("new").c_str(), t.At("file").c_str());
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"Create",
                    [](HookDefaultsTest& t) {
                        return kern_open(-1, t.At("new").c_str(), FSSH_O_CREAT | FSSH_O_RDWR,
                                         0644);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"ReadLink",
                    [](HookDefaultsTest& t) {
                        char buffer[16];
                        size_t size = sizeof(buffer);
                        return kern_read_link(-1, t.At("link").c_str(), buffer, &size);
                    },
                    FSSH_INVALID_ARGUMENT},
        DefaultCase{"FollowLink",
                    [](HookDefaultsTest& t) {
                        return kern_read_stat(-1, t.At("link").c_str(), true, &s_stat,
                                              sizeof(s_stat));
                    },
                    FSSH_INVALID_ARGUMENT},
        DefaultCase{"Write",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDWR, [](int fd) {
                            return static_cast<status_code>(kern_write(fd, 0, "x", 1));
                        });
                    },
                    FSSH_INVALID_ARGUMENT},
        DefaultCase{"Ioctl",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY,
                                                [](int fd) { return kern_ioctl(fd, 1, nullptr, 0); });
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"SetFlags",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY, [](int fd) {
                            return kern_fcntl(fd, FSSH_F_SETFL, FSSH_O_APPEND);
                        });
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"FsyncIsSkipped",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY,
                                                [](int fd) { return kern_fsync(fd); });
                    },
                    FSSH_OK},
        DefaultCase{"RewindDir",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("dir", FSSH_O_RDONLY,
                                                [](int fd) { return kern_rewind_dir(fd); });
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"OpenAttrDir",
                    [](HookDefaultsTest& t) {
                        return kern_open_attr_dir(-1, t.At("file").c_str());
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"OpenAttr",
                    [](HookDefaultsTest& t) {
                        return kern_open_attr(-1, t.At("file").c_str(), "a", 0, FSSH_O_RDONLY);
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"CreateAttr",
                    [](HookDefaultsTest& t) {
                        return kern_open_attr(-1, t.At("file").c_str(), "a", 0,
                                              FSSH_O_CREAT | FSSH_O_RDWR);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"RemoveAttr",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY,
                                                [](int fd) { return kern_remove_attr(fd, "a"); });
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"RenameAttr",
                    [](HookDefaultsTest& t) {
                        return t.WithDescriptor("file", FSSH_O_RDONLY, [](int fd) {
                            return kern_rename_attr(fd, "a", fd, "b");
                        });
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"WriteFsInfo",
                    [](HookDefaultsTest& t) {
                        return kern_write_fs_info(t.Device(), &s_info, 1);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"OpenIndexDir",
                    [](HookDefaultsTest& t) { return kern_open_index_dir(t.Device()); },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"CreateIndex",
                    [](HookDefaultsTest& t) {
                        return kern_create_index(t.Device(), "i", 0, 0);
                    },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"RemoveIndex",
                    [](HookDefaultsTest& t) { return kern_remove_index(t.Device(), "i"); },
                    FSSH_READ_ONLY_FILE_SYSTEM},
        DefaultCase{"ReadIndexStat",
                    [](HookDefaultsTest& t) {
                        return kern_read_index_stat(t.Device(), "i", &s_stat);
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"OpenQuery",
                    [](HookDefaultsTest& t) {
                        return kern_open_query(t.Device(), "x", 0, -1, 0);
                    },
                    FSSH_EOPNOTSUPP},
        DefaultCase{"SyncIsSkipped", [](HookDefaultsTest&) { return kern_sync(); }, FSSH_OK}),
    [](const testing::TestParamInfo<DefaultCase>& info) { return info.param.label; });

TEST_F(HookDefaultsTest, FsInfoWithoutHookHasOnlyTheLayersFields)
{
    fs_info info;
    memset(&info, 0x44, sizeof(info));
    ASSERT_EQ(kern_read_fs_info(mount_id_, &info), FSSH_OK);
    EXPECT_EQ(info.dev, mount_id_);
    EXPECT_EQ(info.root, volume_->root->id);
    EXPECT_STREQ(info.fsh_name, "testfs");
    EXPECT_EQ(info.block_size, 0);
    EXPECT_EQ(info.total_blocks, 0);
    EXPECT_STREQ(info.volume_name, "");
}

TEST_F(HookDefaultsTest, NodesWithTheRequiredHooksStillWork)
{
    int fd = kern_open(-1, Path("file").c_str(), FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    char buffer[16];
    EXPECT_EQ(kern_read(fd, 0, buffer, sizeof(buffer)), 8);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
    kernel_stat stat{};
    EXPECT_EQ(kern_read_stat(-1, Path("link").c_str(), false, &stat, sizeof(stat)), FSSH_OK);
    EXPECT_TRUE(FSSH_S_ISLNK(stat.st_mode));
}

}  // namespace
}  // namespace vfs_test
