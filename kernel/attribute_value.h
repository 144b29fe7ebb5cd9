#pragma once

// The host attribute emulation's storage: a file attribute named N is kept as
// the host's user extended attribute "orvik." + N, with each "%" written "%%"
// and each "/" written "%\". Its value is a 4-byte header holding the
// attribute's type code, followed by at most MAX_ATTRIBUTE_DATA bytes of data.

#include "kernel/status.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace fssh {

constexpr size_t MAX_ATTRIBUTE_NAME_LENGTH = 253;
constexpr size_t MAX_ATTRIBUTE_DATA = 40960;
constexpr char HOST_ATTRIBUTE_PREFIX[] = "orvik.";
// Room for the longest host name: the prefix, every character escaped, NUL.
constexpr size_t HOST_ATTRIBUTE_NAME_SIZE =
    sizeof(HOST_ATTRIBUTE_PREFIX) + 2 * MAX_ATTRIBUTE_NAME_LENGTH;

// The host name of attribute `name`; FSSH_NAME_TOO_LONG beyond
// MAX_ATTRIBUTE_NAME_LENGTH characters.
status_code host_attribute_name(const char* name, char (&host_name)[HOST_ATTRIBUTE_NAME_SIZE]);

// True when a host attribute name belongs to the emulation (has its prefix).
bool is_host_attribute_name(const char* host_name);

// The attribute name behind a host name of the emulation; FSSH_NAME_TOO_LONG
// when it does not fit `size` bytes.
status_code attribute_name_from_host(const char* host_name, char* name, size_t size);

// The whole value of one attribute, held in memory.
class AttributeValue {
public:
    AttributeValue() = default;
    ~AttributeValue();
    AttributeValue(const AttributeValue&) = delete;
    AttributeValue& operator=(const AttributeValue&) = delete;

    // Reads attribute `name` of the host file. A missing attribute gives
    // FSSH_NOT_FOUND; a stored value shorter than its header is reported on
    // standard output as found by `caller` ("fs_read_attr" or "fs_stat_attr")
    // and gives FSSH_CORRUPT_DATA.
    status_code Load(int fd, const char* name, const char* caller);
    // Writes the complete value as attribute `name` of the host file.
    status_code Store(int fd, const char* name) const;
    // Removes attribute `name` from the host file.
    static status_code Remove(int fd, const char* name);
    // Makes this an independent copy of `other`.
    status_code CopyFrom(const AttributeValue& other);

    // Copies up to `size` bytes from `position` on; returns the count.
    size_t Read(off_t position, void* buffer, size_t size) const;
    // Replaces the bytes at `position`, zero-filling any gap after the old
    // end. FSSH_EFBIG beyond MAX_ATTRIBUTE_DATA; the value is then unchanged.
    status_code Write(off_t position, const void* buffer, size_t size);
    void Truncate() { size_ = 0; }

    uint32_t Type() const { return type_; }
    void SetType(uint32_t type) { type_ = type; }
    size_t Size() const { return size_; }

private:
    status_code Reserve(size_t size);

    uint32_t type_ = 0;
    uint8_t* data_ = nullptr;  // allocated with malloc
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace fssh
