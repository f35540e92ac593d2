#pragma once
// Process-wide state created at start and kept until exit: the OEM switch,
// the operating system's version code and the pending web address.

#include <mutex>
#include <string>

namespace orv {

// True when the first command-line argument is exactly "qvoem".
bool ParseOemMode(int argc, const char* const* argv);

// Version code of the running system. On Windows: 27 for a workstation 6.1,
// 24 for any other workstation 6.x, 26 for a server 6.1, 25 for any other
// server 6.x; later major versions count as the newest of these families
// (24 workstation, 25 server); earlier systems give 20. Every other platform
// gives 24: its list controls behave like those of the later Windows family,
// so the click rules meant for them apply.
int ComputeOsVersionCode();
int OsVersionCodeFor(int major, int minor, bool workstation);

// A single 260-byte address slot shared between the window thread, which
// writes a double-clicked camera's address, and the Batch Set worker, which
// opens and clears it. Every access holds the lock.
class PendingUrlSlot {
public:
    static constexpr size_t kSize = 260;

    void Set(const char* url);
    // Returns the address and clears the slot; empty when none is waiting.
    std::string Take();
    void Clear();

private:
    std::mutex m_lock;
    char m_url[kSize] = {};
};

struct ProcessState {
    bool oemMode = false;
    int osVersionCode = ComputeOsVersionCode();
    PendingUrlSlot pendingUrl;
};

// The one instance, filled in by the application object at start.
ProcessState& TheProcessState();

} // namespace orv
