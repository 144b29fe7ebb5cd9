// Listeners of cache transactions: queueing events and delivering them.

#include "block_cache/cache_listener.h"

#include "kernel/atomic.h"
#include "kernel/lock.h"

#include <new>

namespace fssh {

namespace {

// Guards every cache's pending-notification list and the freeing of
// listeners that may still be queued.
mutex notification_lock = {-1, NO_THREAD};

constexpr int32_t DELIVERABLE_EVENTS =
    CACHE_EVENT_WRITTEN | CACHE_EVENT_ABORTED | CACHE_EVENT_ENDED | CACHE_EVENT_IDLE;

bool wants(cache_listener* listener, int32_t event)
{
    return (atomic_load32(&listener->events) & event) != 0;
}

// Whether the event ends the listener's interest in the transaction: the
// written event for those waiting for it, the end or abort for all others.
bool leaves_on(cache_listener* listener, int32_t event)
{
    switch (event) {
        case CACHE_EVENT_ENDED:
        case CACHE_EVENT_ABORTED:
            return !wants(listener, CACHE_EVENT_WRITTEN);
        case CACHE_EVENT_WRITTEN:
            return wants(listener, CACHE_EVENT_WRITTEN);
        default:
            return false;
    }
}

// Frees a listener that has left its transaction, or leaves that to the
// delivery of its pending events. The notification lock is held.
void retire_listener(cache_listener* listener)
{
    if (atomic_load32(&listener->pending_events) != 0)
        listener->delete_when_delivered = true;
    else
        delete listener;
}

void queue_event(block_cache* cache, cache_listener* listener, int32_t event, bool leaving)
{
    int32_t pending_before = atomic_fetch_or32(&listener->pending_events, event);
    MutexLocker locker(&notification_lock);
    if (leaving)
        listener->delete_when_delivered = true;
    if (pending_before == 0)
        item_list_append(&cache->pending_notifications, listener);
}

// Delivers the queued events, one listener after the other, each listener's
// events lowest bit first. Hooks run without the notification lock.
void deliver_pending_notifications(block_cache* cache)
{
    MutexLocker locker(&notification_lock);
    while (cache_listener* listener = static_cast<cache_listener*>(
               item_list_next(&cache->pending_notifications, nullptr))) {
        int32_t pending = atomic_load32(&listener->pending_events) & DELIVERABLE_EVENTS;
        int32_t event = pending & -pending;
        atomic_fetch_and32(&listener->pending_events, ~event);

        bool free_after_delivery = false;
        if ((pending & ~event) == 0) {
            item_list_remove(&cache->pending_notifications, listener);
            free_after_delivery = listener->delete_when_delivered;
        }

        locker.Unlock();
        listener->hook(listener->transaction_id, event, listener->data);
        locker.Lock();
        if (free_after_delivery)
            delete listener;
    }
}

}  // namespace

void init_notification_lock()
{
    mutex_init(&notification_lock, "block cache notifications");
}

void notify_listeners(block_cache* cache, cache_transaction* transaction, int32_t event)
{
    cache_listener* next;
    for (cache_listener* listener =
             static_cast<cache_listener*>(item_list_next(&transaction->listeners, nullptr));
         listener != nullptr; listener = next) {
        next = static_cast<cache_listener*>(item_list_next(&transaction->listeners, listener));

        bool leaving = leaves_on(listener, event);
        if (leaving)
            item_list_remove(&transaction->listeners, listener);

        if (wants(listener, event) && listener->hook != nullptr) {
            queue_event(cache, listener, event, leaving);
        } else if (leaving) {
            // Nothing will be delivered to it; a listener without a hook
            // included, which would otherwise be lost.
            MutexLocker locker(&notification_lock);
            retire_listener(listener);
        }
    }
    deliver_pending_notifications(cache);
}

status_code add_written_listener(cache_transaction* transaction, transaction_notification_hook hook,
                                 void* data)
{
    for (cache_listener* listener =
             static_cast<cache_listener*>(item_list_next(&transaction->listeners, nullptr));
         listener != nullptr;
         listener = static_cast<cache_listener*>(item_list_next(&transaction->listeners, listener))) {
        if (listener->hook == hook && listener->data == data) {
            atomic_fetch_or32(&listener->events, CACHE_EVENT_WRITTEN);
            return FSSH_OK;
        }
    }

    cache_listener* listener = new (std::nothrow) cache_listener{};
    if (listener == nullptr)
        return FSSH_NO_MEMORY;
    listener->transaction_id = transaction->id;
    listener->events = CACHE_EVENT_WRITTEN;
    listener->hook = hook;
    listener->data = data;
    item_list_append(&transaction->listeners, listener);
    return FSSH_OK;
}

void release_listeners(cache_transaction* transaction)
{
    while (cache_listener* listener =
               static_cast<cache_listener*>(item_list_pop_front(&transaction->listeners))) {
        MutexLocker locker(&notification_lock);
        retire_listener(listener);
    }
}

}  // namespace fssh
