#pragma once

// Listeners of cache transactions and the delivery of their events. Events are
// queued on the cache's pending-notification list and delivered one at a time,
// lowest bit first per listener, before notify_listeners returns. The list and
// the freeing of listeners are guarded by one notification lock shared by all
// caches.

#include "block_cache/block_cache_internal.h"
#include "block_cache/cache_transaction.h"
#include "kernel/item_list.h"
#include "kernel/status.h"

#include <cstdint>

namespace fssh {

struct cache_listener {
    list_link pending_link;  // on the cache's pending-notification list
    int32_t transaction_id;
    int32_t pending_events;  // raised, not yet delivered
    int32_t events;          // wanted
    transaction_notification_hook hook;
    void* data;
    bool delete_when_delivered;
    list_link transaction_link;  // on the transaction's listener list
};

// Creates the notification lock; see block_cache_init.
void init_notification_lock();

// Raises `event` on the transaction's listeners and delivers it. Listeners
// done with the transaction (ended or aborted ones that do not wait for the
// written event, written ones once it came) leave it and are freed after
// delivery. The cache lock is held; the hooks run with it held.
void notify_listeners(block_cache* cache, cache_transaction* transaction, int32_t event);

// Makes the listener for (hook, data) want CACHE_EVENT_WRITTEN, creating it if
// needed. FSSH_NO_MEMORY when it cannot be created.
status_code add_written_listener(cache_transaction* transaction, transaction_notification_hook hook,
                                 void* data);

// Takes every listener off the transaction; each is freed now, or after
// delivery when events are still pending for it.
void release_listeners(cache_transaction* transaction);

}  // namespace fssh
