#pragma once

// Private copies of path arguments, and splitting a path into the directory
// that holds an entry and the entry's name.

#include "kernel/status.h"

#include <cstddef>

namespace fssh {

constexpr size_t PATH_BUFFER_SIZE = 1025;        // kernel calls
constexpr size_t SHORT_PATH_BUFFER_SIZE = 1024;  // mount paths, working directory, link text
constexpr size_t NAME_BUFFER_SIZE = 256;         // an entry name and its terminating zero

// A kernel call's private copy of a path argument, with trailing slashes
// removed (a lone "/" stays). A null path stays null.
class KernelPath {
public:
    KernelPath() = default;
    KernelPath(const KernelPath&) = delete;
    KernelPath& operator=(const KernelPath&) = delete;

    // FSSH_EOVERFLOW when the path does not fit `limit` bytes with its zero.
    status_code SetTo(const char* path, size_t limit = PATH_BUFFER_SIZE);
    // The copy (modifiable; the path walk cuts it into components), or null.
    char* Path() { return is_null_ ? nullptr : buffer_; }

private:
    char buffer_[PATH_BUFFER_SIZE];
    bool is_null_ = true;
};

// FSSH_INVALID_ARGUMENT for a null name, FSSH_NAME_TOO_LONG for a name of
// NAME_BUFFER_SIZE bytes or more.
status_code check_entry_name(const char* name);

// Splits `path` into its last component, copied into `leaf` (NAME_BUFFER_SIZE
// bytes), and the directory holding it, rewritten in place: "a/b" becomes
// "a/." and leaf "b", "b" becomes "." and leaf "b", "/" becomes "/." and leaf
// ".". The path buffer needs room for two more bytes. FSSH_NAME_TOO_LONG for a
// leaf of 256 bytes or more, FSSH_NOT_FOUND for an empty path.
status_code split_path(char* path, char* leaf);

}  // namespace fssh
