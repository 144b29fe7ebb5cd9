#pragma once

// Driver settings: a small text format of named parameters, each with values
// and an optional block of sub-parameters in braces. Texts are parsed into
// handles, looked up by name, and printed back as text. Settings files are
// loaded from a fixed directory (or an absolute path) and shared by name.

#include "kernel/item_list.h"
#include "kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace fssh {

constexpr uint32_t PARSED_SETTINGS_MAGIC = 0x44727653;

// Size of a handle's name field: names are kept to 31 characters.
constexpr size_t SETTINGS_NAME_SIZE = 32;

// Blocks nest at most this deep below the top level.
constexpr int32_t SETTINGS_MAX_NESTING = 8;

// A relative settings file name is looked up in this directory.
constexpr const char* SETTINGS_DIRECTORY = "/boot/home/config/settings/fssh/kernel/drivers/";

// Size of the buffer the path of a relative name is built in.
constexpr size_t SETTINGS_PATH_SIZE = 320;

// A settings file holds at least one byte and at most this many.
constexpr int64_t SETTINGS_MAX_FILE_SIZE = 32767;

// One parameter: every string is a NUL-terminated piece of its handle's text
// buffer, and the arrays are heap blocks owned by the handle.
struct settings_parameter {
    char* name;
    int32_t value_count;
    char** values;
    int32_t parameter_count;
    settings_parameter* parameters;
};

// The top-level parameters of a handle.
struct driver_settings {
    int32_t parameter_count;
    settings_parameter* parameters;
};

struct parsed_settings {
    list_link link;                // in the loaded-files list (file handles only)
    char name[SETTINGS_NAME_SIZE];  // file name as given, cut to 31 characters (file handles only)
    int32_t reference_count;       // loads not yet unloaded (file handles); 0 for text handles
    uint32_t magic;                // PARSED_SETTINGS_MAGIC while the handle is valid
    driver_settings settings;
    char* text;  // the words the parameters point into; owned by the handle
    char* full_name;  // the whole name as given, owned; what files are shared by (file handles only)
};

// Creates the "driver settings" mutex that guards the loaded-files list. Runs
// once, before any other settings operation.
status_code settings_init();

// Parses a copy of `text` (null: no parameters) into a new handle private to
// the caller. Null on allocation failure or a parse error.
parsed_settings* settings_parse_text(const char* text);

// Loads the settings file `name` (absolute, or relative to SETTINGS_DIRECTORY)
// and returns its handle. A file already loaded under the same name is
// shared: its reference count grows and the same handle is returned. Null when the file cannot be read, is empty or larger than
// SETTINGS_MAX_FILE_SIZE, or does not parse.
parsed_settings* settings_load(const char* name);

// Releases a handle. A text handle is freed; a file handle drops one
// reference and is freed, and leaves the loaded-files list, with the last.
// FSSH_INVALID_ARGUMENT for a null or invalid handle.
status_code settings_unload(parsed_settings* handle);

// The first value of the last top-level parameter called `name` (exact,
// case-sensitive match); `no_value` when that parameter has no values;
// `unknown` when there is no such parameter or the handle is invalid.
const char* settings_get_value(const parsed_settings* handle, const char* name,
                               const char* unknown, const char* no_value);

// As settings_get_value, with the first value read as a truth word: "1",
// "true", "yes", "on", "enable", "enabled" are true, "0", "false", "no",
// "off", "disable", "disabled" are false (words in any case); any other value
// gives `unknown`.
bool settings_get_bool(const parsed_settings* handle, const char* name, bool unknown,
                       bool no_value);

// The top-level parameters; null for an invalid handle.
const driver_settings* settings_get_parameters(const parsed_settings* handle);

// Prints the parameters as text into `buffer`, one parameter a line with
// blocks indented by tabs, or all on one line when `flat`. The text is always
// NUL-terminated and cut when the buffer is too small. On return *size holds
// the bytes the whole text needs, NUL included; FSSH_EOVERFLOW when that is
// more than the buffer had. FSSH_INVALID_ARGUMENT for an invalid handle, a
// null buffer or size, or a size of 0.
status_code settings_to_text(const parsed_settings* handle, char* buffer, size_t* size,
                             bool flat);

}  // namespace fssh
