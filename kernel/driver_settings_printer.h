#pragma once

// Prints driver settings back as text that the parser reads to the same
// parameters.

#include "kernel/driver_settings.h"
#include "kernel/status.h"

#include <cstddef>

namespace fssh {

// Prints `settings` into `buffer` of *size bytes (at least 1), multi-line or
// flat, as settings_to_text describes; the text is cut to fit and always
// NUL-terminated. *size becomes the bytes the whole text needs, NUL included;
// FSSH_EOVERFLOW when that exceeds the buffer.
status_code print_settings(const driver_settings* settings, char* buffer, size_t* size, bool flat);

}  // namespace fssh
