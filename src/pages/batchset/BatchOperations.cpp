#include "BatchOperations.h"

#include "pages/common/RecordText.h"
#include "pages/common/ResultLines.h"

#include <cstdio>
#include <cstring>

namespace orv::batchset {

namespace {

const char* words(Operation operation) {
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

std::string ipText(const tagQvIpcInfo& device) {
    return FieldText(device.IpAddr);
}

} // namespace

std::string ResultLine(const tagQvIpcInfo& device, Operation operation, bool succeeded) {
    return orv::ResultLine(device, words(operation), succeeded);
}

CBatchOperations::CBatchOperations(IBatchHost& host, IDeviceSdk& sdk, CBatchWorker& worker)
    : m_host(host), m_sdk(sdk), m_worker(worker) {}

CBatchOperations::Credentials CBatchOperations::defaults() const {
    Credentials c;
    m_host.DefaultUser(c.user, sizeof c.user);
    m_host.DefaultPassword(c.password, sizeof c.password);
    return c;
}

int CBatchOperations::login(const tagQvIpcInfo& device, const char* user, const char* password) {
    return m_sdk.Login(ipText(device).c_str(), device.HttpPort, user, password);
}

template <class Call>
int CBatchOperations::apply(Operation operation, Call call, bool* succeeded) {
    const Credentials c = defaults();
    if (m_host.CheckedMode()) {
        // Every checked camera is tried whatever happened to the others; a
        // failed login hands -1 on, which the SDK refuses without traffic.
        for (const tagQvIpcInfo& device : m_host.CheckedDevices()) {
            call(login(device, c.user, c.password));
        }
        return 1;
    }
    const std::optional<tagQvIpcInfo> device = m_host.CurrentDevice();
    if (!device) {
        m_host.ShowMessage(kSelectOneDevice);
        return 0;
    }
    const int handle = login(*device, c.user, c.password);
    const bool ok = handle != -1 && call(handle) == 0;
    m_host.AddResultLine(ResultLine(*device, operation, ok));
    if (succeeded != nullptr) {
        *succeeded = ok;
    }
    return 1;
}

int CBatchOperations::Reboot() {
    const Credentials c = defaults();
    if (!m_host.CheckedMode() && !m_host.CurrentDevice()) {
        m_host.ShowMessage(kSelectOneDeviceCapital);
        return 0;
    }
    if (!m_host.Ask(kAskReboot)) {
        return 0;
    }
    return QueueReboots(c.user, c.password);
}

int CBatchOperations::QueueReboots(const char* user, const char* password) {
    if (m_host.CheckedMode()) {
        for (const tagQvIpcInfo& device : m_host.CheckedDevices()) {
            m_worker.QueueReboot(login(device, user, password));
        }
        return 1;
    }
    const std::optional<tagQvIpcInfo> device = m_host.CurrentDevice();
    if (!device) {
        m_host.ShowMessage(kSelectOneDeviceCapital);
        return 0;
    }
    const int handle = login(*device, user, password);
    if (handle != -1) {
        m_worker.QueueReboot(handle);
    }
    m_host.AddResultLine(ResultLine(*device, Operation::Reboot, handle != -1));
    return 1;
}

int CBatchOperations::Restore() {
    const Credentials c = defaults();
    if (m_host.CheckedMode()) {
        if (!m_host.Ask(kAskRestore)) {
            return 0;
        }
        for (const tagQvIpcInfo& device : m_host.CheckedDevices()) {
            const int handle = login(device, c.user, c.password);
            m_sdk.RestoreSystem(handle);
            m_worker.StartRestorePause(false);
            m_worker.QueueReboot(handle);
        }
        return 1;
    }
    const std::optional<tagQvIpcInfo> device = m_host.CurrentDevice();
    if (!device) {
        m_host.ShowMessage(kSelectOneDevice);
        return 0;
    }
    if (!m_host.Ask(kAskRestore)) {
        return 0;
    }
    const int handle = login(*device, c.user, c.password);
    const bool ok = handle != -1 && m_sdk.RestoreSystem(handle) == 0;
    if (ok) {
        m_worker.StartRestorePause(true);
        m_worker.QueueReboot(handle);
    }
    m_host.AddResultLine(ResultLine(*device, Operation::Restore, ok));
    return 1;
}

int CBatchOperations::ModifyPassword(const char* user, const char* newPassword) {
    if (user == nullptr || newPassword == nullptr) {
        return 0;
    }
    bool ok = false;
    const int result = apply(
        Operation::ModifyPassword,
        [&](int handle) { return m_sdk.ModifyPassword(handle, user, newPassword); }, &ok);
    if (result == 0) {
        return 0;
    }
    return m_host.CheckedMode() || ok ? 1 : 0;
}

int CBatchOperations::SetDeviceName(const char* escapedName) {
    if (m_host.CheckedMode()) {
        return 1;
    }
    return apply(Operation::SetDeviceName, [&](int handle) {
        return m_sdk.SetDeviceName(handle, escapedName != nullptr ? escapedName : "");
    });
}

int CBatchOperations::SetSystemDate(DateOption mode, int timeZone, const DateTime* when) {
    if (when == nullptr) {
        return 0;
    }
    // Built once for every target.
    const std::optional<QvSystemDate> record = BuildSystemDate(mode, timeZone, *when);
    if (!record) {
        return 0;
    }
    return apply(Operation::SetSystemDate,
                 [&](int handle) { return m_sdk.SetSystemDate(handle, &*record); });
}

int CBatchOperations::SetPorts(const QvPortInfo* record) {
    if (record == nullptr) {
        return 0;
    }
    return apply(Operation::SetPorts,
                 [&](int handle) { return m_sdk.SetPortInfo(handle, record); });
}

int CBatchOperations::SetDdns(const QvDdnsInfo* record) {
    if (record == nullptr) {
        return 0;
    }
    return apply(Operation::SetDdns, [&](int handle) { return m_sdk.SetDdns(handle, record); });
}

int CBatchOperations::SetImaging(const QvImagingConfig* record) {
    if (record == nullptr) {
        return 0;
    }
    return apply(Operation::SetImaging, [&](int handle) {
        QvImagingConfig current{};
        m_sdk.GetImagingConfig(handle, &current);
        current.powerLineFrequency = record->powerLineFrequency;
        current.localDisplay = record->localDisplay;
        current.outdoorMode = record->outdoorMode;
        return m_sdk.SetImagingConfig(handle, &current);
    });
}

int CBatchOperations::SetVideoStream(const QvVideoConfig* record) {
    if (record == nullptr) {
        return 0;
    }
    return apply(Operation::SetVideoStream, [&](int handle) {
        QvVideoConfig working{};
        working.stream = record->stream;
        m_sdk.GetVideoConfig(handle, &working);
        QvVideoConfig sent = *record;
        sent.deviceTag = working.deviceTag;
        return m_sdk.SetVideoConfig(handle, &sent);
    });
}

} // namespace orv::batchset
