#pragma once

#include <cstdint>

namespace tagsmith {

// Milliseconds since the system started, as a 32-bit number that wraps after
// about 49.7 days (the system's tick count).
uint32_t GetTickCount();

}  // namespace tagsmith
