#include "kernel/descriptor_table.h"

#include "kernel/file_descriptor.h"

namespace fssh {

namespace {

// The entries in ascending order of number, linked through table_next. The
// table holds a handful of entries (the device, a settings file), so a sorted
// list serves; it needs no allocation of its own.
Descriptor* first_descriptor = nullptr;

// The link that points at the first entry whose number is not below `number`.
Descriptor** link_at(int32_t number)
{
    Descriptor** link = &first_descriptor;
    while (*link != nullptr && (*link)->Number() < number)
        link = &(*link)->table_next;
    return link;
}

int32_t lowest_free_emulated_number()
{
    int32_t number = FIRST_EMULATED_DESCRIPTOR;
    for (Descriptor* entry = *link_at(number); entry != nullptr && entry->Number() == number;
         entry = entry->table_next) {
        number++;
    }
    return number;
}

}  // namespace

int32_t add_descriptor(std::unique_ptr<Descriptor> descriptor)
{
    int32_t number = descriptor->IsHostFd() ? descriptor->Number() : lowest_free_emulated_number();
    descriptor->SetNumber(number);
    Descriptor** link = link_at(number);
    if (*link != nullptr && (*link)->Number() == number) {
        Descriptor* replaced = *link;
        descriptor->table_next = replaced->table_next;
        if (replaced->IsHostFd())
            static_cast<FileDescriptor*>(replaced)->ForgetHostFd();
        delete replaced;
    } else {
        descriptor->table_next = *link;
    }
    *link = descriptor.release();
    return number;
}

Descriptor* get_descriptor(int32_t number)
{
    Descriptor* entry = *link_at(number);
    return entry != nullptr && entry->Number() == number ? entry : nullptr;
}

std::unique_ptr<Descriptor> remove_descriptor(int32_t number)
{
    Descriptor** link = link_at(number);
    Descriptor* entry = *link;
    if (entry == nullptr || entry->Number() != number)
        return nullptr;
    *link = entry->table_next;
    entry->table_next = nullptr;
    return std::unique_ptr<Descriptor>(entry);
}

}  // namespace fssh
