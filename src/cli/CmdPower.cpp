// reboot and restore: the Batch Set page's operations over the selected
// cameras, with its question asked at the terminal (or answered by --yes);
// the reboots run one every 200 ms, after a restore once its pause is over.

#include "BatchHost.h"

namespace orv::cli {
namespace {

int run(const Command& command, const Options& options, bool restore) {
    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const auto end = session.PrepareOrShowPlan(
            selected, {restore ? "Restore, then Reboot after 25 s" : "Reboot"})) {
        return *end;
    }
    CCliBatchHost host(session, selected, options.Has("yes"));
    batchset::CBatchOperations operations(host, session.Reboots());
    if ((restore ? operations.Restore() : operations.Reboot()) == 0) {
        if (host.Unanswered()) {
            return kExitBadInput;
        }
        Note("nothing was done");
        return kExitSomeFailed;
    }
    session.WaitForReboots();
    return session.Finish(host.Results());
}

} // namespace

int RunReboot(const Command& command, const Options& options) {
    return run(command, options, false);
}

int RunRestore(const Command& command, const Options& options) {
    return run(command, options, true);
}

} // namespace orv::cli
