// apply: a profile's settings to the selected cameras as one job of Batch
// Set operations, one login per camera; the stream lists come from the
// camera of the lowest model class, as on the Video/Image page.

#include "Session.h"
#include "file/RegularFile.h"
#include "operations/profile/Profile.h"

namespace orv::cli {
int RunApply(const Command& command, const Options& options) {
    using namespace profile;
    if (!options.Has("profile")) {
        return BadInput("apply needs --profile FILE");
    }
    const std::string file = options.Value("profile");
    const FileContent content = ReadRegularFile(file, kMaxProfileBytes + 1);
    if (content.error != FileError::None) {
        return BadInput(file + ": " + std::string(Describe(content.error)));
    }
    const ReadResult read = ReadProfile(content.bytes);
    if (read.error) {
        return BadInput(ErrorText(file, *read.error));
    }

    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const int status = session.Prepare(selected, false); status != kExitOk) {
        return status;
    }
    const BuildResult built =
        BuildProfile(*read.profile, selected, session.Drivers(), batchset::ComputerTime());
    if (built.error) {
        return BadInput(ErrorText(file, *built.error));
    }
    const BuiltProfile& profile = *built.built;
    if (options.Has("dry-run")) {
        return session.ShowDryRun(selected,
                                  [&](const device::DeviceInfo& c) { return profile.Describe(c); });
    }
    jobs::JobSpec order;
    order.name = "Apply";
    order.targets = selected;
    order.credentials = session.LoginData().credentials;
    order.operations =
        batchset::CBatchOperations::ReportedOperations(profile.StepsFor(selected[0]));
    order.work = [&profile](jobs::CameraRun& run) {
        batchset::CBatchOperations::RunSteps(profile.StepsFor(run.Device()), run);
    };
    const std::vector<jobs::OperationResult> results = session.Run(std::move(order));
    session.WaitForReboots();
    return session.Finish(results);
}

} // namespace orv::cli
