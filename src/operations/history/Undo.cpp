#include "Undo.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

namespace orv::history {

namespace {

device::Capability capabilityOf(device::Setting setting) {
    switch (setting) {
    case device::Setting::Name:
        return device::Capability::Name;
    case device::Setting::Time:
        return device::Capability::DateTime;
    case device::Setting::Ports:
        return device::Capability::Ports;
    case device::Setting::Ddns:
        return device::Capability::Ddns;
    case device::Setting::PrimaryStream:
    case device::Setting::SecondaryStream:
        return device::Capability::Streams;
    case device::Setting::Image:
        return device::Capability::Image;
    case device::Setting::Picture:
        return device::Capability::Picture;
    default:
        return device::Capability::Address;
    }
}

// The setting read now, the value before laid over it, sent back.
template <class T, class Get, class Set>
device::Status overlaid(device::IDeviceSession& s, const std::string& before, Get get, Set set) {
    device::Result<T> now = get(s);
    if (!now) {
        return now.Error();
    }
    T value = std::move(now).Value();
    if (!device::ReadRecord(before, value)) {
        return device::Failure{device::Fault::BadAnswer, {}, {}};
    }
    return set(s, value);
}

device::Status putBack(device::IDeviceSession& s, device::Setting setting,
                       const std::string& before) {
    using S = device::IDeviceSession;
    switch (setting) {
    case device::Setting::Name: {
        QString name;
        if (!device::ReadRecord(before, name)) {
            return device::Failure{device::Fault::BadAnswer, {}, {}};
        }
        return s.SetName(name);
    }
    case device::Setting::Time:
        return overlaid<device::TimeSettings>(
            s, before, [](S& d) { return d.GetTime(); },
            [](S& d, const device::TimeSettings& v) { return d.SetTime(v); });
    case device::Setting::Ports:
        return overlaid<device::PortSettings>(
            s, before, [](S& d) { return d.GetPorts(); },
            [](S& d, const device::PortSettings& v) { return d.SetPorts(v); });
    case device::Setting::Ddns:
        return overlaid<device::DdnsSettings>(
            s, before, [](S& d) { return d.GetDdns(); },
            [](S& d, const device::DdnsSettings& v) { return d.SetDdns(v); });
    case device::Setting::PrimaryStream:
    case device::Setting::SecondaryStream: {
        const device::StreamKind kind = setting == device::Setting::PrimaryStream
                                            ? device::StreamKind::Primary
                                            : device::StreamKind::Secondary;
        return overlaid<device::StreamSettings>(
            s, before, [kind](S& d) { return d.GetStream(kind); },
            [kind](S& d, const device::StreamSettings& v) { return d.SetStream(kind, v); });
    }
    case device::Setting::Image:
        return overlaid<device::ImageSettings>(
            s, before, [](S& d) { return d.GetImage(); },
            [](S& d, const device::ImageSettings& v) { return d.SetImage(v); });
    case device::Setting::Picture:
        return overlaid<device::PictureSettings>(
            s, before, [](S& d) { return d.GetPicture(); },
            [](S& d, const device::PictureSettings& v) { return d.SetPicture(v); });
    default:
        return device::Failure{device::Fault::NotSupported, {}, {}};
    }
}

} // namespace

UndoPlan PlanUndo(const std::vector<site::ChangeEntry>& changes) {
    UndoPlan plan;
    std::map<std::string, std::size_t> index; // camera key -> plan.cameras
    for (const site::ChangeEntry& c : changes) {
        const std::optional<device::Setting> setting = device::SettingOf(c.setting);
        if (c.outcome != jobs::OutcomeWord(jobs::Outcome::Succeeded) || !setting) {
            continue; // nothing changed, or nothing the book can tell
        }
        if (!device::Undoable(*setting)) {
            ++plan.notUndoable;
            continue;
        }
        auto [at, added] = index.try_emplace(c.camera, plan.cameras.size());
        if (added) {
            plan.cameras.push_back({c.camera, {}, std::nullopt});
        }
        UndoCamera& camera = plan.cameras[at->second];
        if (*setting == device::Setting::Address) {
            device::AddressChange before;
            // The first move of the job is the one whose value before counts.
            if (!camera.address && c.before && device::ReadRecord(*c.before, before)) {
                camera.address = before;
            }
            continue;
        }
        const bool known = std::any_of(camera.settings.begin(), camera.settings.end(),
                                       [&](const SettingBack& s) { return s.setting == *setting; });
        if (!known) {
            camera.settings.push_back({*setting, c.operation, c.before});
        }
    }
    return plan;
}

std::vector<std::string> UndoOperations(const UndoPlan& plan) {
    std::vector<std::string> words;
    for (const UndoCamera& camera : plan.cameras) {
        for (const SettingBack& s : camera.settings) {
            if (std::find(words.begin(), words.end(), s.operation) == words.end()) {
                words.push_back(s.operation);
            }
        }
    }
    return words;
}

void PutBack(const UndoCamera& camera, jobs::CameraRun& run) {
    for (const SettingBack& s : camera.settings) {
        if (!run.Can(capabilityOf(s.setting), s.operation)) {
            continue;
        }
        if (!s.before) {
            run.ReportFailure(s.operation, jobs::Reason::NoValueBefore);
            continue;
        }
        run.Report(s.operation, run.Do([&](device::IDeviceSession& session) {
            return putBack(session, s.setting, *s.before);
        }));
    }
}

jobs::JobSpec UndoJob(std::int64_t bookJob, const UndoPlan& plan,
                      const std::vector<device::DeviceInfo>& present,
                      const device::Credentials& credentials, std::vector<std::string>& missing) {
    std::unordered_map<std::string, const device::DeviceInfo*> byKey;
    for (const device::DeviceInfo& d : present) {
        byKey.emplace(d.id.Text(), &d);
    }
    jobs::JobSpec order;
    order.name = "Undo job " + std::to_string(bookJob);
    order.undoes = bookJob;
    order.credentials = credentials;
    order.operations = UndoOperations(plan);
    auto cameras = std::make_shared<std::unordered_map<std::string, UndoCamera>>();
    for (const UndoCamera& camera : plan.cameras) {
        const auto found = byKey.find(camera.camera);
        if (found == byKey.end()) {
            missing.push_back(camera.camera);
            continue;
        }
        if (camera.settings.empty()) {
            continue; // only moved: the address path puts it back
        }
        order.targets.push_back(*found->second);
        cameras->emplace(camera.camera, camera);
    }
    order.work = [cameras](jobs::CameraRun& run) {
        PutBack(cameras->at(run.Device().id.Text()), run);
    };
    return order;
}

} // namespace orv::history
