#include "CameraRun.h"

namespace orv::jobs {

CameraRun::CameraRun(const device::CDriverSet& drivers, JobId job, const device::DeviceInfo& device,
                     const device::Credentials& credentials, const std::atomic<bool>& cancelled,
                     Sink sink)
    : m_drivers(drivers), m_job(job), m_device(device), m_credentials(credentials),
      m_cancelled(cancelled), m_sink(std::move(sink)) {
    m_clock.start();
}

void CameraRun::GiveUp(const device::Failure& failure) {
    m_opened = true;
    m_blocked = failure;
}

std::shared_ptr<device::IDeviceSession> CameraRun::Session() {
    if (!m_opened) {
        m_opened = true;
        auto opened = OpenWithLogins(m_drivers, m_device, m_credentials, m_logins);
        if (opened) {
            auto watched = std::make_shared<CWatchedSession>(std::move(opened).Value());
            m_watched = watched.get();
            m_session = std::move(watched);
        } else {
            m_blocked = opened.Error();
        }
    }
    return m_session;
}

device::Result<std::unique_ptr<device::IDeviceSession>>
OpenWithLogins(const device::CDriverSet& drivers, const device::DeviceInfo& device,
               const device::Credentials& fallback, ILoginBook* logins) {
    if (logins == nullptr) {
        return drivers.Open(device, fallback);
    }
    std::optional<device::Failure> refused;
    for (const device::Credentials& login : logins->LoginsFor(device, fallback)) {
        auto opened = drivers.Open(device, login);
        if (opened) {
            logins->LoggedIn(device, login);
            return opened;
        }
        // Only a refused password is worth another: a camera that does not
        // answer would cost one timeout per login.
        if (opened.Error().fault != device::Fault::WrongCredentials) {
            return opened.Error();
        }
        refused = opened.Error();
    }
    return refused ? *refused : device::Failure{device::Fault::WrongCredentials, {}};
}

device::Status CameraRun::Open() {
    if (Session()) {
        return device::Done{};
    }
    return *m_blocked;
}

device::Result<std::shared_ptr<device::IDeviceSession>>
CameraRun::OpenAs(const device::Credentials& credentials) {
    if (m_blocked && m_blocked->fault == device::Fault::NoAnswer) {
        return *m_blocked;
    }
    auto opened = m_drivers.Open(m_device, credentials);
    if (!opened) {
        noteFailure(opened.Error());
        return opened.Error();
    }
    if (m_logins != nullptr) {
        m_logins->LoggedIn(m_device, credentials);
    }
    return std::shared_ptr<device::IDeviceSession>(std::move(opened).Value());
}

void CameraRun::noteFailure(const device::Failure& failure) {
    if (failure.fault == device::Fault::NoAnswer) {
        m_blocked = failure;
    }
}

bool CameraRun::Can(device::Capability capability, std::string_view operation) {
    if (Has(capability)) {
        return true;
    }
    ReportFailure(operation, Reason::NotSupported);
    return false;
}

bool CameraRun::Report(std::string_view operation, const device::Status& status) {
    if (status) {
        emitResult(operation, Outcome::Succeeded, Reason::None, {});
        return true;
    }
    ReportFailure(operation, status.Error());
    return false;
}

void CameraRun::ReportFailure(std::string_view operation, const device::Failure& failure) {
    const Reason reason = ReasonOf(failure.fault);
    emitResult(operation, reason == Reason::Cancelled ? Outcome::Cancelled : Outcome::Failed,
               reason, failure.detail, std::chrono::duration<double>(failure.limit).count());
}

void CameraRun::ReportFailure(std::string_view operation, Reason reason, std::string detail) {
    emitResult(operation, reason == Reason::Cancelled ? Outcome::Cancelled : Outcome::Failed,
               reason, std::move(detail));
}

void CameraRun::emitResult(std::string_view operation, Outcome outcome, Reason reason,
                           std::string detail, double limitSeconds) {
    OperationResult r;
    r.job = m_job;
    r.device = m_device;
    r.operation = operation;
    r.outcome = outcome;
    r.reason = reason;
    r.detail = std::move(detail);
    r.seconds = static_cast<double>(m_clock.elapsed()) / 1000.0;
    r.limitSeconds = limitSeconds;
    if (m_watched != nullptr) {
        r.changes = m_watched->TakeChanges();
    }
    for (device::SettingChange& change : m_noted) {
        r.changes.push_back(std::move(change));
    }
    m_noted.clear();
    m_sink(std::move(r));
}

} // namespace orv::jobs
