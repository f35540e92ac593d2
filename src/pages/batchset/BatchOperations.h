#pragma once
// The operations the Batch Set page applies to cameras: reboot, restore,
// password, device name, date, ports, DDNS, imaging and video streams. Each
// runs on the current camera with one result line, or silently on every
// checked camera in list order; reboots go through the worker's queue.

#include "BatchWorker.h"
#include "SystemRecords.h"
#include "pages/common/Message.h"
#include "qvsp/QvspTypes.h"
#include "sdk/DeviceSdk.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::batchset {

inline constexpr Message kAskReboot{L"90026", L"Are you sure to reboot the selected devices?"};
inline constexpr Message kAskRestore{L"90027", L"Are you sure to restore the selected devices?"};

// What the operations need of the page that holds the devices.
class IBatchHost {
public:
    virtual ~IBatchHost() = default;

    virtual bool CheckedMode() const = 0;
    // The checked devices in list order.
    virtual std::vector<tagQvIpcInfo> CheckedDevices() const = 0;
    // The current row's device; nothing when there is no current row.
    virtual std::optional<tagQvIpcInfo> CurrentDevice() const = 0;
    // The main window's default credentials, escaped, at most size - 1 bytes.
    virtual void DefaultUser(char* buffer, int size) const = 0;
    virtual void DefaultPassword(char* buffer, int size) const = 0;
    virtual void ShowMessage(const Message& message) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const Message& question) = 0;
    // One result line in the system code page.
    virtual void AddResultLine(const std::string& line) = 0;
};

enum class Operation {
    Reboot,
    Restore,
    ModifyPassword,
    SetDeviceName,
    SetSystemDate,
    SetPorts,
    SetDdns,
    SetImaging,
    SetVideoStream,
};

// "[MAC] <ip> <words> Succeed." or "... Failed.", MAC in upper-case hex, at
// most 259 characters.
std::string ResultLine(const tagQvIpcInfo& device, Operation operation, bool succeeded);

class CBatchOperations {
public:
    CBatchOperations(IBatchHost& host, IDeviceSdk& sdk, CBatchWorker& worker);

    bool CheckedMode() const { return m_host.CheckedMode(); }
    IDeviceSdk& Sdk() { return m_sdk; }
    CBatchWorker& Worker() { return m_worker; }

    // 0 when refused or declined, else what QueueReboots returns.
    int Reboot();
    // Logs in to each target with these credentials and queues its reboot.
    // 0 when no device is selected, else 1.
    int QueueReboots(const char* user, const char* password);
    // 0 when refused or declined, else 1.
    int Restore();
    // 0 on refusal or failure, else 1; always 1 in checked mode.
    int ModifyPassword(const char* user, const char* newPassword);
    // Each of the following: 0 when its argument is missing or no device is
    // selected, else 1. Set device name does nothing in checked mode, where
    // every camera keeps its own name.
    int SetDeviceName(const char* escapedName);
    int SetSystemDate(DateOption mode, int timeZone, const DateTime* when);
    int SetPorts(const QvPortInfo* record);
    int SetDdns(const QvDdnsInfo* record);
    // Merges the frequency and the two mode bytes into the camera's own
    // record, read just before, so the camera's other bytes go back as read.
    int SetImaging(const QvImagingConfig* record);
    // Sends the record with the camera's own tag, read just before.
    int SetVideoStream(const QvVideoConfig* record);

private:
    struct Credentials {
        char user[32] = {};
        char password[16] = {};
    };
    Credentials defaults() const;
    int login(const tagQvIpcInfo& device, const char* user, const char* password);
    // The common pattern: every checked device silently, or the current one
    // with a result line. `call` makes the device calls for one handle and
    // returns 0 on success.
    template <class Call>
    int apply(Operation operation, Call call, bool* succeeded = nullptr);

    IBatchHost& m_host;
    IDeviceSdk& m_sdk;
    CBatchWorker& m_worker;
};

} // namespace orv::batchset
