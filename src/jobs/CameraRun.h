#pragma once
// One camera's part of a job, on a worker thread: it opens one session with
// the camera for every call of the job, and turns each operation's outcome
// into a report with the reason in words.

#include "JobTypes.h"
#include "LoginBook.h"
#include "WatchedSession.h"
#include "device/DriverSet.h"

#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace orv::jobs {

class CameraRun {
public:
    using Sink = std::function<void(OperationResult)>;

    CameraRun(const device::CDriverSet& drivers, JobId job, const device::DeviceInfo& device,
              const device::Credentials& credentials, const std::atomic<bool>& cancelled,
              Sink sink);
    CameraRun(const CameraRun&) = delete;
    CameraRun& operator=(const CameraRun&) = delete;

    const device::DeviceInfo& Device() const { return m_device; }
    // The camera's own passwords are tried before the job's login, and a
    // login that works tells `logins` (which outlives the run).
    void UseLogins(ILoginBook* logins) { m_logins = logins; }
    // The camera did not answer before its turn: every call of the job,
    // the login included, fails at once with `failure`.
    void GiveUp(const device::Failure& failure);
    bool Has(device::Capability capability) const { return m_device.capabilities.Has(capability); }

    // Makes one call on the job's session, which the first call opens. Once
    // the camera has let a call (the login included) run out of time, every
    // later call of the job fails at once with the same failure: a camera
    // that stopped answering costs one timeout per job, not one per call.
    template <class Call>
    auto Do(Call call) -> std::invoke_result_t<Call, device::IDeviceSession&>;
    // The job's session, shared (a reboot queued after the job uses it);
    // nothing when the camera refused the login or did not answer.
    std::shared_ptr<device::IDeviceSession> Session();
    // Opens the job's session: Done, or why the camera has none.
    device::Status Open();
    // A login with other credentials (a reboot with a new password).
    device::Result<std::shared_ptr<device::IDeviceSession>>
    OpenAs(const device::Credentials& credentials);

    // The job was cancelled; a long chain of calls may stop between them.
    bool Cancelled() const { return m_cancelled.load(); }
    const std::atomic<bool>& CancelFlag() const { return m_cancelled; }
    // For uploads, which stop sending when the job is cancelled.
    device::CancelCheck CancelCheck() const {
        return [flag = &m_cancelled] { return flag->load(); };
    }

    // False, after reporting `operation` as "not supported by this camera",
    // when the camera lacks `capability`.
    bool Can(device::Capability capability, std::string_view operation);
    // Reports an operation by its last call's outcome; whether it succeeded.
    bool Report(std::string_view operation, const device::Status& status);
    template <class T>
    bool Report(std::string_view operation, const device::Result<T>& result) {
        return Report(operation,
                      result ? device::Status(device::Done{}) : device::Status(result.Error()));
    }
    void ReportFailure(std::string_view operation, const device::Failure& failure);
    void ReportFailure(std::string_view operation, Reason reason, std::string detail = {});
    // A change made outside the job's session (an address changed through
    // discovery): it goes with the next reported operation.
    void NoteChange(device::SettingChange change) { m_noted.push_back(std::move(change)); }

private:
    void emitResult(std::string_view operation, Outcome outcome, Reason reason, std::string detail,
                    double limitSeconds = 0);
    // Remembers a call's failure when it means the camera is gone.
    void noteFailure(const device::Failure& failure);

    const device::CDriverSet& m_drivers;
    const JobId m_job;
    const device::DeviceInfo m_device;
    const device::Credentials m_credentials;
    const std::atomic<bool>& m_cancelled;
    Sink m_sink;
    ILoginBook* m_logins = nullptr;
    bool m_opened = false;
    std::shared_ptr<device::IDeviceSession> m_session;
    // The same session, which notes what each call changes.
    CWatchedSession* m_watched = nullptr;
    std::vector<device::SettingChange> m_noted;
    // Why every later call fails at once: a refused or timed-out login, or a
    // call that ran out of time.
    std::optional<device::Failure> m_blocked;
    QElapsedTimer m_clock;
};

template <class Call>
auto CameraRun::Do(Call call) -> std::invoke_result_t<Call, device::IDeviceSession&> {
    using Result = std::invoke_result_t<Call, device::IDeviceSession&>;
    const std::shared_ptr<device::IDeviceSession> session = Session();
    if (!session || m_blocked) {
        return Result(*m_blocked);
    }
    Result result = call(*session);
    if (!result.Ok()) {
        noteFailure(result.Error());
    }
    return result;
}

} // namespace orv::jobs
