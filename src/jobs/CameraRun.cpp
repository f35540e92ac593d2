#include "CameraRun.h"

#include <cstring>

namespace orv::jobs {

CameraRun::CameraRun(IDeviceSdk& sdk, JobId job, const tagQvIpcInfo& device,
                     const Credentials& credentials, const std::atomic<bool>& cancelled, Sink sink)
    : m_sdk(sdk), m_job(job), m_device(device), m_credentials(credentials), m_cancelled(cancelled),
      m_sink(std::move(sink)) {
    m_clock.start();
}

int CameraRun::Handle() {
    if (!m_loggedIn) {
        m_loggedIn = true;
        m_handle = LoginAs(m_credentials.user, m_credentials.password);
        m_loginError = m_handle < 0 ? m_sdk.GetLastError() : 0;
    }
    return m_handle;
}

int CameraRun::LoginAs(const char* user, const char* password) {
    const std::string ip(m_device.IpAddr, strnlen(m_device.IpAddr, sizeof m_device.IpAddr));
    return m_sdk.Login(ip.c_str(), m_device.HttpPort, user, password);
}

bool CameraRun::Report(std::string_view operation, int result, bool upload) {
    if (result == 0) {
        emitResult(operation, Outcome::Succeeded, Reason::None);
        return true;
    }
    const int error = m_loggedIn && m_handle < 0 ? m_loginError : m_sdk.GetLastError();
    emitResult(operation, Outcome::Failed, ReasonForSdkError(error, upload));
    return false;
}

void CameraRun::ReportFailure(std::string_view operation, Reason reason) {
    emitResult(operation, reason == Reason::Cancelled ? Outcome::Cancelled : Outcome::Failed,
               reason);
}

void CameraRun::emitResult(std::string_view operation, Outcome outcome, Reason reason) {
    OperationResult r;
    r.job = m_job;
    r.key = DeviceKey::Of(m_device);
    r.device = m_device;
    r.operation = operation;
    r.outcome = outcome;
    r.reason = reason;
    r.seconds = static_cast<double>(m_clock.elapsed()) / 1000.0;
    m_sink(std::move(r));
}

} // namespace orv::jobs
