#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace test_support {

namespace {

// A death-test child runs with the internal flag that names its test; in the
// "threadsafe" style it is a fresh process started by the test program.
bool in_death_test_child()
{
    return !GTEST_FLAG_GET(internal_run_death_test).empty();
}

std::string temporary_folder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// The run folder, removed at exit by the process that owns it, and only by
// that one: forked children that end normally leave it to their parent.
class RunFolder {
public:
    RunFolder()
    {
        pid_t owner = in_death_test_child() ? getppid() : getpid();
        path_ = temporary_folder() + "/wfs-tests-" + std::to_string(owner);
        mkdir(path_.c_str(), 0700);
        if (!in_death_test_child())
            owner_ = owner;
    }
    ~RunFolder()
    {
        if (owner_ != getpid())
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::string& path() const { return path_; }

private:
    std::string path_;
    pid_t owner_ = -1;
};

}  // namespace

const std::string& scratch_root()
{
    static RunFolder folder;
    return folder.path();
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = scratch_root() + "/folder-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    if (!created())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace test_support
