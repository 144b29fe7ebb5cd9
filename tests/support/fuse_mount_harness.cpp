#include "tests/support/fuse_mount_harness.h"

#include "tests/support/scratch_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace test_support {

namespace {

constexpr std::chrono::milliseconds POLL_INTERVAL{10};
constexpr std::chrono::milliseconds STOP_GRACE{3000};

// Waits for a child to end for at most `timeout`; true (with its exit status)
// when it did.
bool wait_for_child(pid_t child, std::chrono::milliseconds timeout, int* exit_status)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status;
        pid_t result = waitpid(child, &status, WNOHANG);
        if (result == child) {
            *exit_status = exit_status_of(status);
            return true;
        }
        if (result < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}

// Undoes the escaping of spaces, tabs, newlines and backslashes in a field of
// /proc/self/mountinfo.
std::string unescape_mountinfo_field(const std::string& field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); i++) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

}  // namespace

FuseMountHarness::FuseMountHarness(std::string program, std::vector<std::string> arguments)
    : program_(std::move(program)), arguments_(std::move(arguments))
{
    std::string pattern = scratch_root() + "/fuse-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = "mkdtemp: " + std::string(strerror(errno));
        return;
    }
    char resolved[PATH_MAX];
    work_folder_ = realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
    mount_point_ = work_folder_ + "/mnt";
    if (mkdir(mount_point_.c_str(), 0755) != 0)
        error_ = "mkdir: " + std::string(strerror(errno));
}

FuseMountHarness::~FuseMountHarness()
{
    if (mounted())
        run_program({"fusermount3", "-u", "-z", mount_point_}, {});
    if (pid_ > 0 && !ended_)
        stop_program();
    if (work_folder_.empty())
        return;
    rmdir(mount_point_.c_str());
    unlink((work_folder_ + "/stdout").c_str());
    unlink((work_folder_ + "/stderr").c_str());
    rmdir(work_folder_.c_str());
}

bool FuseMountHarness::start(std::chrono::milliseconds timeout)
{
    if (!error_.empty())
        return false;
    pid_t child = fork();
    if (child < 0) {
        error_ = "fork: " + std::string(strerror(errno));
        return false;
    }
    if (child == 0) {
        redirect_standard_streams(work_folder_ + "/stdout", work_folder_ + "/stderr");
        std::vector<std::string> command = {program_};
        command.insert(command.end(), arguments_.begin(), arguments_.end());
        command.push_back(mount_point_);
        execute(command);
    }
    pid_ = child;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!mounted()) {
        if (poll_exit()) {
            error_ = "the program ended with status " + std::to_string(exit_status_) +
                     " before mounting; standard error: " + program_stderr();
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error_ = "the mount did not appear in time";
            return false;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
    return true;
}

CommandResult FuseMountHarness::run(const std::string& command_line) const
{
    return run_program({"/bin/sh", "-c", command_line}, {"MNT=" + mount_point_, "LC_ALL=C"});
}

bool FuseMountHarness::unmount(std::chrono::milliseconds timeout)
{
    CommandResult result = run_program({"fusermount3", "-u", mount_point_}, {});
    if (result.exit_status != 0) {
        error_ = "fusermount3 -u failed: " + result.error_output;
        return false;
    }
    return wait_for_exit(timeout);
}

bool FuseMountHarness::wait_for_exit(std::chrono::milliseconds timeout)
{
    if (ended_)
        return true;
    if (pid_ <= 0)
        return false;
    ended_ = wait_for_child(pid_, timeout, &exit_status_);
    if (!ended_)
        error_ = "the program did not end in time";
    return ended_;
}

std::string FuseMountHarness::program_stdout() const
{
    return read_file(work_folder_ + "/stdout");
}

std::string FuseMountHarness::program_stderr() const
{
    return read_file(work_folder_ + "/stderr");
}

bool FuseMountHarness::mounted() const
{
    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mountinfo, line)) {
        // Fields: id, parent id, major:minor, root, mount point, ...
        std::istringstream fields(line);
        std::string id, parent, device, root, mount_point;
        fields >> id >> parent >> device >> root >> mount_point;
        if (unescape_mountinfo_field(mount_point) == mount_point_)
            return true;
    }
    return false;
}

bool FuseMountHarness::poll_exit()
{
    if (!ended_)
        ended_ = wait_for_child(pid_, std::chrono::milliseconds(0), &exit_status_);
    return ended_;
}

void FuseMountHarness::stop_program()
{
    kill(pid_, SIGTERM);
    if (wait_for_child(pid_, STOP_GRACE, &exit_status_))
        return;
    kill(pid_, SIGKILL);
    wait_for_child(pid_, STOP_GRACE, &exit_status_);
}

}  // namespace test_support
