#include "ProcessState.h"

#include <cstring>

namespace orv {

bool ParseOemMode(int argc, const char* const* argv) {
    return argc > 1 && argv[1] != nullptr && std::strcmp(argv[1], "qvoem") == 0;
}

ProcessState& TheProcessState() {
    static ProcessState state;
    return state;
}

} // namespace orv
