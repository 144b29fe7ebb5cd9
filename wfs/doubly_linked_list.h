#pragma once

// An intrusive doubly linked list of objects that carry their own links: the
// item type has a public member `list_link` of type DoublyLinkedListLink<Item>.
// The list never owns its items, and an item is in at most one list at a time.
// The kernel's item_list locates links by a byte offset, which classes with
// virtual functions (the transaction observers) cannot portably give; this
// list reaches the link through the member instead.

namespace wfs {

template <typename Item>
struct DoublyLinkedListLink {
    Item* next = nullptr;
    Item* previous = nullptr;
};

template <typename Item>
class DoublyLinkedList {
public:
    bool IsEmpty() const { return first_ == nullptr; }
    Item* First() const { return first_; }
    Item* Last() const { return last_; }
    static Item* Next(Item* item) { return item->list_link.next; }

    void Add(Item* item)
    {
        item->list_link.next = nullptr;
        item->list_link.previous = last_;
        if (last_ != nullptr)
            last_->list_link.next = item;
        else
            first_ = item;
        last_ = item;
    }

    void Remove(Item* item)
    {
        Item* next = item->list_link.next;
        Item* previous = item->list_link.previous;
        if (previous != nullptr)
            previous->list_link.next = next;
        else
            first_ = next;
        if (next != nullptr)
            next->list_link.previous = previous;
        else
            last_ = previous;
        item->list_link.next = nullptr;
        item->list_link.previous = nullptr;
    }

    Item* RemoveHead()
    {
        Item* item = first_;
        if (item != nullptr)
            Remove(item);
        return item;
    }

    // Appends every item of `source` in order and leaves `source` empty.
    void MoveFrom(DoublyLinkedList* source)
    {
        if (source->first_ == nullptr)
            return;
        if (last_ != nullptr) {
            last_->list_link.next = source->first_;
            source->first_->list_link.previous = last_;
        } else {
            first_ = source->first_;
        }
        last_ = source->last_;
        source->first_ = nullptr;
        source->last_ = nullptr;
    }

private:
    Item* first_ = nullptr;
    Item* last_ = nullptr;
};

}  // namespace wfs
