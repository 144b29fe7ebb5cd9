#pragma once

// Host paths relative to descriptors of the host file layer.

#include "kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

// Resolves `path` against the descriptor `directory` into `buffer`. An
// absolute path, or a negative descriptor, gives the path itself. Otherwise
// the descriptor's host path (a symbolic link descriptor: its stored path;
// a directory: its path from the directory path map) is followed by "/" and
// `path`, or stands alone when `path` is empty. Unknown descriptors give
// FSSH_BAD_FILE_DESCRIPTOR, a descriptor without a path (not opened as a
// directory) FSSH_NOT_A_DIRECTORY, a result that does not fit
// FSSH_NAME_TOO_LONG.
status_code resolve_host_path(int32_t directory, const char* path, char* buffer, size_t size);

}  // namespace fssh
