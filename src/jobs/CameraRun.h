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

class CameraRun {
public:
    using Sink = std::function<void(OperationResult)>;

    CameraRun(IDeviceSdk& sdk, JobId job, const tagQvIpcInfo& device,
              const Credentials& credentials, const std::atomic<bool>& cancelled, Sink sink);

    const tagQvIpcInfo& Device() const { return m_device; }
    IDeviceSdk& Sdk() { return m_sdk; }
    // The job's login: made on the first call, reused after; -1 when the
    // camera refused or did not answer.
    int Handle();
    // A login with other credentials (a reboot with a new password), or -1.
    int LoginAs(const char* user, const char* password);
    // The job was cancelled; a long chain of calls may stop between them.
    bool Cancelled() const { return m_cancelled.load(); }
    const std::atomic<bool>& CancelFlag() const { return m_cancelled; }

    // Reports an operation whose last call returned `result` (0: done). A
    // failure's reason is the SDK's last error on this thread, or the
    // login's when there was no handle. Returns whether it succeeded.
    bool Report(std::string_view operation, int result, bool upload = false);
    void ReportFailure(std::string_view operation, Reason reason);

private:
    void emitResult(std::string_view operation, Outcome outcome, Reason reason);

    IDeviceSdk& m_sdk;
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
