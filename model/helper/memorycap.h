#pragma once

#include <cstdint>

// A ceiling on the memory the whole process may take. Allocations beyond it
// fail with std::bad_alloc, which the helper programs (repair,
// reconstruction) turn into their out-of-memory outcome.
namespace helperlimits {

// False when the platform refused the limit (the program then runs without).
bool capProcessMemory(std::uint64_t bytes);

// Installed memory, or 0 when it cannot be told.
std::uint64_t physicalMemory();

} // namespace helperlimits
