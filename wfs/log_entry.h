#pragma once

// One written group of log entries that is not yet retired: the log blocks it
// holds stay in use until the block cache reports every logged block on the
// device.

#include "wfs/doubly_linked_list.h"

#include <cstdint>

namespace wfs {

class Journal;

struct LogEntry {
    LogEntry(Journal* journal, uint32_t start, uint32_t length)
        : journal(journal), start(start), length(length)
    {
    }

    DoublyLinkedListLink<LogEntry> list_link;
    Journal* journal;
    // The log position at which it was written, not reduced modulo the log
    // size.
    uint32_t start;
    // Log blocks it occupies, run array blocks included.
    uint32_t length;
};

}  // namespace wfs
