#pragma once
// The tests' one device double: the maker's real driver (cameras on loopback
// or in the lab still answer every call) with a log of every call the
// program makes: which call, on which session, when, with what result, the
// login credentials, the upload paths and the last values sent, as the
// records the camera received.

#include "device/DriverSet.h"
#include "protocols/qv/QvDriver.h"
#include "protocols/qv/QvRecords.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RecordingDriver : public orv::device::IDeviceDriver {
public:
    struct Call {
        // The device API's name of the call: "Login", "SetPortInfo", ...
        std::string name;
        // The session's number, counted from 1; a failed login's is -1.
        int handle = 0;
        std::chrono::steady_clock::time_point at;
        // Login only.
        std::string ip;
        std::string user;
        std::string password;
        // 0, or -1 for a failure (a login's: its session's number or -1).
        int result = 0;
        orv::device::Fault fault = orv::device::Fault::Other; // of a failure
        std::string path;                                     // uploads only
    };

    RecordingDriver() { m_set.Add(*this); }

    // A driver set of this driver alone, for engines and pages.
    const orv::device::CDriverSet& Set() const { return m_set; }

    std::vector<Call> Calls() const {
        std::lock_guard lock(m_lock);
        return m_calls;
    }
    std::vector<Call> Calls(const std::string& name) const {
        std::vector<Call> out;
        for (const Call& call : Calls()) {
            if (call.name == name) {
                out.push_back(call);
            }
        }
        return out;
    }
    // The uploads, in call order.
    std::vector<Call> Uploads() const {
        std::vector<Call> out;
        for (const Call& call : Calls()) {
            if (!call.path.empty()) {
                out.push_back(call);
            }
        }
        return out;
    }
    void Clear() {
        std::lock_guard lock(m_lock);
        m_calls.clear();
    }
    // The last records sent (read them once the calls are done); every
    // stream record, in order; the name in the form its call sent.
    QvSystemDate lastDate{};
    QvVideoConfig lastVideo{};
    QvImagingConfig lastImaging{};
    QvImagingSettings lastPicture{};
    std::string lastName;
    std::vector<QvVideoConfig> sentStreams;
    // Live video, where a test plays the camera's part (the loopback
    // cameras serve no RTSP): set before any session opens.
    std::function<orv::device::Status(const orv::device::DeviceInfo&, orv::device::VideoTarget)>
        liveVideo;
    std::function<void(const orv::device::DeviceInfo&)> liveVideoStopped;

    orv::device::Protocol Kind() const override { return orv::device::Protocol::Maker; }
    std::optional<orv::device::Reach> ReachOf(const orv::device::DeviceInfo& d) const override {
        return m_real.ReachOf(d);
    }
    bool Takes(orv::device::TextField field, const QString& text) const override {
        return m_real.Takes(field, text);
    }
    void StartDiscovery(orv::device::IDiscoverySink&) override {}
    void StopDiscovery() override {}
    orv::device::Result<std::unique_ptr<orv::device::IDeviceSession>>
    Open(const orv::device::DeviceInfo& device,
         const orv::device::Credentials& credentials) override {
        auto opened = m_real.Open(device, credentials);
        Call call;
        call.name = "Login";
        call.handle = -1;
        call.ip = device.AddressText().toStdString();
        call.user = credentials.user.toStdString();
        call.password = credentials.password.toStdString();
        if (!opened) {
            call.result = -1;
            call.fault = opened.Error().fault;
            log(call);
            return opened.Error();
        }
        call.handle = call.result = ++m_sessions;
        log(call);
        return std::unique_ptr<orv::device::IDeviceSession>(
            new Session(*this, std::move(opened).Value(), call.handle));
    }

private:
    using Status = orv::device::Status;
    template <class T>
    using Result = orv::device::Result<T>;

    class Session final : public orv::device::IDeviceSession {
    public:
        Session(RecordingDriver& driver, std::unique_ptr<orv::device::IDeviceSession> real,
                int number)
            : m_driver(driver), m_real(std::move(real)), m_number(number) {}

        const orv::device::DeviceInfo& Device() const override { return m_real->Device(); }
        bool Encrypted() const override { return m_real->Encrypted(); }
        Result<orv::device::TimeSettings> GetTime() override {
            return log("GetSystemDate", m_real->GetTime());
        }
        Status SetTime(const orv::device::TimeSettings& s) override {
            m_driver.remember([&] { m_driver.lastDate = orv::qv::RecordOf(s); });
            return log("SetSystemDate", m_real->SetTime(s));
        }
        Result<QString> GetFirmwareVersion() override {
            return log("GetDeviceInfo", m_real->GetFirmwareVersion());
        }
        Result<orv::device::PortSettings> GetPorts() override {
            return log("GetPortInfo", m_real->GetPorts());
        }
        Status SetPorts(const orv::device::PortSettings& s) override {
            return log("SetPortInfo", m_real->SetPorts(s));
        }
        Result<orv::device::DdnsSettings> GetDdns() override {
            return log("GetDdns", m_real->GetDdns());
        }
        Status SetDdns(const orv::device::DdnsSettings& s) override {
            return log("SetDdns", m_real->SetDdns(s));
        }
        Result<orv::device::StreamSettings> GetStream(orv::device::StreamKind kind) override {
            return log("GetVideoConfig", m_real->GetStream(kind));
        }
        Status SetStream(orv::device::StreamKind kind,
                         const orv::device::StreamSettings& s) override {
            m_driver.remember([&] {
                m_driver.lastVideo = orv::qv::RecordOf(kind, s);
                m_driver.sentStreams.push_back(m_driver.lastVideo);
            });
            return log("SetVideoConfig", m_real->SetStream(kind, s));
        }
        Result<orv::device::ImageSettings> GetImage() override {
            return log("GetImagingConfig", m_real->GetImage());
        }
        Status SetImage(const orv::device::ImageSettings& s) override {
            m_driver.remember([&] { m_driver.lastImaging = orv::qv::RecordOf(s); });
            return log("SetImagingConfig", m_real->SetImage(s));
        }
        Result<orv::device::PictureSettings> GetPicture() override {
            return log("GetImagingSettings", m_real->GetPicture());
        }
        Status SetPicture(const orv::device::PictureSettings& s) override {
            m_driver.remember([&] { m_driver.lastPicture = orv::qv::RecordOf(s); });
            return log("SetImagingSettings", m_real->SetPicture(s));
        }
        Status SetName(const QString& name) override {
            m_driver.remember([&] { m_driver.lastName = orv::qv::NameForApi(name).value_or(""); });
            return log("SetDeviceName", m_real->SetName(name));
        }
        Status ChangePassword(const QString& user, const QString& newPassword) override {
            return log("ModifyPassword", m_real->ChangePassword(user, newPassword));
        }
        Status Reboot() override { return log("RebootSystem", m_real->Reboot()); }
        Status Restore() override { return log("RestoreSystem", m_real->Restore()); }
        Status UpdateFirmware(const QString& path,
                              const orv::device::CancelCheck& cancelled) override {
            return log("UpdateFirmware", m_real->UpdateFirmware(path, cancelled), path);
        }
        Status UploadOem(const QString& path, const orv::device::CancelCheck& cancelled) override {
            return log("UploadOemConfigFile", m_real->UploadOem(path, cancelled), path);
        }
        Status StartLiveVideo(orv::device::VideoTarget target) override {
            if (m_driver.liveVideo) {
                return log("LivePlay", m_driver.liveVideo(Device(), std::move(target)));
            }
            return log("LivePlay", m_real->StartLiveVideo(std::move(target)));
        }
        Status StopLiveVideo() override {
            if (m_driver.liveVideoStopped) {
                m_driver.liveVideoStopped(Device());
                return log("StopLivePlay", Status(orv::device::Done{}));
            }
            return log("StopLivePlay", m_real->StopLiveVideo());
        }

    private:
        template <class R>
        R log(const char* name, R result, const QString& path = {}) {
            Call call;
            call.name = name;
            call.handle = m_number;
            if (!result.Ok()) {
                call.result = -1;
                call.fault = result.Error().fault;
            }
            call.path = path.toStdString();
            m_driver.log(call);
            return result;
        }

        RecordingDriver& m_driver;
        std::unique_ptr<orv::device::IDeviceSession> m_real;
        const int m_number;
    };

    // Workers of several cameras call at once.
    template <class Fn>
    void remember(Fn fn) {
        std::lock_guard lock(m_lock);
        fn();
    }
    void log(Call call) {
        call.at = std::chrono::steady_clock::now();
        std::lock_guard lock(m_lock);
        m_calls.push_back(std::move(call));
    }

    orv::qv::CQvDriver m_real;
    orv::device::CDriverSet m_set;
    std::atomic<int> m_sessions{0};
    mutable std::mutex m_lock;
    std::vector<Call> m_calls;
};
