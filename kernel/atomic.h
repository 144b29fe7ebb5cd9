#pragma once

// Atomic integer operations. Every read-modify-write returns the value held
// before the operation.

#include <cstdint>

namespace fssh {

void atomic_store32(int32_t* value, int32_t new_value);
int32_t atomic_exchange32(int32_t* value, int32_t new_value);
int32_t atomic_compare_exchange32(int32_t* value, int32_t new_value, int32_t expected);
int32_t atomic_fetch_add32(int32_t* value, int32_t addend);
int32_t atomic_fetch_and32(int32_t* value, int32_t mask);
int32_t atomic_fetch_or32(int32_t* value, int32_t mask);
int32_t atomic_load32(int32_t* value);

void atomic_store64(int64_t* value, int64_t new_value);
int64_t atomic_exchange64(int64_t* value, int64_t new_value);
int64_t atomic_compare_exchange64(int64_t* value, int64_t new_value, int64_t expected);
int64_t atomic_fetch_add64(int64_t* value, int64_t addend);
int64_t atomic_fetch_and64(int64_t* value, int64_t mask);
int64_t atomic_fetch_or64(int64_t* value, int64_t mask);
int64_t atomic_load64(int64_t* value);

}  // namespace fssh
