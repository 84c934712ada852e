#pragma once

#include <cstddef>

// Under an address-space limit (ulimit -v) work that needs much memory waits
// for room instead of failing beside other work that holds it. Without a
// limit everything goes through at once.
namespace tessavo {

// Whether the process runs under an address-space limit.
bool addressSpaceLimited();

// The limit in bytes (the largest size_t without one), and what the
// process maps now.
size_t addressSpaceLimit();
size_t addressSpaceInUse();

// Whether `bytes` more could be mapped now, probed with a real mapping.
bool roomFor(size_t bytes);

} // namespace tessavo
