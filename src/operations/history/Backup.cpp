#include "Backup.h"

#include <map>

namespace orv::history {

namespace {

// The words a setting's change reports under, as the pages' jobs say them.
const char* wordsOf(device::Setting setting) {
    switch (setting) {
    case device::Setting::Name:
        return "Modify Device Name";
    case device::Setting::Time:
        return "Modify System Date";
    case device::Setting::Ports:
        return "Modify Port";
    case device::Setting::Ddns:
        return "Modify DDNS";
    case device::Setting::PrimaryStream:
    case device::Setting::SecondaryStream:
        return "Modify Video Stream";
    case device::Setting::Image:
        return "Modify Image";
    case device::Setting::Picture:
        return "Modify Picture";
    default:
        return "";
    }
}

// Reads one setting if the camera can tell it, and notes it as kept.
template <class Read>
void keep(jobs::CameraRun& run, device::Capability capability, device::Setting setting, Read read) {
    if (!run.Has(capability)) {
        return;
    }
    if (auto value = run.Do(read)) {
        run.NoteChange({setting, device::RecordOf(value.Value()), std::nullopt});
    }
}

} // namespace

jobs::JobSpec BackupJob(std::vector<device::DeviceInfo> targets,
                        const device::Credentials& credentials) {
    jobs::JobSpec order;
    order.name = kBackupOperation;
    order.targets = std::move(targets);
    order.credentials = credentials;
    order.operations = {kBackupOperation};
    order.work = [](jobs::CameraRun& run) {
        if (const device::Status login = run.Open(); !login) {
            run.Report(kBackupOperation, login);
            return;
        }
        using S = device::IDeviceSession;
        using device::Capability;
        using device::Setting;
        run.NoteChange({Setting::Name, device::RecordOf(run.Device().name), std::nullopt});
        keep(run, Capability::DateTime, Setting::Time, [](S& s) { return s.GetTime(); });
        keep(run, Capability::Ports, Setting::Ports, [](S& s) { return s.GetPorts(); });
        keep(run, Capability::Ddns, Setting::Ddns, [](S& s) { return s.GetDdns(); });
        keep(run, Capability::Streams, Setting::PrimaryStream,
             [](S& s) { return s.GetStream(device::StreamKind::Primary); });
        keep(run, Capability::Streams, Setting::SecondaryStream,
             [](S& s) { return s.GetStream(device::StreamKind::Secondary); });
        keep(run, Capability::Image, Setting::Image, [](S& s) { return s.GetImage(); });
        keep(run, Capability::Picture, Setting::Picture, [](S& s) { return s.GetPicture(); });
        run.Report(kBackupOperation, device::Status(device::Done{}));
    };
    return order;
}

UndoCamera KnownSettings(const std::string& camera, const std::vector<site::ChangeEntry>& changes) {
    // In the order the settings were first seen, each with its last value.
    std::vector<device::Setting> order;
    std::map<device::Setting, std::string> last;
    for (const site::ChangeEntry& c : changes) {
        const std::optional<device::Setting> setting = device::SettingOf(c.setting);
        if (!setting || !device::Undoable(*setting) || *setting == device::Setting::Address) {
            continue;
        }
        const std::optional<std::string>& value =
            c.outcome == jobs::OutcomeWord(jobs::Outcome::Succeeded) && c.after ? c.after
                                                                                : c.before;
        if (!value) {
            continue;
        }
        if (last.emplace(*setting, *value).second) {
            order.push_back(*setting);
        } else {
            last[*setting] = *value;
        }
    }
    UndoCamera known{camera, {}, std::nullopt};
    for (const device::Setting setting : order) {
        known.settings.push_back({setting, wordsOf(setting), last[setting]});
    }
    return known;
}

jobs::JobSpec RestoreJob(const UndoCamera& known, const device::DeviceInfo& target,
                         const device::Credentials& credentials) {
    jobs::JobSpec order;
    order.name = "Restore backup of " + known.camera;
    order.targets = {target};
    order.credentials = credentials;
    UndoPlan plan;
    plan.cameras = {known};
    order.operations = UndoOperations(plan);
    order.work = [known](jobs::CameraRun& run) { PutBack(known, run); };
    return order;
}

} // namespace orv::history
