#include "Arenas.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv {

namespace {

// More than the program's threads at their most: sixteen job workers,
// discovery on every adapter, the probe, the log writer and Qt's own.
constexpr int kArenas = 128;

} // namespace

void SpreadMemoryArenas() {
#if defined(__GLIBC__)
    // Arenas cost address space, not memory, until a thread uses one.
    ::mallopt(M_ARENA_MAX, kArenas);
#endif
}

} // namespace orv
