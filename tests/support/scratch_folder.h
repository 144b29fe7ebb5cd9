#pragma once

// Scratch space for tests. Everything a test program makes lies in one run
// folder, removed with its contents when the program ends, so that nothing is
// left behind even by death-test children, which end without unwinding.

#include <string>

namespace test_support {

// The run folder of this test program: "wfs-tests-<pid>" in $TMPDIR (or
// /tmp). A death-test child uses its parent's, which the parent removes.
const std::string& scratch_root();

// A fresh folder inside the run folder, removed with all its contents when
// the object goes away.
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
