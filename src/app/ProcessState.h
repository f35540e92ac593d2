#pragma once
// Process-wide state created at start and kept until exit: the OEM switch.

namespace orv {

// True when the first command-line argument is exactly "qvoem".
bool ParseOemMode(int argc, const char* const* argv);

struct ProcessState {
    bool oemMode = false;
};

// The one instance, filled in by the application object at start.
ProcessState& TheProcessState();

} // namespace orv
