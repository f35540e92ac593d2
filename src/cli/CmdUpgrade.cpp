// upgrade: a firmware image to the selected cameras, which must all be of
// one firmware family (other makers' cameras: of one model) and have
// addresses of their own; the image's size and name are checked against the
// first camera's model as on the Batch Upgrade page. A camera installs an
// image it took and reboots by itself. --waves and --stop-after roll it out
// one camera first, then a share, then the rest, and stop after failures.

#include "Session.h"
#include "lang/Language.h"
#include "operations/upgrade/UpgradeRules.h"
#include "text/TextConv.h"

#include <filesystem>

namespace orv::cli {
namespace {

std::string text(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

} // namespace

int RunUpgrade(const Command& command, const Options& options) {
    const std::string path = options.Positional().front();
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        return BadInput(path + ": " + ec.message());
    }
    if (!upgrade::FirmwareSizeAccepted(size)) {
        return BadInput(path + ": " + text(upgrade::kFileTooBig));
    }

    std::string error;
    const std::optional<int> share = options.Number("waves", 0, 1, 100, error);
    const std::optional<int> stopAfter = options.Number("stop-after", 0, 1, 100000, error);
    if (!share || !stopAfter) {
        return BadInput(error);
    }
    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const int status = session.Prepare(selected, true); status != kExitOk) {
        return status;
    }
    const std::string model = selected.front().model.toStdString();
    const upgrade::UpgradeCheck check =
        upgrade::CheckUpgrade(FromUtf8(path), upgrade::ImageTargetOf(selected.front()));
    switch (check.stop) {
    case upgrade::UpgradeStop::None:
        break;
    case upgrade::UpgradeStop::Unreadable:
        return BadInput(path + ": cannot be read");
    case upgrade::UpgradeStop::EmptyFile:
        return BadInput(path + ": the file is empty");
    case upgrade::UpgradeStop::NoPrefix:
        return BadInput(path + ": not a firmware image (its name lacks \"" +
                        std::string(upgrade::kImagePrefix) + "\")");
    case upgrade::UpgradeStop::EmptyModel:
        return BadInput("the first selected camera reports no model");
    default:
        return BadInput(path + ": " + (check.message ? text(*check.message) : "refused") +
                        " (model " + model + ")");
    }
    if (options.Has("dry-run")) {
        return session.ShowDryRun(selected, [&](const device::DeviceInfo&) {
            return std::vector<std::string>{"Upgrade: " + path};
        });
    }
    return session.Finish(session.Run(upgrade::UpgradeJob(selected, session.LoginData().credentials,
                                                          check.path, {*share, *stopAfter})));
}

} // namespace orv::cli
