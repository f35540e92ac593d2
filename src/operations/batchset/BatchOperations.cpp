#include "BatchOperations.h"

#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <memory>

namespace orv::batchset {

namespace {

// Each operation's words in its result line and what a camera needs for it,
// in the order of Operation.
struct OperationTraits {
    const char* words;
    device::Capability capability;
};
constexpr OperationTraits kOperations[] = {
    {"Reboot", device::Capability::Reboot},
    {"Restore", device::Capability::Restore},
    {"Modify Password", device::Capability::Password},
    {"Modify Device Name", device::Capability::Name},
    {"Modify System Date", device::Capability::DateTime},
    {"Modify Port", device::Capability::Ports},
    {"Modify DDNS", device::Capability::Ddns},
    {"Modify Image", device::Capability::Image},
    {"Modify Video Stream", device::Capability::Streams},
};
static_assert(std::size(kOperations) == static_cast<std::size_t>(Operation::SetVideoStream) + 1);

const OperationTraits& traitsOf(Operation operation) {
    return kOperations[static_cast<std::size_t>(operation)];
}

} // namespace

const char* OperationWords(Operation operation) {
    return traitsOf(operation).words;
}

DateTime ComputerTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

CBatchOperations::CBatchOperations(IBatchHost& host, jobs::CRebootQueue& reboots)
    : m_host(host), m_reboots(reboots) {}

std::vector<device::DeviceInfo> CBatchOperations::Targets() const {
    if (m_host.CheckedMode()) {
        return m_host.CheckedDevices();
    }
    if (const std::optional<device::DeviceInfo> device = m_host.CurrentDevice()) {
        return {*device};
    }
    return {};
}

std::vector<device::DeviceInfo> CBatchOperations::targets(const Message& none) {
    std::vector<device::DeviceInfo> cameras = Targets();
    if (cameras.empty() && !m_host.CheckedMode()) {
        m_host.ShowMessage(none);
    }
    return cameras;
}

namespace {

device::Capability CapabilityOf(Operation operation) {
    return traitsOf(operation).capability;
}

// A step of one call on the job's session, for a camera that can do it.
template <class Call>
Step simple(Operation operation, Call call) {
    return {operation, [operation, call](jobs::CameraRun& run) {
                const char* words = OperationWords(operation);
                return run.Can(CapabilityOf(operation), words) && run.Report(words, run.Do(call));
            }};
}

} // namespace

int CBatchOperations::Apply(const std::string& name, std::vector<Step> steps,
                            const std::wstring& what) {
    if (steps.empty()) {
        return 0;
    }
    std::vector<device::DeviceInfo> devices = targets(kSelectOneDevice);
    if (devices.empty()) {
        return m_host.CheckedMode() ? 1 : 0;
    }
    if (m_host.CheckedMode() && !what.empty() &&
        !m_host.ConfirmChange(what, static_cast<int>(devices.size()))) {
        return 0;
    }
    askPlainConsent(steps, devices);
    jobs::JobSpec order;
    order.name = name;
    order.targets = std::move(devices);
    order.credentials = m_host.DefaultCredentials();
    order.operations = ReportedOperations(steps);
    order.work = [steps = std::move(steps)](jobs::CameraRun& run) { RunSteps(steps, run); };
    m_host.RunOperations(std::move(order), !m_host.CheckedMode());
    return 1;
}

int CBatchOperations::ApplyChanges(const std::string& name, std::vector<Step> steps,
                                   const std::wstring& what) {
    if (steps.empty()) {
        m_host.ShowMessage(kNothingChanged);
        return 0;
    }
    return Apply(name, std::move(steps), what);
}

void CBatchOperations::AskPlainSecrets(const std::vector<device::DeviceInfo>& devices,
                                       SecretConsent& consent) {
    // Cameras met over TLS never need it; a camera met for the first time
    // may still turn out to offer TLS, and then gets its password anyway.
    std::vector<device::DeviceInfo> sealed;
    std::vector<device::DeviceInfo> clear;
    for (const device::DeviceInfo& d : devices) {
        if (!m_host.KnownEncrypted(d)) {
            (d.capabilities.Has(device::Capability::SealedSecrets) ? sealed : clear).push_back(d);
        }
    }
    consent.sealed = !sealed.empty() && m_host.ConfirmPlainSecret(sealed, false);
    consent.clear = !clear.empty() && m_host.ConfirmPlainSecret(clear, true);
}

void CBatchOperations::askPlainConsent(const std::vector<Step>& steps,
                                       const std::vector<device::DeviceInfo>& devices) {
    const auto secret = std::find_if(steps.begin(), steps.end(),
                                     [](const Step& s) { return s.plainConsent != nullptr; });
    if (secret == steps.end()) {
        return;
    }
    SecretConsent asked;
    AskPlainSecrets(devices, asked);
    for (const Step& step : steps) {
        if (step.plainConsent) {
            step.plainConsent->sealed = asked.sealed.load();
            step.plainConsent->clear = asked.clear.load();
        }
    }
}

void CBatchOperations::RunSteps(const std::vector<Step>& steps, jobs::CameraRun& run) {
    for (const Step& step : steps) {
        if (!step.run(run) && step.operation == Operation::ModifyPassword) {
            break; // no reboot with a password the camera did not take
        }
    }
}

std::vector<std::string> CBatchOperations::ReportedOperations(const std::vector<Step>& steps) {
    std::vector<std::string> operations;
    for (const Step& step : steps) {
        if (!step.followUp) {
            operations.emplace_back(OperationWords(step.operation));
        }
    }
    return operations;
}

std::optional<Step> CBatchOperations::SetSystemDate(DateOption mode, int timeZone,
                                                    const DateTime* when) {
    if (when == nullptr) {
        return std::nullopt;
    }
    const std::optional<device::TimeSettings> time = BuildSystemDate(mode, timeZone, *when);
    if (!time) {
        return std::nullopt;
    }
    if (mode == DateOption::ComputerTime) {
        // The computer's clock when the camera's turn comes: a long job, and
        // a retry of it minutes later, still set every camera to the
        // computer's time rather than to the time of the first Save.
        return simple(Operation::SetSystemDate, [mode, timeZone](device::IDeviceSession& s) {
            return s.SetTime(*BuildSystemDate(mode, timeZone, ComputerTime()));
        });
    }
    // Built once for every target.
    return simple(Operation::SetSystemDate,
                  [time = *time](device::IDeviceSession& s) { return s.SetTime(time); });
}

std::optional<Step> CBatchOperations::SetDeviceName(const QString& name) const {
    if (m_host.CheckedMode()) {
        return std::nullopt;
    }
    return DeviceNameStep(name);
}

Step CBatchOperations::DeviceNameStep(const QString& name) {
    return simple(Operation::SetDeviceName,
                  [name](device::IDeviceSession& s) { return s.SetName(name); });
}

std::optional<Step> CBatchOperations::SetPorts(const device::PortSettings* ports) {
    if (ports == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetPorts,
                  [ports = *ports](device::IDeviceSession& s) { return s.SetPorts(ports); });
}

std::optional<Step> CBatchOperations::SetDdns(const device::DdnsSettings* ddns) {
    if (ddns == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetDdns,
                  [ddns = *ddns](device::IDeviceSession& s) { return s.SetDdns(ddns); });
}

namespace {

// A checked-mode step: the camera's own settings, read just before, with
// the installer's changes made by `change`, go back. `change` returns why
// the camera must keep its settings (a reason's detail), or nothing.
template <class Get, class Change, class Set>
Step ownSettingsStep(Operation operation, Get get, Change change, Set set) {
    return {operation, [=](jobs::CameraRun& run) {
                const char* words = OperationWords(operation);
                if (!run.Can(CapabilityOf(operation), words)) {
                    return false;
                }
                auto own = run.Do(get);
                if (!own) {
                    return run.Report(words, own.Error());
                }
                if (std::string refused = change(own.Value()); !refused.empty()) {
                    run.ReportFailure(words, jobs::Reason::SamePort, std::move(refused));
                    return false;
                }
                return run.Report(
                    words, run.Do([&](device::IDeviceSession& s) { return set(s, own.Value()); }));
            }};
}

} // namespace

Step CBatchOperations::ChangePorts(const PortChange& change) {
    return ownSettingsStep(
        Operation::SetPorts, [](device::IDeviceSession& s) { return s.GetPorts(); },
        [change](device::PortSettings& own) { return ApplyPortChange(own, change); },
        [](device::IDeviceSession& s, const device::PortSettings& own) { return s.SetPorts(own); });
}

Step CBatchOperations::ChangeDdns(const DdnsChange& change) {
    return ownSettingsStep(
        Operation::SetDdns, [](device::IDeviceSession& s) { return s.GetDdns(); },
        [change](device::DdnsSettings& own) {
            ApplyDdnsChange(own, change);
            return std::string();
        },
        [](device::IDeviceSession& s, const device::DdnsSettings& own) { return s.SetDdns(own); });
}

Step CBatchOperations::ChangeImaging(const device::ImageSettings& image,
                                     const ImagingFields& fields) {
    return ownSettingsStep(
        Operation::SetImaging, [](device::IDeviceSession& s) { return s.GetImage(); },
        [image, fields](device::ImageSettings& own) {
            MergeImaging(own, image, fields);
            return std::string();
        },
        [](device::IDeviceSession& s, const device::ImageSettings& own) {
            return s.SetImage(own);
        });
}

Step CBatchOperations::ChangeVideoStream(device::StreamKind kind,
                                         const device::StreamSettings& stream,
                                         const StreamFields& fields) {
    return ownSettingsStep(
        Operation::SetVideoStream, [kind](device::IDeviceSession& s) { return s.GetStream(kind); },
        [stream, fields](device::StreamSettings& own) {
            MergeStream(own, stream, fields);
            return std::string();
        },
        [kind](device::IDeviceSession& s, const device::StreamSettings& own) {
            return s.SetStream(kind, own);
        });
}

std::optional<Step> CBatchOperations::SetImaging(const device::ImageSettings* image) {
    if (image == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetImaging, [wanted = *image](device::IDeviceSession& s) {
        // A failed read still sends the three values, with every other
        // option at the first entry of its list.
        const auto read = s.GetImage();
        device::ImageSettings sent;
        if (read) {
            sent = read.Value();
        } else {
            sent.irCut = device::IrCutMode::Night;
        }
        sent.powerLineHz = wanted.powerLineHz;
        sent.localDisplay = wanted.localDisplay;
        sent.indoor = wanted.indoor;
        return s.SetImage(sent);
    });
}

std::optional<Step> CBatchOperations::SetVideoStream(device::StreamKind kind,
                                                     const device::StreamSettings* stream) {
    if (stream == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetVideoStream, [kind, wanted = *stream](device::IDeviceSession& s) {
        const auto read = s.GetStream(kind);
        device::StreamSettings sent = wanted;
        sent.handback = read ? read.Value().handback : std::string();
        return s.SetStream(kind, sent);
    });
}

std::vector<Step> CBatchOperations::ModifyPasswordAndReboot(const QString& user,
                                                            const QString& newPassword,
                                                            PlainConsent consent) {
    return PasswordAndRebootSteps(m_reboots, user, newPassword, std::move(consent));
}

std::vector<Step> CBatchOperations::PasswordAndRebootSteps(jobs::CRebootQueue& reboots,
                                                           const QString& user,
                                                           const QString& newPassword,
                                                           PlainConsent consent) {
    if (!consent) {
        consent = std::make_shared<SecretConsent>();
    }
    std::vector<Step> steps;
    Step password =
        simple(Operation::ModifyPassword, [user, newPassword, consent](device::IDeviceSession& s) {
            // Without TLS it is sealed under the current password only
            // (readable by whoever knows or guesses that one), or not at
            // all: each only with its own consent.
            const bool sealed = s.Device().capabilities.Has(device::Capability::SealedSecrets);
            if (!s.Encrypted() && !(sealed ? consent->sealed.load() : consent->clear.load())) {
                return device::Status(device::Fault::NotEncrypted);
            }
            return s.ChangePassword(user, newPassword);
        });
    password.plainConsent = consent;
    steps.push_back(std::move(password));
    steps.push_back({Operation::Reboot,
                     [user, newPassword, &reboots](jobs::CameraRun& run) {
                         const char* words = OperationWords(Operation::Reboot);
                         if (!run.Can(device::Capability::Reboot, words)) {
                             return false;
                         }
                         auto session = run.OpenAs({user, newPassword});
                         if (session) {
                             reboots.QueueReboot(session.Value());
                         }
                         return run.Report(words, session ? device::Status(device::Done{})
                                                          : device::Status(session.Error()));
                     },
                     true});
    return steps;
}

int CBatchOperations::Reboot() {
    if (!m_host.CheckedMode() && !m_host.CurrentDevice()) {
        m_host.ShowMessage(kSelectOneDeviceCapital);
        return 0;
    }
    if (!m_host.Ask(kAskReboot)) {
        return 0;
    }
    jobs::CRebootQueue& reboots = m_reboots;
    const Step step{Operation::Reboot, [&reboots](jobs::CameraRun& run) {
                        const char* words = OperationWords(Operation::Reboot);
                        if (!run.Can(device::Capability::Reboot, words)) {
                            return false;
                        }
                        // A login that worked is a reboot on its way: the
                        // reboot queue makes it within its next cycles.
                        const device::Status login = run.Open();
                        if (login) {
                            reboots.QueueReboot(run.Session());
                        }
                        return run.Report(words, login);
                    }};
    return Apply("Reboot", {step});
}

int CBatchOperations::Restore() {
    if (!m_host.CheckedMode() && !m_host.CurrentDevice()) {
        m_host.ShowMessage(kSelectOneDevice);
        return 0;
    }
    if (!m_host.Ask(kAskRestore)) {
        return 0;
    }
    const bool checked = m_host.CheckedMode();
    jobs::CRebootQueue& reboots = m_reboots;
    const Step step{Operation::Restore, [&reboots, checked](jobs::CameraRun& run) {
                        const char* words = OperationWords(Operation::Restore);
                        if (!run.Can(device::Capability::Restore, words)) {
                            return false;
                        }
                        const device::Status result =
                            run.Do([](device::IDeviceSession& s) { return s.Restore(); });
                        const auto session = run.Session();
                        if (result || (checked && session)) {
                            // The camera restores its settings first; the
                            // reboot queue reboots it after the pause.
                            reboots.StartRestorePause(!checked);
                            reboots.QueueReboot(session);
                        }
                        return run.Report(words, result);
                    }};
    return Apply("Restore", {step});
}

void CBatchOperations::ReadSettings(jobs::CameraRun& run, ReadScope scope, DeviceSettings& s) {
    s.device = run.Device();
    s.loggedIn = run.Session() != nullptr;
    // Every read is made that the camera can answer, in the order the
    // pages read them; one that fails leaves its fields as they are.
    const auto read = [&](device::Capability capability, auto& slot, auto call) {
        if (!run.Has(capability)) {
            return;
        }
        if (auto value = run.Do(call)) {
            slot = std::move(value).Value();
        }
    };
    using S = device::IDeviceSession;
    using device::Capability;
    if (scope == ReadScope::Everything) {
        read(Capability::DateTime, s.time, [](S& d) { return d.GetTime(); });
        read(Capability::Ports, s.ports, [](S& d) { return d.GetPorts(); });
        read(Capability::Ddns, s.ddns, [](S& d) { return d.GetDdns(); });
        read(Capability::Image, s.image, [](S& d) { return d.GetImage(); });
    }
    for (const device::StreamKind kind :
         {device::StreamKind::Secondary, device::StreamKind::Primary}) {
        auto& slot = kind == device::StreamKind::Primary ? s.primary : s.secondary;
        read(Capability::Streams, slot, [kind](S& d) { return d.GetStream(kind); });
    }
}

jobs::JobSpec CBatchOperations::ReadJob(const device::DeviceInfo& device,
                                        const device::Credentials& login, ReadScope scope,
                                        std::shared_ptr<DeviceSettings> settings) {
    jobs::JobSpec order;
    order.name = "Read settings";
    order.targets = {device};
    order.credentials = login;
    order.work = [scope, settings](jobs::CameraRun& run) { ReadSettings(run, scope, *settings); };
    return order;
}

} // namespace orv::batchset
