#pragma once

// The host descriptor table: descriptor numbers to Descriptor objects, in
// ascending order. A descriptor that is a host fd is entered under that fd;
// every other kind gets the lowest free number at or above
// FIRST_EMULATED_DESCRIPTOR. Single-threaded: the table has no lock.

#include "kernel/descriptor.h"

#include <memory>

namespace fssh {

constexpr int32_t FIRST_EMULATED_DESCRIPTOR = 10000;

// Takes ownership of the descriptor, sets its number and returns it. An entry
// already under that number (a host fd the host has closed and reused) is
// replaced and destroyed without touching the host fd.
int32_t add_descriptor(std::unique_ptr<Descriptor> descriptor);

// The descriptor under `number`, or null; the table keeps ownership.
Descriptor* get_descriptor(int32_t number);

// Takes the descriptor out of the table and hands it to the caller; null when
// the number is unknown.
std::unique_ptr<Descriptor> remove_descriptor(int32_t number);

}  // namespace fssh
