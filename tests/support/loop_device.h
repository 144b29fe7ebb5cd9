#pragma once

// Real block devices for tests: a scratch image file and a loop device made
// over it with losetup. Both are scoped: the destructor detaches the device
// and removes the file. Loop devices need root; a test checks attached() with
// REQUIRE_HOST_FACILITY, so that a machine without them skips (or fails in CI).

#include <cstdint>
#include <string>

namespace test_support {

// A file of the given size in the test run's scratch folder, filled with
// zeros (sparse), removed when the object goes away.
class ScratchImage {
public:
    explicit ScratchImage(uint64_t size);
    ~ScratchImage();
    ScratchImage(const ScratchImage&) = delete;
    ScratchImage& operator=(const ScratchImage&) = delete;

    // False when the file could not be made; error() says why.
    bool created() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::string error_;
};

struct LoopOptions {
    uint32_t sector_size = 512;  // logical sector size of the device
    bool read_only = false;
};

// A loop device over an existing image file, attached by `losetup --find
// --show` and detached by `losetup --detach` when the object goes away. The
// image size must be a multiple of the sector size.
class LoopDevice {
public:
    explicit LoopDevice(const std::string& image_path, LoopOptions options = {});
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    // False when losetup is missing or refused; error() holds its message.
    bool attached() const { return !path_.empty(); }
    // The device node, for example "/dev/loop3".
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::string error_;
};

}  // namespace test_support
