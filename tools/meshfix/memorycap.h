#pragma once

#include <cstdint>

// A ceiling on the memory the whole process may take. Allocations beyond it
// fail with std::bad_alloc, which a repair step turns into "ran out of
// memory" while the previous mesh stays in place.
namespace repairprogram {

// False when the platform refused the limit (the program then runs without).
bool capProcessMemory(std::uint64_t bytes);

// Installed memory, or 0 when it cannot be told.
std::uint64_t physicalMemory();

} // namespace repairprogram
