#include "kernel/item_list.h"

namespace fssh {

namespace {

list_link* link_of(const item_list* list, void* item)
{
    return reinterpret_cast<list_link*>(static_cast<char*>(item) + list->link_offset);
}

void* item_of(const item_list* list, list_link* link)
{
    return reinterpret_cast<char*>(link) - list->link_offset;
}

// The item behind `link`, or null when the link leads back to the head (or
// nowhere).
void* item_at(item_list* list, list_link* link)
{
    if (link == nullptr || link == &list->link)
        return nullptr;
    return item_of(list, link);
}

void link_between(list_link* link, list_link* prev, list_link* next)
{
    link->prev = prev;
    link->next = next;
    prev->next = link;
    next->prev = link;
}

void make_empty(item_list* list)
{
    list->link.next = &list->link;
    list->link.prev = &list->link;
}

}  // namespace

void item_list_init(item_list* list)
{
    item_list_init_with_offset(list, 0);
}

void item_list_init_with_offset(item_list* list, int32_t offset)
{
    make_empty(list);
    list->link_offset = offset;
}

void item_list_push_link_front(item_list* list, list_link* link)
{
    link_between(link, &list->link, list->link.next);
}

void item_list_push_link_back(item_list* list, list_link* link)
{
    link_between(link, list->link.prev, &list->link);
}

void item_list_unlink(list_link* link)
{
    link->prev->next = link->next;
    link->next->prev = link->prev;
}

void* item_list_next(item_list* list, void* item)
{
    if (item == nullptr)
        return item_at(list, list->link.next);
    return item_at(list, link_of(list, item)->next);
}

void* item_list_prev(item_list* list, void* item)
{
    if (item == nullptr)
        return item_at(list, list->link.prev);
    return item_at(list, link_of(list, item)->prev);
}

void* item_list_last(item_list* list)
{
    return item_list_prev(list, nullptr);
}

void item_list_append(item_list* list, void* item)
{
    item_list_push_link_back(list, link_of(list, item));
}

void item_list_remove(item_list* list, void* item)
{
    item_list_unlink(link_of(list, item));
}

void item_list_insert_before(item_list* list, void* before, void* item)
{
    if (before == nullptr) {
        item_list_append(list, item);
        return;
    }
    list_link* next = link_of(list, before);
    link_between(link_of(list, item), next->prev, next);
}

void* item_list_pop_front(item_list* list)
{
    void* item = item_list_next(list, nullptr);
    if (item != nullptr)
        item_list_remove(list, item);
    return item;
}

void* item_list_pop_back(item_list* list)
{
    void* item = item_list_last(list);
    if (item != nullptr)
        item_list_remove(list, item);
    return item;
}

void item_list_move(item_list* source, item_list* target)
{
    target->link_offset = source->link_offset;
    if (item_list_is_empty(source)) {
        make_empty(target);
        return;
    }
    target->link = source->link;
    target->link.next->prev = &target->link;
    target->link.prev->next = &target->link;
    make_empty(source);
}

bool item_list_is_empty(item_list* list)
{
    return list->link.next == &list->link;
}

}  // namespace fssh
