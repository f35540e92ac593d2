#pragma once
// The operations the Batch Set page applies to cameras: reboot, restore,
// password, device name, date, ports, DDNS, imaging and video streams. A
// Save is one job over its targets (the current camera, or every checked
// camera in list order): each camera logs in once and gets the Save's
// operations in their order; reboots go through the worker's queue. For one
// camera each operation ends in a result line, for checked cameras in the
// job's results and one summary line per operation.

#include "DeviceSettings.h"
#include "NetworkParamRules.h"
#include "SystemTime.h"
#include "VideoImageRules.h"
#include "jobs/CameraRun.h"
#include "jobs/JobEngine.h"
#include "operations/common/Message.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv::batchset {

inline constexpr Message kAskReboot{L"90026", L"Are you sure to reboot the selected devices?"};
inline constexpr Message kAskRestore{L"90027", L"Are you sure to restore the selected devices?"};
inline constexpr Message kNothingChanged{
    L"95052", L"Nothing was changed: every camera keeps its own settings."};
inline constexpr Message kAskNewDefaultPassword{
    L"90028", L"The new password was taken. Use it as the Default User password from now on?"};

// What the operations need of the page that holds the devices.
class IBatchHost {
public:
    virtual ~IBatchHost() = default;

    virtual bool CheckedMode() const = 0;
    // The checked devices in list order.
    virtual std::vector<device::DeviceInfo> CheckedDevices() const = 0;
    // The current device; nothing when there is none.
    virtual std::optional<device::DeviceInfo> CurrentDevice() const = 0;
    // The main window's default credentials.
    virtual device::Credentials DefaultCredentials() const = 0;
    virtual void ShowMessage(const Message& message) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Ask(const Message& question) = 0;
    // "`what` will change on `cameras` cameras." with Yes and No.
    virtual bool ConfirmChange(const std::wstring& what, int cameras) = 0;
    // The camera was met over TLS and is trusted by its key.
    virtual bool KnownEncrypted(const device::DeviceInfo& device) const = 0;
    // Whether a new password may go to `cameras`, which were never met over
    // an encrypted connection, if they turn out to offer none; true for Yes.
    // `inClear`: these cameras cannot even seal it (ONVIF's SetUser carries
    // the password as it is), so anyone who captures it can read it.
    virtual bool ConfirmPlainSecret(const std::vector<device::DeviceInfo>& cameras,
                                    bool inClear) = 0;
    // Runs a job of operations; `oneCamera`: the current camera, whose
    // operations each write their result line.
    virtual void RunOperations(jobs::JobSpec order, bool oneCamera) = 0;
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

// The computer's local time, to the second.
DateTime ComputerTime();

// The words of an operation in its result line, "Modify Port".
const char* OperationWords(Operation operation);

// Whether a job's secrets may go to cameras that offer no encrypted
// connection, sealed under the current password or in clear: decided once,
// before the job starts, and read by its steps.
struct SecretConsent {
    std::atomic<bool> sealed{false};
    std::atomic<bool> clear{false};
};
using PlainConsent = std::shared_ptr<SecretConsent>;

// One operation of a Save for one camera, made with the job's login.
struct Step {
    Operation operation;
    // Reports its outcome through the run; false stops the camera's later
    // steps of the same chain (a reboot after a refused password).
    std::function<bool(jobs::CameraRun&)> run;
    // Steps that may be left out of the report (only run after another).
    bool followUp = false;
    // Set for a step that sends a secret: Apply asks before the job.
    PlainConsent plainConsent = nullptr;
};

class CBatchOperations {
public:
    CBatchOperations(IBatchHost& host, jobs::CRebootQueue& reboots);

    bool CheckedMode() const { return m_host.CheckedMode(); }
    // What a Save goes to now: the checked cameras, or the current one;
    // none when nothing is picked.
    std::vector<device::DeviceInfo> Targets() const;
    jobs::CRebootQueue& Reboots() { return m_reboots; }

    // 0 when refused or declined, else 1.
    int Reboot();
    int Restore();

    // The steps of a Save; nothing when their argument is missing. With the
    // computer-time option each camera gets the computer's clock at its turn
    // (`when` only decides that there is a step).
    static std::optional<Step> SetSystemDate(DateOption mode, int timeZone, const DateTime* when);
    // Nothing in checked mode, where every camera keeps its own name.
    std::optional<Step> SetDeviceName(const QString& name) const;
    // The name step itself, for a camera that is to get `name`.
    static Step DeviceNameStep(const QString& name);
    static std::optional<Step> SetPorts(const device::PortSettings* ports);
    static std::optional<Step> SetDdns(const device::DdnsSettings* ddns);
    // Checked mode: each camera's own settings, read just before, with only
    // the touched values changed.
    static Step ChangePorts(const PortChange& change);
    static Step ChangeDdns(const DdnsChange& change);
    static Step ChangeImaging(const device::ImageSettings& image, const ImagingFields& fields);
    static Step ChangeVideoStream(device::StreamKind kind, const device::StreamSettings& stream,
                                  const StreamFields& fields);
    // Merges the frequency, the local display and the outdoor mode into the
    // camera's own settings, read just before, so everything else the camera
    // has goes back as read.
    static std::optional<Step> SetImaging(const device::ImageSettings* image);
    // Sends every value of the stream over the camera's own settings, read
    // just before, so what the camera keeps of its own goes back with them.
    static std::optional<Step> SetVideoStream(device::StreamKind kind,
                                              const device::StreamSettings* stream);
    // The new password, then (only where it was taken) a reboot logged in
    // with it. Over a connection without encryption the password goes only
    // with `consent` (Apply asks for it; none: never).
    std::vector<Step> ModifyPasswordAndReboot(const QString& user, const QString& newPassword,
                                              PlainConsent consent = {});
    static std::vector<Step> PasswordAndRebootSteps(jobs::CRebootQueue& reboots,
                                                    const QString& user, const QString& newPassword,
                                                    PlainConsent consent);

    // Whether a job's secrets may go to those of `devices` not known to
    // offer encryption: asked once per kind (sealed under the current
    // password, or in clear), nothing asked for a kind without cameras.
    void AskPlainSecrets(const std::vector<device::DeviceInfo>& devices, SecretConsent& consent);

    // Runs the steps as one job over the targets: 0 when no camera is
    // selected (message 90010) or there is nothing to do, else 1. In checked
    // mode a non-empty `what` (what will change, as the page names it) is
    // asked first, with the number of cameras; No sends nothing.
    int Apply(const std::string& name, std::vector<Step> steps, const std::wstring& what = {});
    // A checked-mode Save of the touched fields (`what` names them): with
    // nothing touched it says so (kNothingChanged) and returns 0.
    int ApplyChanges(const std::string& name, std::vector<Step> steps, const std::wstring& what);
    // One camera's part of such a job: the steps in order, where a refused
    // password stops the reboot that would follow it.
    static void RunSteps(const std::vector<Step>& steps, jobs::CameraRun& run);
    // The operations the steps report for every camera.
    static std::vector<std::string> ReportedOperations(const std::vector<Step>& steps);

    // Reads what the sub-pages show of the run's camera into `settings`.
    static void ReadSettings(jobs::CameraRun& run, ReadScope scope, DeviceSettings& settings);
    // A job that reads what the sub-pages show of `device` into `settings`.
    static jobs::JobSpec ReadJob(const device::DeviceInfo& device, const device::Credentials& login,
                                 ReadScope scope, std::shared_ptr<DeviceSettings> settings);

private:
    // Asks once for the job whether its secrets may go to cameras not known
    // to offer encryption; a job without secrets asks nothing.
    void askPlainConsent(const std::vector<Step>& steps,
                         const std::vector<device::DeviceInfo>& devices);
    std::vector<device::DeviceInfo> targets(const Message& none);

    IBatchHost& m_host;
    jobs::CRebootQueue& m_reboots;
};

} // namespace orv::batchset
