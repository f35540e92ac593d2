// discover: every camera that answers within the time given, as a table,
// CSV (a valid address plan to edit) or JSON.

#include "Session.h"

#include <cstdio>

namespace orv::cli {

int RunDiscover(const Command& command, const Options& options) {
    return RunDiscoverWith(command, options, {});
}

int RunDiscoverWith(const Command& command, const Options& options,
                    const std::vector<device::IDeviceDriver*>& moreDrivers) {
    CSession session(command, options, moreDrivers);
    if (const int status = session.Begin(false); status != kExitOk) {
        return status;
    }
    if (const int status = session.Discover(); status != kExitOk) {
        return status;
    }
    const std::vector<SeenCamera> cameras = session.Discovery().Cameras();
    std::fputs(CameraList(cameras, session.OutputFormat(), Audience::Screen).c_str(), stdout);
    Note(std::to_string(cameras.size()) + " camera(s) answered");
    if (options.Has("results")) {
        const std::string path = options.Value("results");
        if (const std::string error =
                WriteTextFile(path, CameraList(cameras, FileFormat(path), Audience::File));
            !error.empty()) {
            return BadInput(error);
        }
    }
    return kExitOk;
}

} // namespace orv::cli
