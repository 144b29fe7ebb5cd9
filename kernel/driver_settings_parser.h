#pragma once

// The reader and parser of the driver-settings text format.
//
// A parameter is a name followed by blank-separated values on the same line;
// an "=" between the name and its first value is optional. A word in double
// quotes or apostrophes may hold blanks, and a backslash makes the next
// character ordinary. Parameters are separated by newlines or ";", "#" starts
// a comment, and a block in braces after a parameter holds its
// sub-parameters.

#include "kernel/driver_settings.h"
#include "kernel/status.h"

namespace fssh {

// Parses `text` (null: no parameters) into `settings`. Every word is copied,
// unescaped and NUL-terminated, into a new heap buffer handed back in *words;
// the parameters point into it. On failure nothing stays allocated: settings
// is empty and *words null. Errors: FSSH_CORRUPT_DATA for an unterminated
// quote or a text ending after a backslash, FSSH_ERROR for unbalanced braces,
// FSSH_SYMLINK_LOOP for blocks nested deeper than SETTINGS_MAX_NESTING,
// FSSH_NO_MEMORY.
status_code parse_settings_text(const char* text, driver_settings* settings, char** words);

// Frees the parameter arrays of `settings` (sub-parameters first, each level
// from its last parameter to its first) and leaves it empty. The words
// buffer is the caller's.
void free_settings_parameters(driver_settings* settings);

}  // namespace fssh
