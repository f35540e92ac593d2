#include "ProcessState.h"

namespace orv {

// The list controls elsewhere behave like those of the later Windows family.
int ComputeOsVersionCode() {
    return 24;
}

} // namespace orv
