#pragma once

// Fixture volume images for the wfs tests: the gzipped images in the test data
// folder ($WFS_TEST_DATA) unpacked into a scratch file that is removed again
// when the object goes away.

#include "tests/support/scratch_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace wfs_test {

class FixtureImage {
public:
    // Unpacks NAME.img.gz; unpacked() tells whether that worked.
    explicit FixtureImage(const std::string& name)
    {
        const char* data = getenv("WFS_TEST_DATA");
        if (data == nullptr)
            return;
        std::string pattern = test_support::scratch_root() + "/fixture-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = mkstemp(buffer.data());
        if (fd < 0)
            return;
        close(fd);
        path_ = buffer.data();
        std::string command = "gzip -dc '" + std::string(data) + "/" + name + ".img.gz' > '"
            + path_ + "'";
        unpacked_ = system(command.c_str()) == 0;
    }
    ~FixtureImage()
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }
    FixtureImage(const FixtureImage&) = delete;
    FixtureImage& operator=(const FixtureImage&) = delete;

    bool unpacked() const { return unpacked_; }
    const std::string& path() const { return path_; }

    // The whole image as bytes.
    std::vector<uint8_t> Contents() const
    {
        std::ifstream file(path_, std::ios::binary | std::ios::ate);
        std::vector<uint8_t> bytes(static_cast<size_t>(file.tellg()));
        file.seekg(0);
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

private:
    std::string path_;
    bool unpacked_ = false;
};

// The name of a test instantiated with a fixture image name ("tiny-1k" gives
// "tiny_1k").
inline std::string fixture_test_name(const char* image)
{
    std::string name = image;
    for (char& c : name) {
        if (c == '-')
            c = '_';
    }
    return name;
}

}  // namespace wfs_test
