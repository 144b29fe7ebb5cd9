#include "tests/support/loop_device.h"

#include "tests/support/run_program.h"
#include "tests/support/scratch_folder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace test_support {

namespace {

void strip_trailing_newlines(std::string* text)
{
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r'))
        text->pop_back();
}

}  // namespace

ScratchImage::ScratchImage(uint64_t size)
{
    std::string pattern = scratch_root() + "/image-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error_ = "mkstemp: " + std::string(strerror(errno));
        return;
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error_ = "ftruncate: " + std::string(strerror(errno));
        close(fd);
        unlink(pattern.c_str());
        return;
    }
    close(fd);
    path_ = pattern;
}

ScratchImage::~ScratchImage()
{
    if (created())
        unlink(path_.c_str());
}

LoopDevice::LoopDevice(const std::string& image_path, LoopOptions options)
{
    std::vector<std::string> arguments = {"losetup", "--find", "--show", "--sector-size",
                                          std::to_string(options.sector_size)};
    if (options.read_only)
        arguments.push_back("--read-only");
    arguments.push_back(image_path);
    CommandResult result = run_program(arguments);
    std::string output = result.output + result.error_output;
    strip_trailing_newlines(&output);
    if (result.exit_status != 0 || output.rfind("/dev/", 0) != 0) {
        error_ = "losetup could not attach a loop device over " + image_path +
                 (output.empty() ? std::string() : ": " + output);
        return;
    }
    path_ = output;
}

LoopDevice::~LoopDevice()
{
    if (!attached())
        return;
    // A device still open elsewhere is detached by the kernel when its last
    // user closes it.
    run_program({"losetup", "--detach", path_});
}

}  // namespace test_support
