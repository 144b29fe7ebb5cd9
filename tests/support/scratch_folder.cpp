#include "tests/support/scratch_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace test_support {

std::string temporary_folder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = temporary_folder() + "/wfs-folder-XXXXXX";
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
