#pragma once

// Intrusive doubly linked list: each item carries a link at link_offset, and
// the list's own link is the head. Items are never owned or allocated.

#include <cstdint>

namespace fssh {

struct list_link {
    list_link* next;
    list_link* prev;
};

struct item_list {
    list_link link;  // head: next is the first item's link, prev the last's
    int32_t link_offset;
};

void item_list_init(item_list* list);
void item_list_init_with_offset(item_list* list, int32_t offset);
void item_list_push_link_front(item_list* list, list_link* link);
void item_list_push_link_back(item_list* list, list_link* link);
// Splices the link out; its own pointers are left as they were.
void item_list_unlink(list_link* link);
// Null item: the first (last) item; null at the end.
void* item_list_next(item_list* list, void* item);
void* item_list_prev(item_list* list, void* item);
void* item_list_last(item_list* list);
void item_list_append(item_list* list, void* item);
void item_list_remove(item_list* list, void* item);
// A null `before` appends.
void item_list_insert_before(item_list* list, void* before, void* item);
void* item_list_pop_front(item_list* list);
void* item_list_pop_back(item_list* list);
// Moves every item to target (whose previous content is dropped); source
// becomes empty.
void item_list_move(item_list* source, item_list* target);
bool item_list_is_empty(item_list* list);

}  // namespace fssh
