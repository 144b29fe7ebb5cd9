#pragma once

// A fresh folder in the temporary folder ($TMPDIR or /tmp), removed with all
// its contents when the object goes away.

#include <string>

namespace test_support {

// $TMPDIR, or /tmp when it is not set.
std::string temporary_folder();

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // False when the folder could not be made.
    bool created() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace test_support
