#include "Compliance.h"

#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/SystemTime.h"
#include "operations/batchset/VideoImageRules.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace orv::profile {
namespace {

namespace bs = batchset;

std::string entry(const bs::Entries& entries, int position) {
    return position >= 0 && position < static_cast<int>(entries.size())
               ? entries[static_cast<std::size_t>(position)]
               : "?";
}

std::string zoneText(int index) {
    return index >= 0 && index < bs::kTimeZoneCount
               ? std::string(bs::kTimeZoneNames[static_cast<std::size_t>(index)]).substr(0, 6)
               : "?";
}

// Collects the differences of one camera.
class Judge {
public:
    std::vector<Difference> found;

    template <class T>
    void compare(const std::string& field, const T& wanted, const T& held) {
        if (!(wanted == held)) {
            found.push_back({field, text(wanted), text(held)});
        }
    }
    void notRead(const std::string& field, const std::string& wanted) {
        found.push_back({field, wanted, kNotRead});
    }

private:
    static std::string text(const std::string& value) { return value; }
    static std::string text(const QString& value) { return value.toStdString(); }
    static std::string text(int value) { return std::to_string(value); }
    static std::string text(bool value) { return value ? "on" : "off"; }
};

void judgeStream(Judge& judge, const std::string& path, const device::StreamSettings& wanted,
                 const std::optional<device::StreamSettings>& held, const bs::StreamFields& named,
                 bool primary) {
    if (!named.Any()) {
        return;
    }
    if (!held) {
        judge.notRead(path, "named");
        return;
    }
    if (!primary && named.enabled) {
        judge.compare(path + ".enabled", wanted.enabled, held->enabled);
    }
    if (!primary && !wanted.enabled) {
        return; // what an unused stream would run at is no difference
    }
    const bs::Entries codecs = primary ? bs::PrimaryCodecs() : bs::SecondaryCodecs();
    if (named.codec) {
        judge.compare(path + ".codec", entry(codecs, bs::CodecPosition(wanted.codec)),
                      entry(codecs, bs::CodecPosition(held->codec)));
    }
    if (named.frameSize) {
        judge.compare(path + ".frame_size",
                      std::to_string(wanted.width) + "*" + std::to_string(wanted.height),
                      std::to_string(held->width) + "*" + std::to_string(held->height));
    }
    if (named.frameRate && wanted.frameRate > 0) {
        judge.compare(path + ".frame_rate", wanted.frameRate, held->frameRate);
    }
    if (named.bitRate) {
        judge.compare(path + ".bit_rate", wanted.bitRateKbps, held->bitRateKbps);
    }
    if (named.bitRateControl) {
        const bs::Entries controls = bs::BitRateControls();
        judge.compare(path + ".bit_rate_control",
                      entry(controls, bs::RateControlPosition(wanted.rateControl)),
                      entry(controls, bs::RateControlPosition(held->rateControl)));
    }
    if (named.iFrameInterval) {
        judge.compare(path + ".i_frame", wanted.iFrameInterval, held->iFrameInterval);
    }
}

void judgeTime(Judge& judge, const BuiltProfile& built, const bs::DeviceSettings& camera) {
    if (!built.time) {
        return;
    }
    const bool server = built.time->useTimeServer;
    if (!camera.time) {
        judge.notRead("date", server ? "server" : "by hand");
        return;
    }
    judge.compare("date.mode", std::string(server ? "server" : "by hand"),
                  std::string(camera.time->useTimeServer ? "server" : "by hand"));
    if (server && camera.time->useTimeServer) {
        judge.compare("date.time_zone", zoneText(built.dateZone),
                      zoneText(bs::TimeZoneIndex(*camera.time)));
    }
}

void judgePorts(Judge& judge, const BuiltProfile& built, const bs::DeviceSettings& camera) {
    if (!built.ports) {
        return;
    }
    const device::Ports& wanted = built.ports->ports;
    if (!camera.ports) {
        judge.notRead("ports", "named");
        return;
    }
    const device::Ports& held = camera.ports->ports;
    // Another maker's camera is given its ONVIF and RTSP ports only (its
    // HTTP port is its ONVIF port), the second RTSP port where it has one.
    const device::DeviceInfo& device = camera.device;
    if (device.Speaks(device::Protocol::Maker)) {
        judge.compare("ports.http", wanted.http, held.http);
    }
    judge.compare("ports.onvif", wanted.onvif, held.onvif);
    judge.compare("ports.rtsp1", wanted.rtsp, held.rtsp);
    if (device.Speaks(device::Protocol::Maker) ||
        device.capabilities.Has(device::Capability::SecondRtspPort)) {
        judge.compare("ports.rtsp2", wanted.rtsp2, held.rtsp2);
    }
}

void judgeDdns(Judge& judge, const BuiltProfile& built, const bs::DeviceSettings& camera) {
    if (!built.ddns) {
        return;
    }
    if (!camera.ddns) {
        judge.notRead("ddns", built.ddns->enabled ? "on" : "off");
        return;
    }
    judge.compare("ddns.enable", built.ddns->enabled, camera.ddns->enabled);
    if (built.ddns->enabled && camera.ddns->enabled) {
        judge.compare("ddns.provider", built.ddns->provider, camera.ddns->provider);
        judge.compare("ddns.host", built.ddns->host, camera.ddns->host);
        judge.compare("ddns.user", built.ddns->user, camera.ddns->user);
    }
}

void judgeImage(Judge& judge, const BuiltProfile& built, const bs::DeviceSettings& camera) {
    if (!built.image) {
        return;
    }
    if (!camera.image) {
        judge.notRead("image", "named");
        return;
    }
    const device::ImageSettings& wanted = *built.image;
    const device::ImageSettings& held = *camera.image;
    judge.compare("image.power_line", wanted.powerLineHz, held.powerLineHz);
    const bs::Entries outdoor = bs::OutdoorModes();
    judge.compare("image.outdoor", entry(outdoor, bs::OutdoorPosition(wanted.indoor)),
                  entry(outdoor, bs::OutdoorPosition(held.indoor)));
    const bs::Entries display = bs::LocalDisplayModes();
    judge.compare("image.local_display",
                  entry(display, bs::LocalDisplayPosition(wanted.localDisplay)),
                  entry(display, bs::LocalDisplayPosition(held.localDisplay)));
}

std::string errorText(const ProfileError& error) {
    return (error.field.empty() ? std::string() : error.field + ": ") + error.text;
}

// The operation that sends a difference's setting back to the profile's
// value; none for the firmware (an upgrade installs it).
std::optional<bs::Operation> operationOf(const std::string& field) {
    const std::pair<const char*, bs::Operation> sections[] = {
        {"date", bs::Operation::SetSystemDate},
        {"ports", bs::Operation::SetPorts},
        {"ddns", bs::Operation::SetDdns},
        {"image", bs::Operation::SetImaging},
        {"video", bs::Operation::SetVideoStream}};
    for (const auto& [section, operation] : sections) {
        if (field == section || field.starts_with(std::string(section) + ".")) {
            return operation;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<Difference> Differences(const BuiltProfile& built,
                                    const std::optional<std::string>& firmware,
                                    const bs::DeviceSettings& camera) {
    Judge judge;
    if (firmware) {
        const QString& held = camera.device.firmware;
        judge.compare("firmware", *firmware,
                      held.isEmpty() ? std::string("unknown") : held.toStdString());
    }
    judgeTime(judge, built, camera);
    judgePorts(judge, built, camera);
    judgeDdns(judge, built, camera);
    judgeImage(judge, built, camera);
    if (built.primary) {
        judgeStream(judge, "video.primary", *built.primary, camera.primary, built.primaryNamed,
                    true);
        judgeStream(judge, "video.secondary", *built.secondary, camera.secondary,
                    built.secondaryNamed, false);
    }
    return judge.found;
}

std::vector<PerCamera> BuildPerCamera(const ProfileSpec& profile,
                                      const std::vector<device::DeviceInfo>& cameras,
                                      const device::CDriverSet& drivers) {
    ProfileSpec shared = profile;
    shared.name.reset(); // names are each camera's own
    std::vector<PerCamera> out;
    out.reserve(cameras.size());
    for (const device::DeviceInfo& camera : cameras) {
        BuildResult built = BuildProfile(shared, {camera}, drivers, bs::ComputerTime());
        PerCamera one{camera, std::move(built.built), {}};
        if (built.error) {
            one.problem = "the profile does not fit this camera: " + errorText(*built.error);
        }
        out.push_back(std::move(one));
    }
    return out;
}

jobs::JobSpec ComplianceJob(const ProfileSpec& profile, std::vector<PerCamera> cameras,
                            const device::Credentials& credentials,
                            std::shared_ptr<ComplianceResults> results) {
    jobs::JobSpec order;
    order.name = "Check profile";
    order.credentials = credentials;
    auto built =
        std::make_shared<std::unordered_map<device::DeviceId, PerCamera, device::DeviceIdHash>>();
    for (PerCamera& camera : cameras) {
        order.targets.push_back(camera.device);
        built->emplace(camera.device.id, std::move(camera));
    }
    order.work = [built, firmware = profile.firmware, results](jobs::CameraRun& run) {
        CheckedCamera checked{run.Device(), {}, {}};
        const PerCamera& mine = built->at(run.Device().id);
        if (!mine.built) {
            checked.problem = mine.problem;
        } else if (const device::Status login = run.Open(); !login) {
            const device::Failure& failure = login.Error();
            checked.problem = jobs::ReasonText(jobs::ReasonOf(failure.fault),
                                               static_cast<double>(failure.limit.count()) / 1000.0,
                                               failure.detail);
        } else {
            bs::DeviceSettings settings;
            bs::CBatchOperations::ReadSettings(run, bs::ReadScope::Everything, settings);
            checked.differences = Differences(*mine.built, firmware, settings);
        }
        const std::lock_guard hold(results->lock);
        results->cameras.push_back(std::move(checked));
    };
    return order;
}

std::optional<jobs::JobSpec> ApplyJob(ProfileSpec profile,
                                      const std::vector<CheckedCamera>& cameras,
                                      const device::CDriverSet& drivers,
                                      const device::Credentials& credentials, std::string& error) {
    profile.name.reset();
    // Per camera, the operations of the settings it differs in.
    using Operations = std::set<bs::Operation>;
    auto sendTo =
        std::make_shared<std::unordered_map<device::DeviceId, Operations, device::DeviceIdHash>>();
    std::vector<device::DeviceInfo> targets;
    Operations all;
    for (const CheckedCamera& camera : cameras) {
        Operations mine;
        for (const Difference& d : camera.differences) {
            if (const std::optional<bs::Operation> operation = operationOf(d.field)) {
                mine.insert(*operation);
            }
        }
        if (!mine.empty()) {
            targets.push_back(camera.device);
            all.insert(mine.begin(), mine.end());
            (*sendTo)[camera.device.id] = std::move(mine);
        }
    }
    if (targets.empty()) {
        error = "no camera differs in a setting the profile sends (a firmware is installed by "
                "an upgrade)";
        return std::nullopt;
    }
    BuildResult built = BuildProfile(profile, targets, drivers, bs::ComputerTime());
    if (built.error) {
        error = errorText(*built.error);
        return std::nullopt;
    }
    auto shared = std::make_shared<const BuiltProfile>(std::move(*built.built));
    const auto stepsFor = [shared](const device::DeviceInfo& camera, const Operations& which) {
        std::vector<bs::Step> steps = shared->StepsFor(camera);
        std::erase_if(steps,
                      [&](const bs::Step& step) { return which.count(step.operation) == 0; });
        return steps;
    };
    jobs::JobSpec order;
    order.name = "Apply profile";
    order.credentials = credentials;
    order.operations = bs::CBatchOperations::ReportedOperations(stepsFor(targets.front(), all));
    order.targets = std::move(targets);
    order.work = [sendTo, stepsFor](jobs::CameraRun& run) {
        bs::CBatchOperations::RunSteps(stepsFor(run.Device(), sendTo->at(run.Device().id)), run);
    };
    return order;
}

std::vector<CheckedCamera> Differing(std::vector<CheckedCamera> checked) {
    std::erase_if(checked, [](const CheckedCamera& c) { return c.Keeps(); });
    // In address order, as the lists show a site.
    std::sort(checked.begin(), checked.end(),
              [](const auto& a, const auto& b) { return a.device.address < b.device.address; });
    return checked;
}

std::string WhatDiffers(const CheckedCamera& camera) {
    return camera.problem.empty() ? DifferencesText(camera.differences) : camera.problem;
}

std::string DifferencesText(const std::vector<Difference>& differences) {
    std::string text;
    for (const Difference& d : differences) {
        text +=
            (text.empty() ? "" : ", ") + d.field + " " + d.found + " (profile " + d.wanted + ")";
    }
    return text;
}

} // namespace orv::profile
