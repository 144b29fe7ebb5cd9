#include "kernel/driver_settings.h"

#include "kernel/driver_settings_parser.h"
#include "kernel/driver_settings_printer.h"
#include "kernel/host_file.h"
#include "kernel/lock.h"
#include "kernel/open_mode.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

namespace fssh {
namespace {

// Guards the loaded-files list and the reference counts of file handles.
mutex loaded_files_lock = {-1, -1};
item_list loaded_files;

const char* const true_words[] = {"true", "yes", "on", "enable", "enabled"};
const char* const false_words[] = {"false", "no", "off", "disable", "disabled"};

bool is_valid(const parsed_settings* handle)
{
    return handle != nullptr && handle->magic == PARSED_SETTINGS_MAGIC;
}

template <size_t N>
bool is_word_of(const char* value, const char* const (&words)[N])
{
    for (const char* word : words) {
        if (strcasecmp(value, word) == 0) {
            return true;
        }
    }
    return false;
}

// The last top-level parameter called `name`, or null.
const settings_parameter* find_parameter(const parsed_settings* handle, const char* name)
{
    if (!is_valid(handle) || name == nullptr) {
        return nullptr;
    }
    const driver_settings& settings = handle->settings;
    for (int32_t i = settings.parameter_count - 1; i >= 0; i--) {
        if (std::strcmp(settings.parameters[i].name, name) == 0) {
            return &settings.parameters[i];
        }
    }
    return nullptr;
}

parsed_settings* create_handle(const char* text)
{
    parsed_settings* handle = new (std::nothrow) parsed_settings{};
    if (handle == nullptr) {
        return nullptr;
    }
    if (parse_settings_text(text, &handle->settings, &handle->text) != FSSH_OK) {
        delete handle;
        return nullptr;
    }
    handle->magic = PARSED_SETTINGS_MAGIC;
    return handle;
}

void free_handle(parsed_settings* handle)
{
    free_settings_parameters(&handle->settings);
    std::free(handle->text);
    std::free(handle->full_name);
    handle->magic = 0;
    delete handle;
}

// The loaded file handle of this name. The whole name is compared, so that
// two files whose names share their first 31 characters are not taken for one
// another.
parsed_settings* find_loaded_file(const char* name)
{
    for (void* item = item_list_next(&loaded_files, nullptr); item != nullptr;
         item = item_list_next(&loaded_files, item)) {
        parsed_settings* handle = static_cast<parsed_settings*>(item);
        if (std::strcmp(handle->full_name, name) == 0) {
            return handle;
        }
    }
    return nullptr;
}

class HostFileCloser {
public:
    explicit HostFileCloser(int descriptor) : descriptor_(descriptor) {}
    ~HostFileCloser() { fssh_close(descriptor_); }
    HostFileCloser(const HostFileCloser&) = delete;
    HostFileCloser& operator=(const HostFileCloser&) = delete;

private:
    int descriptor_;
};

// Reads a whole settings file into a new NUL-terminated heap buffer; null if
// it cannot be read in one go or its size is out of bounds.
char* read_settings_file(const char* path)
{
    int descriptor = fssh_open(path, FSSH_O_RDONLY, 0);
    if (descriptor < 0) {
        return nullptr;
    }
    HostFileCloser closer(descriptor);
    kernel_stat stat;
    if (fssh_fstat(descriptor, &stat) != 0 || stat.st_size < 1
        || stat.st_size > SETTINGS_MAX_FILE_SIZE) {
        return nullptr;
    }
    size_t size = static_cast<size_t>(stat.st_size);
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (text == nullptr) {
        return nullptr;
    }
    if (fssh_read(descriptor, text, size) != static_cast<ssize_t>(size)) {
        std::free(text);
        return nullptr;
    }
    text[size] = '\0';
    return text;
}

// Loads and parses the file `name`; a relative name whose path does not fit
// the path buffer is refused rather than cut to a different file's name.
parsed_settings* load_file(const char* name)
{
    char path[SETTINGS_PATH_SIZE];
    const char* file_path = name;
    if (name[0] != '/') {
        int length = std::snprintf(path, sizeof(path), "%s%s", SETTINGS_DIRECTORY, name);
        if (length < 0 || static_cast<size_t>(length) >= sizeof(path)) {
            return nullptr;
        }
        file_path = path;
    }
    char* text = read_settings_file(file_path);
    if (text == nullptr) {
        return nullptr;
    }
    parsed_settings* handle = create_handle(text);
    std::free(text);
    return handle;
}

}  // namespace

status_code settings_init()
{
    mutex_init(&loaded_files_lock, "driver settings");
    item_list_init_with_offset(&loaded_files, offsetof(parsed_settings, link));
    return FSSH_OK;
}

parsed_settings* settings_parse_text(const char* text)
{
    return create_handle(text);
}

parsed_settings* settings_load(const char* name)
{
    if (name == nullptr) {
        return nullptr;
    }
    MutexLocker locker(&loaded_files_lock);
    if (!locker.IsLocked()) {
        return nullptr;
    }
    parsed_settings* handle = find_loaded_file(name);
    if (handle != nullptr) {
        handle->reference_count++;
        return handle;
    }
    handle = load_file(name);
    if (handle == nullptr) {
        return nullptr;
    }
    handle->full_name = strdup(name);
    if (handle->full_name == nullptr) {
        free_handle(handle);
        return nullptr;
    }
    std::snprintf(handle->name, sizeof(handle->name), "%s", name);
    handle->reference_count = 1;
    item_list_append(&loaded_files, handle);
    return handle;
}

status_code settings_unload(parsed_settings* handle)
{
    if (!is_valid(handle)) {
        return FSSH_INVALID_ARGUMENT;
    }
    if (handle->reference_count > 0) {
        MutexLocker locker(&loaded_files_lock);
        if (--handle->reference_count > 0) {
            return FSSH_OK;
        }
        item_list_remove(&loaded_files, handle);
    }
    free_handle(handle);
    return FSSH_OK;
}

const char* settings_get_value(const parsed_settings* handle, const char* name,
                               const char* unknown, const char* no_value)
{
    const settings_parameter* parameter = find_parameter(handle, name);
    if (parameter == nullptr) {
        return unknown;
    }
    return parameter->value_count == 0 ? no_value : parameter->values[0];
}

bool settings_get_bool(const parsed_settings* handle, const char* name, bool unknown,
                       bool no_value)
{
    const settings_parameter* parameter = find_parameter(handle, name);
    if (parameter == nullptr) {
        return unknown;
    }
    if (parameter->value_count == 0) {
        return no_value;
    }
    const char* value = parameter->values[0];
    if (std::strcmp(value, "1") == 0 || is_word_of(value, true_words)) {
        return true;
    }
    if (std::strcmp(value, "0") == 0 || is_word_of(value, false_words)) {
        return false;
    }
    return unknown;
}

const driver_settings* settings_get_parameters(const parsed_settings* handle)
{
    return is_valid(handle) ? &handle->settings : nullptr;
}

status_code settings_to_text(const parsed_settings* handle, char* buffer, size_t* size,
                             bool flat)
{
    if (!is_valid(handle) || buffer == nullptr || size == nullptr || *size == 0) {
        return FSSH_INVALID_ARGUMENT;
    }
    return print_settings(&handle->settings, buffer, size, flat);
}

}  // namespace fssh
