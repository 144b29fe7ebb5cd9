#include "tests/support/loop_device.h"

#include "tests/support/scratch_folder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace test_support {

namespace {

// Runs a program with the given arguments (no shell), collecting what it
// writes to standard output and standard error. Returns its exit status, or
// -1 when it could not be run.
int run_program(const std::vector<std::string>& arguments, std::string* output)
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return -1;
    pid_t child = fork();
    if (child < 0) {
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        return -1;
    }
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        dup2(pipe_ends[1], STDERR_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    char chunk[256];
    ssize_t length;
    while ((length = read(pipe_ends[0], chunk, sizeof(chunk))) > 0 ||
           (length < 0 && errno == EINTR)) {
        if (length > 0)
            output->append(chunk, static_cast<size_t>(length));
    }
    close(pipe_ends[0]);
    int status;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void strip_trailing_newlines(std::string* text)
{
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r'))
        text->pop_back();
}

}  // namespace

ScratchImage::ScratchImage(uint64_t size)
{
    std::string pattern = temporary_folder() + "/wfs-image-XXXXXX";
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
    std::string output;
    int status = run_program(arguments, &output);
    strip_trailing_newlines(&output);
    if (status != 0 || output.rfind("/dev/", 0) != 0) {
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
    std::string output;
    // A device still open elsewhere is detached by the kernel when its last
    // user closes it.
    run_program({"losetup", "--detach", path_}, &output);
}

}  // namespace test_support
