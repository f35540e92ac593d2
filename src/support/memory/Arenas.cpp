#include "Arenas.h"

#include <cstdlib> // names the C library (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv {

void SpreadMemoryArenas() {
#if defined(__GLIBC__)
    // More than the program's threads at their most: sixteen job workers,
    // discovery on every adapter, the probe, the log writer and Qt's own.
    // Arenas cost address space, not memory, until a thread uses one.
    constexpr int kArenas = 128;
    ::mallopt(M_ARENA_MAX, kArenas);
#endif
}

} // namespace orv
