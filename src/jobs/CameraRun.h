#pragma once
// One camera's part of a job, on a worker thread: it logs in once and keeps
// the handle for every call of the job, and turns each operation's result
// into a report with the reason in words.

#include "JobTypes.h"
#include "sdk/DeviceSdk.h"

#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <string_view>

namespace orv::jobs {

// The credentials a job logs in with, escaped as every text for a camera.
struct Credentials {
    char user[32] = {};
    char password[16] = {};
};

// The device calls of one camera within one job. Once the camera has let a
// call run out of time, every later call of the job fails at once with the
// same error: a camera that stopped answering costs one timeout per job, not
// one per call.
class CCameraLink final : public IDeviceSdk {
public:
    explicit CCameraLink(IDeviceSdk& sdk) : m_sdk(sdk) {}

    bool Gone() const { return m_gone; }

    int Login(const char* ip, int httpPort, const char* user, const char* password) override;
    int GetSystemDate(int h, QvSystemDate* r) override;
    int SetSystemDate(int h, const QvSystemDate* r) override;
    int GetPortInfo(int h, QvPortInfo* r) override;
    int SetPortInfo(int h, const QvPortInfo* r) override;
    int GetDdns(int h, QvDdnsInfo* r) override;
    int SetDdns(int h, const QvDdnsInfo* r) override;
    int GetVideoConfig(int h, QvVideoConfig* r) override;
    int SetVideoConfig(int h, const QvVideoConfig* r) override;
    int GetImagingConfig(int h, QvImagingConfig* r) override;
    int SetImagingConfig(int h, const QvImagingConfig* r) override;
    int GetImagingSettings(int h, QvImagingSettings* r) override;
    int SetImagingSettings(int h, const QvImagingSettings* r) override;
    int SetDeviceName(int h, const char* escapedName) override;
    int ModifyPassword(int h, const char* user, const char* newPassword) override;
    int RebootSystem(int h) override;
    int RestoreSystem(int h) override;
    int UpdateFirmware(int h, const char* path) override;
    int UploadOemConfigFile(int h, const char* path) override;
    int LivePlay(int h, QvPlayInfo* play) override;
    int StopLivePlay(int h) override;
    int GetLastError() override { return m_error; }

private:
    // Makes the call unless the camera is gone; `failed` tells a failure
    // from the call's result.
    template <class Call, class Failed>
    int guarded(Call call, Failed failed);
    template <class Call>
    int guarded(Call call) {
        return guarded(call, [](int result) { return result != 0; });
    }

    IDeviceSdk& m_sdk;
    int m_error = 0;
    bool m_gone = false;
};

class CameraRun {
public:
    using Sink = std::function<void(OperationResult)>;

    CameraRun(IDeviceSdk& sdk, JobId job, const tagQvIpcInfo& device,
              const Credentials& credentials, const std::atomic<bool>& cancelled, Sink sink);
    ~CameraRun();
    CameraRun(const CameraRun&) = delete;
    CameraRun& operator=(const CameraRun&) = delete;

    const tagQvIpcInfo& Device() const { return m_device; }
    // Every device call of the camera goes through here.
    IDeviceSdk& Sdk() { return m_link; }
    // The job's login: made on the first call, reused after; -1 when the
    // camera refused or did not answer.
    int Handle();
    // A login with other credentials (a reboot with a new password), or -1.
    int LoginAs(const char* user, const char* password);
    // The job was cancelled; a long chain of calls may stop between them.
    bool Cancelled() const { return m_cancelled.load(); }
    const std::atomic<bool>& CancelFlag() const { return m_cancelled; }

    // Reports an operation whose last call returned `result` (0: done). A
    // failure's reason is the last call's error, or the login's when there
    // was no handle. Returns whether it succeeded.
    bool Report(std::string_view operation, int result, bool upload = false);
    void ReportFailure(std::string_view operation, Reason reason, std::string detail = {});

private:
    void emitResult(std::string_view operation, Outcome outcome, Reason reason, std::string detail);

    CCameraLink m_link;
    const JobId m_job;
    const tagQvIpcInfo m_device;
    const Credentials m_credentials;
    const std::atomic<bool>& m_cancelled;
    Sink m_sink;
    bool m_loggedIn = false;
    int m_handle = -1;
    int m_loginError = 0;
    QElapsedTimer m_clock;
};

} // namespace orv::jobs
