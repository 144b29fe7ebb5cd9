#include "tests/support/run_program.h"

#include "tests/support/scratch_folder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace test_support {

namespace {

// A scratch file for collected output, removed when the holder goes.
class ScratchFile {
public:
    ScratchFile()
    {
        std::string pattern = scratch_root() + "/output-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd >= 0) {
            close(fd);
            path_ = pattern;
        }
    }
    ~ScratchFile()
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool created() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

int exit_status_of(int wait_status)
{
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void redirect_standard_streams(const std::string& output_path, const std::string& error_path)
{
    int input = open("/dev/null", O_RDONLY);
    int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    if (input < 0 || output < 0 || error < 0)
        _exit(127);
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(error, STDERR_FILENO);
}

void execute(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

CommandResult run_program(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment)
{
    ScratchFile output;
    ScratchFile error_output;
    if (!output.created() || !error_output.created())
        return {-1, "", "mkstemp: " + std::string(strerror(errno))};
    pid_t child = fork();
    if (child == 0) {
        redirect_standard_streams(output.path(), error_output.path());
        for (const std::string& variable : environment)
            putenv(const_cast<char*>(variable.c_str()));
        execute(arguments);
    }
    CommandResult result = {-1, "", ""};
    if (child > 0) {
        int status;
        pid_t waited;
        while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
        }
        if (waited == child)
            result.exit_status = exit_status_of(status);
    }
    result.output = read_file(output.path());
    result.error_output = read_file(error_output.path());
    return result;
}

CommandResult run_host_command(const std::string& command_line)
{
    return run_program({"/bin/sh", "-c", command_line});
}

}  // namespace test_support
