#pragma once

// A file system of the tests' own for the file cache and the file map: each
// test gets a fresh volume holding one regular file whose read_pages,
// write_pages and get_file_map hooks record their calls, can be told to fail,
// and serve a configured list of device extents.

#include "tests/vfs/rootfs_test_volume.h"

#include "kernel/kernel_stat.h"
#include "kernel/module.h"
#include "vfs/fs_interface.h"
#include "vfs/fs_mount.h"
#include "vfs/mount.h"
#include "vfs/vnode_services.h"

#include <gtest/gtest.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace page_test {

using fssh::off_t;
using fssh::status_code;

struct page_call {
    bool write;
    off_t position;
    size_t size;  // of the one vector handed over
    size_t vector_count;
    const void* base;
};

// The byte a read_pages call delivers for a file offset.
inline uint8_t pattern_byte(off_t offset)
{
    return static_cast<uint8_t>(offset * 7 % 251);
}

struct recorded_file {
    // Page hooks.
    std::vector<page_call> calls;
    int failing_call = -1;  // index of the page call that fails
    status_code failure = fssh::FSSH_IO_ERROR;
    std::function<void()> during_call;  // runs inside every page hook
    // Serves reads instead of the pattern when set (position, vectors, count).
    std::function<status_code(off_t, const iovec*, size_t)> read_contents;
    std::vector<uint8_t> written;       // by file offset, grown as needed

    // File map hook: extents covering the file from offset 0.
    std::vector<fssh::file_io_vec> extents;
    std::vector<off_t> map_requests;  // offsets get_file_map was asked for
    status_code map_failure = fssh::FSSH_OK;
};

inline recorded_file* file_of(fssh::fs_vnode* vnode)
{
    return static_cast<recorded_file*>(vnode->private_node);
}

inline status_code record_call(recorded_file* file, bool write, off_t position,
                               const iovec* vectors, size_t count)
{
    size_t size = 0;
    for (size_t i = 0; i < count; i++)
        size += vectors[i].iov_len;
    file->calls.push_back(page_call{write, position, size, count, vectors[0].iov_base});
    if (file->during_call)
        file->during_call();
    if (static_cast<int>(file->calls.size()) - 1 == file->failing_call)
        return file->failure;
    return fssh::FSSH_OK;
}

inline status_code recording_read_pages(fssh::fs_volume*, fssh::fs_vnode* vnode, void*,
                                        off_t position, const iovec* vectors, size_t count,
                                        size_t*)
{
    recorded_file* file = file_of(vnode);
    status_code status = record_call(file, false, position, vectors, count);
    if (status != fssh::FSSH_OK)
        return status;
    if (file->read_contents)
        return file->read_contents(position, vectors, count);
    for (size_t i = 0; i < count; i++) {
        auto* bytes = static_cast<uint8_t*>(vectors[i].iov_base);
        for (size_t j = 0; j < vectors[i].iov_len; j++)
            bytes[j] = pattern_byte(position++);
    }
    return fssh::FSSH_OK;
}

inline status_code recording_write_pages(fssh::fs_volume*, fssh::fs_vnode* vnode, void*,
                                         off_t position, const iovec* vectors, size_t count,
                                         size_t*)
{
    recorded_file* file = file_of(vnode);
    status_code status = record_call(file, true, position, vectors, count);
    if (status != fssh::FSSH_OK)
        return status;
    for (size_t i = 0; i < count; i++) {
        size_t end = static_cast<size_t>(position) + vectors[i].iov_len;
        if (file->written.size() < end)
            file->written.resize(end);
        memcpy(file->written.data() + position, vectors[i].iov_base, vectors[i].iov_len);
        position += static_cast<off_t>(vectors[i].iov_len);
    }
    return fssh::FSSH_OK;
}

// Serves the configured extents from `offset` on, the first one cut to start
// there; FSSH_EOVERFLOW when more remain than fit.
inline status_code recording_get_file_map(fssh::fs_volume*, fssh::fs_vnode* vnode, off_t offset,
                                          size_t, fssh::file_io_vec* vectors, size_t* count)
{
    recorded_file* file = file_of(vnode);
    file->map_requests.push_back(offset);
    if (file->map_failure != fssh::FSSH_OK)
        return file->map_failure;
    size_t used = 0;
    off_t start = 0;
    for (const fssh::file_io_vec& extent : file->extents) {
        off_t end = start + extent.length;
        if (end > offset) {
            if (used == *count)
                return fssh::FSSH_EOVERFLOW;
            off_t into = std::max<off_t>(offset - start, 0);
            vectors[used++] = fssh::file_io_vec{extent.offset < 0 ? -1 : extent.offset + into,
                                                extent.length - into};
        }
        start = end;
    }
    *count = used;
    return fssh::FSSH_OK;
}

inline fssh::vnode_ops* recorded_file_ops()
{
    static fssh::vnode_ops ops = [] {
        fssh::vnode_ops hooks{};
        hooks.read_pages = recording_read_pages;
        hooks.write_pages = recording_write_pages;
        hooks.get_file_map = recording_get_file_map;
        return hooks;
    }();
    return &ops;
}

constexpr fssh::ino_t RECORDING_ROOT_ID = 1;
constexpr fssh::ino_t RECORDED_FILE_ID = 2;

inline status_code recording_unmount(fssh::fs_volume*)
{
    return fssh::FSSH_OK;
}

inline status_code recording_get_vnode(fssh::fs_volume*, fssh::ino_t, fssh::fs_vnode*, uint32_t*,
                                       uint32_t*, bool)
{
    return fssh::FSSH_NOT_FOUND;
}

inline status_code recording_mount(fssh::fs_volume* volume, const char*, uint32_t, const char*,
                                   fssh::ino_t* root_id)
{
    static fssh::volume_ops volume_hooks = [] {
        fssh::volume_ops hooks{};
        hooks.unmount = recording_unmount;
        hooks.get_vnode = recording_get_vnode;
        return hooks;
    }();
    static fssh::vnode_ops root_hooks{};
    static int root_node;
    volume->private_volume = &root_node;
    volume->ops = &volume_hooks;
    *root_id = RECORDING_ROOT_ID;
    return fssh::publish_vnode(volume, RECORDING_ROOT_ID, &root_node, &root_hooks,
                               fssh::FSSH_S_IFDIR, 0);
}

inline fssh::fs_module_info* recording_module()
{
    static fssh::fs_module_info module = [] {
        fssh::fs_module_info record{};
        record.info = {"file_systems/recording/v1", 0, nullptr};
        record.short_name = "recording";
        record.pretty_name = "Recording File System";
        record.mount = recording_mount;
        return record;
    }();
    return &module;
}

// Mounts a recording volume per test at "/recording.<test name>" and
// publishes `file` on it as node RECORDED_FILE_ID.
class RecordingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(rootfs_test::bring_up_kernel());
        static bool registered = false;
        if (!registered) {
            fssh::register_builtin_module(&recording_module()->info);
            registered = true;
        }
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        mount_point_ = std::string("/recording.") + info->test_suite_name() + "." + info->name();
        std::replace(mount_point_.begin() + 1, mount_point_.end(), '/', '_');
        ASSERT_EQ(fssh::kern_create_dir(-1, mount_point_.c_str(), 0755), fssh::FSSH_OK);
        device_ = fssh::fs_mount(mount_point_.c_str(), nullptr, "recording", 0, nullptr);
        ASSERT_GT(device_, 0);
        {
            fssh::MutexLocker locker(fssh::mount_table_lock());
            volume_ = fssh::find_mount_locked(device_)->volume;
        }
        ASSERT_EQ(fssh::publish_vnode(volume_, RECORDED_FILE_ID, &file_, recorded_file_ops(),
                                      fssh::FSSH_S_IFREG, 0),
                  fssh::FSSH_OK);
    }

    void TearDown() override
    {
        if (volume_ != nullptr) {
            EXPECT_EQ(fssh::put_vnode(volume_, RECORDED_FILE_ID), fssh::FSSH_OK);
        }
        if (device_ > 0) {
            EXPECT_EQ(fssh::vfs_unmount(mount_point_.c_str(), 0), fssh::FSSH_OK);
        }
        EXPECT_EQ(fssh::kern_remove_dir(-1, mount_point_.c_str()), fssh::FSSH_OK);
    }

    recorded_file file_;
    fssh::fs_volume* volume_ = nullptr;
    status_code device_ = 0;
    std::string mount_point_;
};

}  // namespace page_test
