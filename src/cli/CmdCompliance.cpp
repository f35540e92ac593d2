// compliance: which selected cameras differ from a profile (the site's own,
// which the window's "Save as site profile..." keeps, or a profile file),
// field by field, or run another firmware than its target; --fix then
// gives each of them the settings it differs in, as one job of the site's
// history.

#include "Session.h"
#include "SiteChoice.h"
#include "file/RegularFile.h"
#include "operations/profile/Compliance.h"

#include <algorithm>
#include <cstdio>

namespace orv::cli {
namespace {

// The profile of --profile FILE, or the site's; an error text when none.
std::optional<profile::ProfileSpec> chosenProfile(const Options& options, std::string& error) {
    std::string text;
    std::string from;
    if (options.Has("profile")) {
        from = options.Value("profile");
        const FileContent content = ReadRegularFile(from, profile::kMaxProfileBytes + 1);
        if (content.error != FileError::None) {
            error = from + ": " + std::string(Describe(content.error));
            return std::nullopt;
        }
        text = content.bytes;
    } else {
        const std::optional<SiteChoice> site = ChooseSite(options, false, error);
        if (!site) {
            return std::nullopt;
        }
        site::CSiteBook::Opened opened = site::CSiteBook::Open(site->file);
        std::optional<site::ProfileEntry> entry =
            opened.book ? opened.book->Profile() : std::nullopt;
        if (!entry) {
            error = opened.book ? "site \"" + site->name +
                                      "\" has no profile yet: give one with --profile FILE, or "
                                      "save one from a camera in the window (site menu, Save as "
                                      "site profile...)"
                                : "site \"" + site->name +
                                      "\": " + (opened.error ? opened.error->text : std::string());
            return std::nullopt;
        }
        from = "site \"" + site->name + "\" profile";
        text = entry->text;
    }
    const profile::ReadResult read = profile::ReadProfile(text);
    if (read.error) {
        error = profile::ErrorText(from, *read.error);
        return std::nullopt;
    }
    return read.profile;
}

} // namespace

int RunCompliance(const Command& command, const Options& options) {
    std::string error;
    const std::optional<profile::ProfileSpec> wanted = chosenProfile(options, error);
    if (!wanted) {
        return BadInput(error);
    }
    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const int status = session.Prepare(selected, false); status != kExitOk) {
        return status;
    }
    const device::Credentials login = session.LoginData().credentials;
    auto results = std::make_shared<profile::ComplianceResults>();
    session.Run(profile::ComplianceJob(
        *wanted, profile::BuildPerCamera(*wanted, selected, session.Drivers()), login, results));
    const std::vector<profile::CheckedCamera> differing = profile::Differing(results->cameras);

    std::vector<std::vector<std::string>> rows = {{"MAC", "IP", "Name", "Firmware", "Differs"}};
    for (const profile::CheckedCamera& c : differing) {
        rows.push_back({c.device.MacText(), c.device.AddressText().toStdString(),
                        c.device.name.toStdString(), c.device.firmware.toStdString(),
                        profile::WhatDiffers(c)});
    }
    if (!differing.empty()) {
        std::fputs(Table(rows).c_str(), stdout);
    }
    std::printf("%zu of %zu camera(s) differ from the profile\n", differing.size(),
                results->cameras.size());
    if (differing.empty() || !options.Has("fix")) {
        return differing.empty() ? kExitOk : kExitSomeFailed;
    }
    std::optional<jobs::JobSpec> order =
        profile::ApplyJob(*wanted, differing, session.Drivers(), login, error);
    if (!order) {
        Note(error);
        return kExitSomeFailed;
    }
    const std::vector<jobs::OperationResult> fixed = session.Run(std::move(*order));
    session.WaitForReboots();
    return session.Finish(fixed);
}

} // namespace orv::cli
