#include "kernel/attribute_value.h"

#include "kernel/debug.h"
#include "kernel/host.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fssh {

namespace {

constexpr size_t HEADER_SIZE = sizeof(uint32_t);
constexpr size_t PREFIX_LENGTH = sizeof(HOST_ATTRIBUTE_PREFIX) - 1;

struct free_deleter {
    void operator()(void* memory) const { free(memory); }
};
using host_buffer = std::unique_ptr<uint8_t, free_deleter>;

host_buffer allocate(size_t size)
{
    return host_buffer(static_cast<uint8_t*>(malloc(size > 0 ? size : 1)));
}

status_code host_failure()
{
    if (errno == host::missing_attribute_errno())
        return FSSH_NOT_FOUND;
    return host_errno_to_status(errno);
}

}  // namespace

status_code host_attribute_name(const char* name, char (&host_name)[HOST_ATTRIBUTE_NAME_SIZE])
{
    if (strlen(name) > MAX_ATTRIBUTE_NAME_LENGTH)
        return FSSH_NAME_TOO_LONG;
    size_t length = PREFIX_LENGTH;
    memcpy(host_name, HOST_ATTRIBUTE_PREFIX, PREFIX_LENGTH);
    for (const char* c = name; *c != '\0'; c++) {
        if (*c == '%' || *c == '/') {
            host_name[length++] = '%';
            host_name[length++] = *c == '%' ? '%' : '\\';
        } else {
            host_name[length++] = *c;
        }
    }
    host_name[length] = '\0';
    return FSSH_OK;
}

bool is_host_attribute_name(const char* host_name)
{
    return strncmp(host_name, HOST_ATTRIBUTE_PREFIX, PREFIX_LENGTH) == 0;
}

status_code attribute_name_from_host(const char* host_name, char* name, size_t size)
{
    size_t length = 0;
    for (const char* c = host_name + PREFIX_LENGTH; *c != '\0'; c++) {
        char character = *c;
        if (character == '%' && (c[1] == '%' || c[1] == '\\')) {
            c++;
            character = *c == '%' ? '%' : '/';
        }
        if (length + 1 >= size)
            return FSSH_NAME_TOO_LONG;
        name[length++] = character;
    }
    if (size == 0)
        return FSSH_NAME_TOO_LONG;
    name[length] = '\0';
    return FSSH_OK;
}

AttributeValue::~AttributeValue()
{
    free(data_);
}

status_code AttributeValue::Load(int fd, const char* name, const char* caller)
{
    char host_name[HOST_ATTRIBUTE_NAME_SIZE];
    status_code status = host_attribute_name(name, host_name);
    if (status != FSSH_OK)
        return status;
    ssize_t stored_size = host::get_user_attribute(fd, host_name, nullptr, 0);
    if (stored_size < 0)
        return host_failure();
    host_buffer stored = allocate(static_cast<size_t>(stored_size));
    if (!stored)
        return FSSH_NO_MEMORY;
    stored_size = host::get_user_attribute(fd, host_name, stored.get(), static_cast<size_t>(stored_size));
    if (stored_size < 0)
        return host_failure();
    if (static_cast<size_t>(stored_size) < HEADER_SIZE) {
        debug_printf("%s(): attribute \"%s\" is shorter than the AttributeHeader!\n", caller, name);
        return FSSH_CORRUPT_DATA;
    }
    size_t data_size = static_cast<size_t>(stored_size) - HEADER_SIZE;
    status = Reserve(data_size);
    if (status != FSSH_OK)
        return status;
    memcpy(&type_, stored.get(), HEADER_SIZE);
    memcpy(data_, stored.get() + HEADER_SIZE, data_size);
    size_ = data_size;
    return FSSH_OK;
}

status_code AttributeValue::Store(int fd, const char* name) const
{
    char host_name[HOST_ATTRIBUTE_NAME_SIZE];
    status_code status = host_attribute_name(name, host_name);
    if (status != FSSH_OK)
        return status;
    host_buffer stored = allocate(HEADER_SIZE + size_);
    if (!stored)
        return FSSH_NO_MEMORY;
    memcpy(stored.get(), &type_, HEADER_SIZE);
    if (size_ > 0)
        memcpy(stored.get() + HEADER_SIZE, data_, size_);
    if (host::set_user_attribute(fd, host_name, stored.get(), HEADER_SIZE + size_) != 0)
        return host_failure();
    return FSSH_OK;
}

status_code AttributeValue::Remove(int fd, const char* name)
{
    char host_name[HOST_ATTRIBUTE_NAME_SIZE];
    status_code status = host_attribute_name(name, host_name);
    if (status != FSSH_OK)
        return status;
    return host::remove_user_attribute(fd, host_name) == 0 ? FSSH_OK : host_failure();
}

status_code AttributeValue::CopyFrom(const AttributeValue& other)
{
    status_code status = Reserve(other.size_);
    if (status != FSSH_OK)
        return status;
    if (other.size_ > 0)
        memcpy(data_, other.data_, other.size_);
    size_ = other.size_;
    type_ = other.type_;
    return FSSH_OK;
}

size_t AttributeValue::Read(off_t position, void* buffer, size_t size) const
{
    if (position < 0 || static_cast<size_t>(position) >= size_)
        return 0;
    size_t available = size_ - static_cast<size_t>(position);
    size_t count = size < available ? size : available;
    memcpy(buffer, data_ + position, count);
    return count;
}

status_code AttributeValue::Write(off_t position, const void* buffer, size_t size)
{
    if (position < 0)
        return FSSH_INVALID_ARGUMENT;
    if (static_cast<size_t>(position) > MAX_ATTRIBUTE_DATA ||
        size > MAX_ATTRIBUTE_DATA - static_cast<size_t>(position)) {
        return FSSH_EFBIG;
    }
    if (size == 0)
        return FSSH_OK;
    size_t end = static_cast<size_t>(position) + size;
    status_code status = Reserve(end);
    if (status != FSSH_OK)
        return status;
    if (static_cast<size_t>(position) > size_)
        memset(data_ + size_, 0, static_cast<size_t>(position) - size_);
    memcpy(data_ + position, buffer, size);
    if (end > size_)
        size_ = end;
    return FSSH_OK;
}

status_code AttributeValue::Reserve(size_t size)
{
    if (size <= capacity_)
        return FSSH_OK;
    void* data = realloc(data_, size);
    if (data == nullptr)
        return FSSH_NO_MEMORY;
    data_ = static_cast<uint8_t*>(data);
    capacity_ = size;
    return FSSH_OK;
}

}  // namespace fssh
