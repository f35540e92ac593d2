#include "BatchOperations.h"

#include <QDateTime>

#include <memory>

namespace orv::batchset {

const char* OperationWords(Operation operation) {
    switch (operation) {
    case Operation::Reboot:
        return "Reboot";
    case Operation::Restore:
        return "Restore";
    case Operation::ModifyPassword:
        return "Modify Password";
    case Operation::SetDeviceName:
        return "Modify Device Name";
    case Operation::SetSystemDate:
        return "Modify System Date";
    case Operation::SetPorts:
        return "Modify Port";
    case Operation::SetDdns:
        return "Modify DDNS";
    case Operation::SetImaging:
        return "Modify Image";
    case Operation::SetVideoStream:
        return "Modify Video Stream";
    }
    return "";
}

DateTime ComputerTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

CBatchOperations::CBatchOperations(IBatchHost& host, CBatchWorker& worker)
    : m_host(host), m_worker(worker) {}

jobs::Credentials CBatchOperations::defaults() const {
    jobs::Credentials c;
    m_host.DefaultUser(c.user, sizeof c.user);
    m_host.DefaultPassword(c.password, sizeof c.password);
    return c;
}

std::vector<tagQvIpcInfo> CBatchOperations::targets(const Message& none) {
    if (m_host.CheckedMode()) {
        return m_host.CheckedDevices();
    }
    if (const std::optional<tagQvIpcInfo> device = m_host.CurrentDevice()) {
        return {*device};
    }
    m_host.ShowMessage(none);
    return {};
}

namespace {

// A step whose one call takes the job's handle.
template <class Call>
Step simple(Operation operation, Call call) {
    return {operation, [operation, call](jobs::CameraRun& run) {
                const int handle = run.Handle();
                return run.Report(OperationWords(operation), handle < 0 ? -1 : call(run, handle));
            }};
}

} // namespace

int CBatchOperations::Apply(const std::string& name, std::vector<Step> steps,
                            const std::wstring& what) {
    if (steps.empty()) {
        return 0;
    }
    std::vector<tagQvIpcInfo> devices = targets(kSelectOneDevice);
    if (devices.empty()) {
        return m_host.CheckedMode() ? 1 : 0;
    }
    if (m_host.CheckedMode() && !what.empty() &&
        !m_host.ConfirmChange(what, static_cast<int>(devices.size()))) {
        return 0;
    }
    jobs::JobSpec order;
    order.name = name;
    order.targets = std::move(devices);
    order.credentials = defaults();
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
    const std::optional<QvSystemDate> record = BuildSystemDate(mode, timeZone, *when);
    if (!record) {
        return std::nullopt;
    }
    if (mode == DateOption::ComputerTime) {
        // The computer's clock when the camera's turn comes: a long job, and
        // a retry of it minutes later, still set every camera to the
        // computer's time rather than to the time of the first Save.
        return simple(Operation::SetSystemDate, [mode, timeZone](jobs::CameraRun& run, int h) {
            const QvSystemDate now = *BuildSystemDate(mode, timeZone, ComputerTime());
            return run.Sdk().SetSystemDate(h, &now);
        });
    }
    // Built once for every target.
    return simple(Operation::SetSystemDate, [record = *record](jobs::CameraRun& run, int h) {
        return run.Sdk().SetSystemDate(h, &record);
    });
}

std::optional<Step> CBatchOperations::SetDeviceName(const char* escapedName) const {
    if (m_host.CheckedMode()) {
        return std::nullopt;
    }
    return DeviceNameStep(escapedName != nullptr ? escapedName : "");
}

Step CBatchOperations::DeviceNameStep(std::string escapedName) {
    return simple(Operation::SetDeviceName,
                  [name = std::move(escapedName)](jobs::CameraRun& run, int h) {
                      return run.Sdk().SetDeviceName(h, name.c_str());
                  });
}

std::optional<Step> CBatchOperations::SetPorts(const QvPortInfo* record) {
    if (record == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetPorts, [r = *record](jobs::CameraRun& run, int h) {
        return run.Sdk().SetPortInfo(h, &r);
    });
}

std::optional<Step> CBatchOperations::SetDdns(const QvDdnsInfo* record) {
    if (record == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetDdns,
                  [r = *record](jobs::CameraRun& run, int h) { return run.Sdk().SetDdns(h, &r); });
}

namespace {

// A checked-mode step: the camera's own record, read just before, with the
// installer's changes made by `change`, goes back. `change` returns why the
// camera must keep its record (a reason's detail), or nothing.
template <class Record, class Get, class Change, class Set>
Step ownRecordStep(Operation operation, Record record, Get get, Change change, Set set) {
    return {operation, [=](jobs::CameraRun& run) {
                const char* words = OperationWords(operation);
                const int h = run.Handle();
                Record own = record; // carries what selects the record (a stream)
                if (h < 0 || get(run.Sdk(), h, &own) != 0) {
                    return run.Report(words, -1);
                }
                if (std::string refused = change(own); !refused.empty()) {
                    run.ReportFailure(words, jobs::Reason::SamePort, std::move(refused));
                    return false;
                }
                return run.Report(words, set(run.Sdk(), h, &own));
            }};
}

} // namespace

Step CBatchOperations::ChangePorts(const PortChange& change) {
    return ownRecordStep(
        Operation::SetPorts, QvPortInfo{},
        [](IDeviceSdk& sdk, int h, QvPortInfo* r) { return sdk.GetPortInfo(h, r); },
        [change](QvPortInfo& own) { return ApplyPortChange(own, change); },
        [](IDeviceSdk& sdk, int h, const QvPortInfo* r) { return sdk.SetPortInfo(h, r); });
}

Step CBatchOperations::ChangeDdns(const DdnsChange& change) {
    return ownRecordStep(
        Operation::SetDdns, QvDdnsInfo{},
        [](IDeviceSdk& sdk, int h, QvDdnsInfo* r) { return sdk.GetDdns(h, r); },
        [change](QvDdnsInfo& own) {
            ApplyDdnsChange(own, change);
            return std::string();
        },
        [](IDeviceSdk& sdk, int h, const QvDdnsInfo* r) { return sdk.SetDdns(h, r); });
}

Step CBatchOperations::ChangeImaging(const QvImagingConfig& record, const ImagingFields& fields) {
    return ownRecordStep(
        Operation::SetImaging, QvImagingConfig{},
        [](IDeviceSdk& sdk, int h, QvImagingConfig* r) { return sdk.GetImagingConfig(h, r); },
        [record, fields](QvImagingConfig& own) {
            MergeImaging(own, record, fields);
            return std::string();
        },
        [](IDeviceSdk& sdk, int h, const QvImagingConfig* r) {
            return sdk.SetImagingConfig(h, r);
        });
}

Step CBatchOperations::ChangeVideoStream(const QvVideoConfig& record, const StreamFields& fields) {
    QvVideoConfig select{};
    select.stream = record.stream;
    return ownRecordStep(
        Operation::SetVideoStream, select,
        [](IDeviceSdk& sdk, int h, QvVideoConfig* r) { return sdk.GetVideoConfig(h, r); },
        [record, fields](QvVideoConfig& own) {
            MergeStream(own, record, fields);
            own.stream = record.stream;
            return std::string();
        },
        [](IDeviceSdk& sdk, int h, const QvVideoConfig* r) { return sdk.SetVideoConfig(h, r); });
}

std::optional<Step> CBatchOperations::SetImaging(const QvImagingConfig* record) {
    if (record == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetImaging, [r = *record](jobs::CameraRun& run, int h) {
        QvImagingConfig current{};
        run.Sdk().GetImagingConfig(h, &current);
        current.powerLineFrequency = r.powerLineFrequency;
        current.localDisplay = r.localDisplay;
        current.outdoorMode = r.outdoorMode;
        return run.Sdk().SetImagingConfig(h, &current);
    });
}

std::optional<Step> CBatchOperations::SetVideoStream(const QvVideoConfig* record) {
    if (record == nullptr) {
        return std::nullopt;
    }
    return simple(Operation::SetVideoStream, [r = *record](jobs::CameraRun& run, int h) {
        QvVideoConfig working{};
        working.stream = r.stream;
        run.Sdk().GetVideoConfig(h, &working);
        QvVideoConfig sent = r;
        sent.deviceTag = working.deviceTag;
        return run.Sdk().SetVideoConfig(h, &sent);
    });
}

std::vector<Step> CBatchOperations::ModifyPasswordAndReboot(const char* user,
                                                            const char* newPassword) {
    if (user == nullptr || newPassword == nullptr) {
        return {};
    }
    const std::string u = user;
    const std::string p = newPassword;
    CBatchWorker& worker = m_worker;
    std::vector<Step> steps;
    steps.push_back(simple(Operation::ModifyPassword, [u, p](jobs::CameraRun& run, int h) {
        return run.Sdk().ModifyPassword(h, u.c_str(), p.c_str());
    }));
    steps.push_back({Operation::Reboot,
                     [u, p, &worker](jobs::CameraRun& run) {
                         const int handle = run.LoginAs(u.c_str(), p.c_str());
                         if (handle != -1) {
                             worker.QueueReboot(handle);
                         }
                         return run.Report(OperationWords(Operation::Reboot),
                                           handle != -1 ? 0 : -1);
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
    CBatchWorker& worker = m_worker;
    const Step step{Operation::Reboot, [&worker](jobs::CameraRun& run) {
                        // A login that worked is a reboot on its way: the
                        // worker makes it within its next cycles.
                        const int handle = run.Handle();
                        if (handle != -1) {
                            worker.QueueReboot(handle);
                        }
                        return run.Report(OperationWords(Operation::Reboot), handle != -1 ? 0 : -1);
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
    CBatchWorker& worker = m_worker;
    const Step step{Operation::Restore, [&worker, checked](jobs::CameraRun& run) {
                        const int handle = run.Handle();
                        const int result = handle < 0 ? -1 : run.Sdk().RestoreSystem(handle);
                        if (result == 0 || (checked && handle >= 0)) {
                            // The camera restores its settings first; the
                            // worker reboots it after the pause.
                            worker.StartRestorePause(!checked);
                            worker.QueueReboot(handle);
                        }
                        return run.Report(OperationWords(Operation::Restore), result);
                    }};
    return Apply("Restore", {step});
}

jobs::JobSpec CBatchOperations::ReadJob(const tagQvIpcInfo& device, const jobs::Credentials& login,
                                        ReadScope scope, std::shared_ptr<DeviceSettings> settings) {
    jobs::JobSpec order;
    order.name = "Read settings";
    order.targets = {device};
    order.credentials = login;
    order.work = [scope, settings](jobs::CameraRun& run) {
        DeviceSettings& s = *settings;
        s.device = run.Device();
        const int h = run.Handle();
        s.loggedIn = h >= 0;
        // Every read is made, also without a login: each then fails and
        // leaves its fields as they are, in the order the pages read them.
        const auto read = [&](auto& slot, auto call) {
            std::remove_reference_t<decltype(*slot)> record{};
            if (call(record) == 0) {
                slot = record;
            }
        };
        IDeviceSdk& sdk = run.Sdk();
        if (scope == ReadScope::Everything) {
            read(s.date, [&](QvSystemDate& r) { return sdk.GetSystemDate(h, &r); });
            read(s.ports, [&](QvPortInfo& r) { return sdk.GetPortInfo(h, &r); });
            read(s.ddns, [&](QvDdnsInfo& r) { return sdk.GetDdns(h, &r); });
            read(s.imaging, [&](QvImagingConfig& r) { return sdk.GetImagingConfig(h, &r); });
        }
        read(s.secondary, [&](QvVideoConfig& r) {
            r.stream = 0;
            return sdk.GetVideoConfig(h, &r);
        });
        read(s.primary, [&](QvVideoConfig& r) {
            r.stream = 1;
            return sdk.GetVideoConfig(h, &r);
        });
    };
    return order;
}

} // namespace orv::batchset
