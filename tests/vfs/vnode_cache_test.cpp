// The vnode table: reference counting, the cache of unused vnodes, busy and
// removed vnodes, and the vnode services file systems call.

#include "kernel/debug.h"
#include "kernel/open_mode.h"
#include "tests/vfs/vfs_fixture.h"
#include "vfs/descriptor_calls.h"
#include "vfs/entry_calls.h"
#include "vfs/fs_mount.h"
#include "vfs/stat_calls.h"
#include "vfs/vnode.h"
#include "vfs/vnode_services.h"

#include <gmock/gmock.h>

namespace vfs_test {
namespace {

using namespace fssh;

class VnodeCacheTest : public VfsTest {
protected:
    // Stats the file, which loads its vnode and releases it again.
    void Touch(const std::string& relative)
    {
        kernel_stat stat;
        ASSERT_EQ(kern_read_stat(-1, Path(relative).c_str(), false, &stat, sizeof(stat)), FSSH_OK);
    }

    ino_t IdOf(const std::string& relative) { return volume_->FindPath(relative)->id; }

    // Creates the files and then pushes them out of the unused-vnode cache by
    // loading and releasing 16 other files.
    void MakeUncachedFiles(const std::string& prefix, int count)
    {
        for (int i = 0; i < count; i++)
            MakeFile(prefix + std::to_string(i));
        for (int i = 0; i < MAX_UNUSED_VNODES; i++) {
            MakeFile("filler" + std::to_string(i));
            Touch("filler" + std::to_string(i));
        }
    }
};

TEST_F(VnodeCacheTest, SeventeenReleasesEvictTheFirstAndKeepSixteen)
{
    MakeUncachedFiles("f", 17);
    volume_->put_vnode_calls.clear();

    for (int i = 0; i < 17; i++)
        Touch("f" + std::to_string(i));

    EXPECT_EQ(volume_->put_vnode_calls[IdOf("f0")], 1);
    for (int i = 1; i < 17; i++) {
        EXPECT_EQ(volume_->put_vnode_calls[IdOf("f" + std::to_string(i))], 0) << i;
        EXPECT_NE(lookup_vnode(mount_id_, IdOf("f" + std::to_string(i))), nullptr) << i;
    }
    EXPECT_EQ(lookup_vnode(mount_id_, IdOf("f0")), nullptr);
}

TEST_F(VnodeCacheTest, CachedVnodeIsRevivedWithoutAnotherGetVnodeHook)
{
    MakeFile("file");
    ino_t id = IdOf("file");
    int loads = volume_->get_vnode_calls[id];
    Touch("file");
    Touch("file");
    EXPECT_EQ(volume_->get_vnode_calls[id], loads);
    EXPECT_EQ(volume_->put_vnode_calls[id], 0);

    // Revived, the vnode is off the unused list: 16 other releases do not
    // evict it while it is held.
    int fd = kern_open(-1, Path("file").c_str(), FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 17; i++)
        MakeFile("other" + std::to_string(i));
    for (int i = 0; i < 17; i++)
        Touch("other" + std::to_string(i));
    EXPECT_EQ(volume_->put_vnode_calls[id], 0);
    EXPECT_EQ(kern_close(fd), FSSH_OK);
}

TEST_F(VnodeCacheTest, EvictedVnodeIsLoadedAgainThroughTheHook)
{
    MakeUncachedFiles("f", 17);
    for (int i = 0; i < 17; i++)
        Touch("f" + std::to_string(i));
    ino_t first = IdOf("f0");
    int loads = volume_->get_vnode_calls[first];
    Touch("f0");
    EXPECT_EQ(volume_->get_vnode_calls[first], loads + 1);
}

TEST_F(VnodeCacheTest, FreeingSyncsAndPutsTheNodeFromTheKernel)
{
    MakeUncachedFiles("f", 17);
    volume_->fsync_calls.clear();
    volume_->put_vnode_reenter.clear();
    for (int i = 0; i < 17; i++)
        Touch("f" + std::to_string(i));
    // Each touch evicted one vnode (16 fillers, then f0), all for kernel calls.
    EXPECT_EQ(volume_->fsync_calls[IdOf("f0")], 1);
    EXPECT_EQ(volume_->fsync_calls[IdOf("f1")], 0);
    EXPECT_EQ(volume_->put_vnode_reenter.size(), 17u);
    EXPECT_THAT(volume_->put_vnode_reenter, testing::Each(false));
}

TEST_F(VnodeCacheTest, RemovalWhileReferencedWaitsForTheLastReference)
{
    MakeFile("file", "data");
    ino_t id = IdOf("file");
    int fd = kern_open(-1, Path("file").c_str(), FSSH_O_RDONLY, 0);
    ASSERT_GE(fd, 0);

    ASSERT_EQ(kern_unlink(-1, Path("file").c_str()), FSSH_OK);
    bool removed = false;
    ASSERT_EQ(is_vnode_removed(volume_->volume, id, &removed), FSSH_OK);
    EXPECT_TRUE(removed);
    EXPECT_EQ(volume_->remove_vnode_calls[id], 0);

    // The open descriptor still reads the removed node.
    char buffer[8] = {};
    EXPECT_EQ(kern_read(fd, 0, buffer, sizeof(buffer)), 4);

    volume_->put_vnode_reenter.clear();
    ASSERT_EQ(kern_close(fd), FSSH_OK);
    EXPECT_EQ(volume_->remove_vnode_calls[id], 1);
    EXPECT_EQ(volume_->put_vnode_calls[id], 0);
    EXPECT_EQ(volume_->fsync_calls[id], 0);
    ASSERT_EQ(volume_->put_vnode_reenter.size(), 1u);
    EXPECT_FALSE(volume_->put_vnode_reenter[0]);
    EXPECT_EQ(lookup_vnode(mount_id_, id), nullptr);
}

TEST_F(VnodeCacheTest, RemovalOfAnUnreferencedNodeHappensAtOnceWithReenter)
{
    MakeFile("file");
    ino_t id = IdOf("file");
    volume_->put_vnode_reenter.clear();
    ASSERT_EQ(kern_unlink(-1, Path("file").c_str()), FSSH_OK);
    EXPECT_EQ(volume_->remove_vnode_calls[id], 1);
    ASSERT_EQ(volume_->put_vnode_reenter.size(), 1u);
    EXPECT_TRUE(volume_->put_vnode_reenter[0]);
}

TEST_F(VnodeCacheTest, CancelledRemovalKeepsTheNode)
{
    MakeFile("file");
    ino_t id = IdOf("file");
    void* node;
    ASSERT_EQ(get_vnode(volume_->volume, id, &node), FSSH_OK);
    ASSERT_EQ(remove_vnode(volume_->volume, id), FSSH_OK);
    ASSERT_EQ(cancel_vnode_removal(volume_->volume, id), FSSH_OK);
    bool removed = true;
    ASSERT_EQ(is_vnode_removed(volume_->volume, id, &removed), FSSH_OK);
    EXPECT_FALSE(removed);
    ASSERT_EQ(put_vnode(volume_->volume, id), FSSH_OK);
    EXPECT_EQ(volume_->remove_vnode_calls[id], 0);
    EXPECT_NE(lookup_vnode(mount_id_, id), nullptr);
}

TEST_F(VnodeCacheTest, ServicesRefuseUnknownNodes)
{
    fs_volume* volume = volume_->volume;
    bool removed;
    EXPECT_EQ(put_vnode(volume, 9999), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(ref_vnode(volume, 9999), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(remove_vnode(volume, 9999), FSSH_NOT_FOUND);
    EXPECT_EQ(cancel_vnode_removal(volume, 9999), FSSH_OK);
    EXPECT_EQ(is_vnode_removed(volume, 9999, &removed), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(get_vnode(nullptr, 1, nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(get_vnode(volume, 9999, nullptr), FSSH_NOT_FOUND);
    EXPECT_EQ(lookup_vnode(mount_id_, 9999), nullptr);
}

TEST_F(VnodeCacheTest, RefVnodeAddsAReferenceThatPutVnodeDrops)
{
    MakeFile("file");
    ino_t id = IdOf("file");
    void* node;
    ASSERT_EQ(get_vnode(volume_->volume, id, &node), FSSH_OK);
    EXPECT_EQ(node, volume_->Find(id));
    ASSERT_EQ(ref_vnode(volume_->volume, id), FSSH_OK);
    EXPECT_EQ(lookup_vnode(mount_id_, id)->ref_count, 2);
    ASSERT_EQ(put_vnode(volume_->volume, id), FSSH_OK);
    ASSERT_EQ(put_vnode(volume_->volume, id), FSSH_OK);
    EXPECT_EQ(lookup_vnode(mount_id_, id)->ref_count, 0);
}

TEST_F(VnodeCacheTest, ReservedVnodeIsBusyUntilPublished)
{
    TestNode* node = volume_->AddNode(volume_->root, "reserved", FSSH_S_IFREG | 0644);
    vnode_ops* ops = lookup_vnode(mount_id_, volume_->root->id)->fs.ops;
    ASSERT_EQ(reserve_vnode(volume_->volume, node->id, node, ops), FSSH_OK);
    vnode* record = lookup_vnode(mount_id_, node->id);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record->type_and_flags & VNODE_BUSY, 0u);
    EXPECT_NE(record->type_and_flags & VNODE_UNPUBLISHED, 0u);

    // While reserved, the mount cannot go.
    EXPECT_EQ(vfs_unmount(mount_point_.c_str(), 0), FSSH_BUSY);

    EXPECT_EQ(publish_vnode(volume_->volume, node->id, volume_, ops, FSSH_S_IFREG, 0),
              FSSH_INVALID_ARGUMENT);  // another private node
    ASSERT_EQ(publish_vnode(volume_->volume, node->id, node, ops, FSSH_S_IFREG | 0644, 0),
              FSSH_OK);
    EXPECT_EQ(record->type_and_flags, FSSH_S_IFREG | 0644u);
    EXPECT_EQ(publish_vnode(volume_->volume, node->id, node, ops, FSSH_S_IFREG, 0),
              FSSH_INVALID_ARGUMENT);  // already published
    ASSERT_EQ(put_vnode(volume_->volume, node->id), FSSH_OK);
}

TEST_F(VnodeCacheTest, RemovingAnUnpublishedVnodeDropsItAtOnceWithoutHooks)
{
    TestNode* node = volume_->AddNode(volume_->root, "reserved", FSSH_S_IFREG | 0644);
    ASSERT_EQ(reserve_vnode(volume_->volume, node->id, node, nullptr), FSSH_OK);
    ASSERT_EQ(remove_vnode(volume_->volume, node->id), FSSH_OK);
    EXPECT_EQ(lookup_vnode(mount_id_, node->id), nullptr);
    EXPECT_EQ(volume_->remove_vnode_calls[node->id], 0);
}

TEST_F(VnodeCacheTest, ReserveAndPublishRefuseANullNode)
{
    EXPECT_EQ(reserve_vnode(volume_->volume, 500, nullptr, nullptr), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(publish_vnode(volume_->volume, 500, nullptr, nullptr, FSSH_S_IFREG, 0),
              FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(lookup_vnode(mount_id_, 500), nullptr);
}

TEST_F(VnodeCacheTest, GetVnodeHookWithoutPrivateNodeFailsAndLeavesNoVnode)
{
    MakeUncachedFiles("file", 1);
    ino_t id = IdOf("file0");
    ASSERT_EQ(lookup_vnode(mount_id_, id), nullptr);

    volume_->get_vnode_leaves_node_null = true;
    kernel_stat stat;
    EXPECT_EQ(kern_read_stat(-1, Path("file0").c_str(), false, &stat, sizeof(stat)),
              FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(lookup_vnode(mount_id_, id), nullptr);

    volume_->get_vnode_leaves_node_null = false;
    EXPECT_EQ(kern_read_stat(-1, Path("file0").c_str(), false, &stat, sizeof(stat)), FSSH_OK);
}

TEST_F(VnodeCacheTest, FailingGetVnodeHookLeavesNoVnode)
{
    MakeUncachedFiles("file", 1);
    ino_t id = IdOf("file0");
    volume_->failures["get_vnode"] = FSSH_IO_ERROR;
    void* node;
    EXPECT_EQ(get_vnode(volume_->volume, id, &node), FSSH_IO_ERROR);
    EXPECT_EQ(lookup_vnode(mount_id_, id), nullptr);
    volume_->failures.clear();
}

TEST_F(VnodeCacheTest, RemovingAMountPointIsBusy)
{
    MakeDir("mnt");
    dev_t inner = fs_mount(Path("mnt").c_str(), nullptr, "testfs", 0, nullptr);
    ASSERT_GT(inner, 0);
    EXPECT_EQ(kern_remove_dir(-1, Path("mnt").c_str()), FSSH_BUSY);
    ASSERT_EQ(vfs_unmount(Path("mnt").c_str(), 0), FSSH_OK);
    EXPECT_EQ(kern_remove_dir(-1, Path("mnt").c_str()), FSSH_OK);
}

using VnodeCacheDeathTest = VnodeCacheTest;

TEST_F(VnodeCacheDeathTest, VnodeThatStaysBusyEndsTheProcess)
{
    TestNode* node = volume_->AddNode(volume_->root, "reserved", FSSH_S_IFREG | 0644);
    ASSERT_EQ(reserve_vnode(volume_->volume, node->id, node, nullptr), FSSH_OK);
    std::string message =
        "vnode " + std::to_string(mount_id_) + ":" + std::to_string(node->id) +
        " is not becoming unbusy!";
    EXPECT_EXIT(get_vnode(volume_->volume, node->id, nullptr),
                testing::ExitedWithCode(PANIC_EXIT_STATUS), message);
    ASSERT_EQ(remove_vnode(volume_->volume, node->id), FSSH_OK);
}

TEST_F(VnodeCacheDeathTest, ReleasingTheLastReferenceOfABusyVnodeEndsTheProcess)
{
    TestNode* node = volume_->AddNode(volume_->root, "reserved", FSSH_S_IFREG | 0644);
    ASSERT_EQ(reserve_vnode(volume_->volume, node->id, node, nullptr), FSSH_OK);
    EXPECT_EXIT(put_vnode(volume_->volume, node->id), testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "dec_vnode_ref_count: called on busy vnode 0x");
    ASSERT_EQ(remove_vnode(volume_->volume, node->id), FSSH_OK);
}

TEST_F(VnodeCacheDeathTest, ReservingAKnownNodeEndsTheProcess)
{
    EXPECT_EXIT(reserve_vnode(volume_->volume, volume_->root->id, volume_->root, nullptr),
                testing::ExitedWithCode(PANIC_EXIT_STATUS),
                "vnode " + std::to_string(mount_id_) + ":1 already exists");
}

}  // namespace
}  // namespace vfs_test
