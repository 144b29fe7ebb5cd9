#pragma once

// Volumes for the wfs tests: a scratch image file formatted by the volume's
// own Format, read and changed behind the volume's back with host I/O so that
// tests check what reached the device, and a mounted Volume whose unmount is
// never forgotten.

#include "block_cache/block_cache.h"
#include "kernel/host_file.h"
#include "kernel/open_mode.h"
#include "tests/support/loop_device.h"
#include "wfs/super_block.h"
#include "wfs/volume.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wfs_test {

using Bytes = std::vector<uint8_t>;

constexpr off_t MIB = 1024 * 1024;

// The volume most journal tests use: 8 MiB of 1024-byte blocks, one group of
// 8192 blocks, a 512-block log at block 2.
namespace small_volume {
constexpr uint32_t BLOCK_SIZE = 1024;
constexpr off_t SIZE = 8 * MIB;
constexpr int64_t LOG_START_BLOCK = 2;
constexpr uint32_t LOG_SIZE = 512;
}  // namespace small_volume

// The block cache's notification lock exists once per process.
inline void init_block_cache_once()
{
    static const bool initialised = fssh::block_cache_init() == fssh::FSSH_OK;
    ASSERT_TRUE(initialised);
}

// Content that tells blocks and versions apart at every byte.
inline Bytes pattern(int64_t number, uint32_t version, size_t size)
{
    Bytes bytes(size);
    uint32_t state = static_cast<uint32_t>(number) * 2654435761u ^ (version + 1) * 40503u;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

// Host access to an image file.
class ImageFile {
public:
    explicit ImageFile(const std::string& path) : path_(path) {}

    const std::string& path() const { return path_; }

    Bytes Read(off_t offset, size_t size) const
    {
        Bytes bytes(size);
        int fd = open(path_.c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(pread(fd, bytes.data(), size, offset), static_cast<ssize_t>(size));
        close(fd);
        return bytes;
    }
    void Write(off_t offset, const void* data, size_t size) const
    {
        int fd = open(path_.c_str(), O_WRONLY);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(pwrite(fd, data, size, offset), static_cast<ssize_t>(size));
        close(fd);
    }
    Bytes Contents() const { return Read(0, static_cast<size_t>(Size())); }
    off_t Size() const
    {
        struct stat stat_record;
        EXPECT_EQ(stat(path_.c_str(), &stat_record), 0);
        return stat_record.st_size;
    }

    wfs::disk_super_block SuperBlock() const
    {
        wfs::disk_super_block super_block;
        Bytes bytes = Read(wfs::SUPER_BLOCK_OFFSET, sizeof(super_block));
        memcpy(&super_block, bytes.data(), sizeof(super_block));
        return super_block;
    }
    void SetSuperBlock(const wfs::disk_super_block& super_block) const
    {
        Write(wfs::SUPER_BLOCK_OFFSET, &super_block, sizeof(super_block));
    }
    // Reads the superblock, lets `change` change it and writes it back.
    void UpdateSuperBlock(const std::function<void(wfs::disk_super_block&)>& change) const
    {
        wfs::disk_super_block super_block = SuperBlock();
        change(super_block);
        SetSuperBlock(super_block);
    }

    Bytes ReadBlock(int64_t block, uint32_t block_size) const
    {
        return Read(block * block_size, block_size);
    }
    void WriteBlock(int64_t block, const Bytes& data) const
    {
        Write(block * static_cast<off_t>(data.size()), data.data(), data.size());
    }

private:
    std::string path_;
};

// A new volume of `size` bytes in a scratch image, written by Volume::Format
// without indices. Its root_inode names the first block behind the reserved
// area, so that it mounts; these layers need no root directory.
class VolumeImage : public ImageFile {
public:
    VolumeImage(uint32_t block_size, off_t size)
        : VolumeImage(std::make_unique<test_support::ScratchImage>(static_cast<uint64_t>(size)),
            block_size)
    {
    }

    fssh::status_code format_status() const { return format_status_; }
    uint32_t block_size() const { return SuperBlock().block_size; }
    // Blocks 0 up to the end of the log area.
    int64_t ReservedBlocks() const
    {
        wfs::disk_super_block super_block = SuperBlock();
        return wfs::run_to_block(super_block.log_area,
                   static_cast<uint32_t>(super_block.group_shift))
            + super_block.log_area.length;
    }

private:
    VolumeImage(std::unique_ptr<test_support::ScratchImage> scratch, uint32_t block_size)
        : ImageFile(scratch->path()), scratch_(std::move(scratch))
    {
        init_block_cache_once();
        int device = fssh::fssh_open(path().c_str(), fssh::FSSH_O_RDWR, 0);
        EXPECT_GE(device, 0);
        {
            wfs::Volume volume(nullptr);
            format_status_ = volume.Format(device, "test volume", block_size,
                wfs::FORMAT_NO_INDICES);
        }
        fssh::fssh_close(device);
        if (format_status_ != fssh::FSSH_OK)
            return;
        int64_t root = ReservedBlocks();
        UpdateSuperBlock([root](wfs::disk_super_block& super_block) {
            super_block.root_inode
                = wfs::block_to_run(root, static_cast<uint32_t>(super_block.group_shift));
        });
    }

    std::unique_ptr<test_support::ScratchImage> scratch_;
    fssh::status_code format_status_ = fssh::FSSH_ERROR;
};

// A Volume mounted on an image for the length of a scope: unmounted on scope
// exit unless the test unmounted it or never got it mounted.
class MountedVolume {
public:
    explicit MountedVolume(const std::string& path, uint32_t flags = 0) : volume_(nullptr)
    {
        init_block_cache_once();
        status_ = volume_.Mount(path.c_str(), flags);
    }
    ~MountedVolume()
    {
        if (status_ == fssh::FSSH_OK)
            volume_.Unmount();
    }
    MountedVolume(const MountedVolume&) = delete;
    MountedVolume& operator=(const MountedVolume&) = delete;

    fssh::status_code status() const { return status_; }
    wfs::Volume* operator->() { return &volume_; }
    wfs::Volume& volume() { return volume_; }
    void Unmount()
    {
        ASSERT_EQ(status_, fssh::FSSH_OK);
        EXPECT_EQ(volume_.Unmount(), fssh::FSSH_OK);
        status_ = fssh::FSSH_ERROR;
    }

private:
    wfs::Volume volume_;
    fssh::status_code status_;
};

}  // namespace wfs_test
