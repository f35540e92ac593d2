#include "CameraRun.h"

#include <cstring>

namespace orv::jobs {

template <class Call, class Failed>
int CCameraLink::guarded(Call call, Failed failed) {
    if (m_gone) {
        return -1; // m_error still says why
    }
    const int result = call();
    m_error = failed(result) ? m_sdk.GetLastError() : QV_ERR_NONE;
    m_gone = m_error == QV_ERR_TIMEOUT;
    return result;
}

int CCameraLink::Login(const char* ip, int httpPort, const char* user, const char* password) {
    return guarded([&] { return m_sdk.Login(ip, httpPort, user, password); },
                   [](int handle) { return handle < 0; });
}
int CCameraLink::GetSystemDate(int h, QvSystemDate* r) {
    return guarded([&] { return m_sdk.GetSystemDate(h, r); });
}
int CCameraLink::SetSystemDate(int h, const QvSystemDate* r) {
    return guarded([&] { return m_sdk.SetSystemDate(h, r); });
}
int CCameraLink::GetPortInfo(int h, QvPortInfo* r) {
    return guarded([&] { return m_sdk.GetPortInfo(h, r); });
}
int CCameraLink::SetPortInfo(int h, const QvPortInfo* r) {
    return guarded([&] { return m_sdk.SetPortInfo(h, r); });
}
int CCameraLink::GetDdns(int h, QvDdnsInfo* r) {
    return guarded([&] { return m_sdk.GetDdns(h, r); });
}
int CCameraLink::SetDdns(int h, const QvDdnsInfo* r) {
    return guarded([&] { return m_sdk.SetDdns(h, r); });
}
int CCameraLink::GetVideoConfig(int h, QvVideoConfig* r) {
    return guarded([&] { return m_sdk.GetVideoConfig(h, r); });
}
int CCameraLink::SetVideoConfig(int h, const QvVideoConfig* r) {
    return guarded([&] { return m_sdk.SetVideoConfig(h, r); });
}
int CCameraLink::GetImagingConfig(int h, QvImagingConfig* r) {
    return guarded([&] { return m_sdk.GetImagingConfig(h, r); });
}
int CCameraLink::SetImagingConfig(int h, const QvImagingConfig* r) {
    return guarded([&] { return m_sdk.SetImagingConfig(h, r); });
}
int CCameraLink::GetImagingSettings(int h, QvImagingSettings* r) {
    return guarded([&] { return m_sdk.GetImagingSettings(h, r); });
}
int CCameraLink::SetImagingSettings(int h, const QvImagingSettings* r) {
    return guarded([&] { return m_sdk.SetImagingSettings(h, r); });
}
int CCameraLink::SetDeviceName(int h, const char* escapedName) {
    return guarded([&] { return m_sdk.SetDeviceName(h, escapedName); });
}
int CCameraLink::ModifyPassword(int h, const char* user, const char* newPassword) {
    return guarded([&] { return m_sdk.ModifyPassword(h, user, newPassword); });
}
int CCameraLink::RebootSystem(int h) {
    return guarded([&] { return m_sdk.RebootSystem(h); });
}
int CCameraLink::RestoreSystem(int h) {
    return guarded([&] { return m_sdk.RestoreSystem(h); });
}
int CCameraLink::UpdateFirmware(int h, const char* path) {
    return guarded([&] { return m_sdk.UpdateFirmware(h, path); });
}
int CCameraLink::UploadOemConfigFile(int h, const char* path) {
    return guarded([&] { return m_sdk.UploadOemConfigFile(h, path); });
}
int CCameraLink::LivePlay(int h, QvPlayInfo* play) {
    return guarded([&] { return m_sdk.LivePlay(h, play); });
}
int CCameraLink::StopLivePlay(int h) {
    // Stopping is local and always made.
    return m_sdk.StopLivePlay(h);
}

CameraRun::CameraRun(IDeviceSdk& sdk, JobId job, const tagQvIpcInfo& device,
                     const Credentials& credentials, const std::atomic<bool>& cancelled, Sink sink)
    : m_link(sdk), m_job(job), m_device(device), m_credentials(credentials), m_cancelled(cancelled),
      m_sink(std::move(sink)) {
    m_clock.start();
    // This worker's uploads stop when the job is cancelled.
    Qv_Sdk_SetCancelCheck(
        [](void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(&m_cancelled));
}

CameraRun::~CameraRun() {
    Qv_Sdk_SetCancelCheck(nullptr, nullptr);
}

int CameraRun::Handle() {
    if (!m_loggedIn) {
        m_loggedIn = true;
        m_handle = LoginAs(m_credentials.user, m_credentials.password);
        m_loginError = m_handle < 0 ? m_link.GetLastError() : 0;
    }
    return m_handle;
}

int CameraRun::LoginAs(const char* user, const char* password) {
    const std::string ip(m_device.IpAddr, strnlen(m_device.IpAddr, sizeof m_device.IpAddr));
    return m_link.Login(ip.c_str(), m_device.HttpPort, user, password);
}

bool CameraRun::Report(std::string_view operation, int result, bool upload) {
    if (result == 0) {
        emitResult(operation, Outcome::Succeeded, Reason::None, {});
        return true;
    }
    const int error = m_loggedIn && m_handle < 0 ? m_loginError : m_link.GetLastError();
    ReportFailure(operation, ReasonForSdkError(error, upload));
    return false;
}

void CameraRun::ReportFailure(std::string_view operation, Reason reason, std::string detail) {
    emitResult(operation, reason == Reason::Cancelled ? Outcome::Cancelled : Outcome::Failed,
               reason, std::move(detail));
}

void CameraRun::emitResult(std::string_view operation, Outcome outcome, Reason reason,
                           std::string detail) {
    OperationResult r;
    r.job = m_job;
    r.key = qv::IdOf(m_device);
    r.device = m_device;
    r.operation = operation;
    r.outcome = outcome;
    r.reason = reason;
    r.detail = std::move(detail);
    r.seconds = static_cast<double>(m_clock.elapsed()) / 1000.0;
    m_sink(std::move(r));
}

} // namespace orv::jobs
