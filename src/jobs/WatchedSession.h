#pragma once
// A job's session that notes each setting it changes with the value it had
// before, for the site's history and its undo. Before a change the setting
// is read, unless the job read it already in the same session (a checked
// Save reads every camera's own settings anyway), so most changes cost no
// extra call; a failed read leaves the value before unknown and the change
// still goes ahead, as it would without the history.

#include "device/DeviceSession.h"
#include "device/SettingsRecord.h"

#include <memory>
#include <optional>
#include <vector>

namespace orv::jobs {

class CWatchedSession final : public device::IDeviceSession {
public:
    explicit CWatchedSession(std::unique_ptr<device::IDeviceSession> inner);

    // The changes noted since the last call, oldest first.
    std::vector<device::SettingChange> TakeChanges();

    const device::DeviceInfo& Device() const override { return m_inner->Device(); }
    bool Encrypted() const override { return m_inner->Encrypted(); }

    device::Result<device::TimeSettings> GetTime() override;
    device::Status SetTime(const device::TimeSettings& settings) override;
    // After an upgrade in this session, the version read completes the
    // upgrade's value after: the firmware the camera rebooted into.
    device::Result<QString> GetFirmwareVersion() override;
    device::Result<device::PortSettings> GetPorts() override;
    device::Status SetPorts(const device::PortSettings& settings) override;
    device::Result<device::DdnsSettings> GetDdns() override;
    device::Status SetDdns(const device::DdnsSettings& settings) override;
    device::Result<device::StreamSettings> GetStream(device::StreamKind kind) override;
    device::Status SetStream(device::StreamKind kind,
                             const device::StreamSettings& settings) override;
    device::Result<device::ImageSettings> GetImage() override;
    device::Status SetImage(const device::ImageSettings& settings) override;
    device::Result<device::PictureSettings> GetPicture() override;
    device::Status SetPicture(const device::PictureSettings& settings) override;
    device::Status SetName(const QString& name) override;
    device::Status ChangePassword(const QString& user, const QString& newPassword) override;
    device::Status Reboot() override;
    device::Status Restore() override;
    device::Status UpdateFirmware(const QString& path,
                                  const device::CancelCheck& cancelled) override;
    device::Status UploadOem(const QString& path, const device::CancelCheck& cancelled) override;
    device::Status StartLiveVideo(device::VideoTarget target) override {
        return m_inner->StartLiveVideo(std::move(target));
    }
    device::Status StopLiveVideo() override { return m_inner->StopLiveVideo(); }

private:
    // The last value of a setting this session read or set, as a record.
    template <class T>
    struct Known {
        std::optional<std::string> record;
    };
    template <class T, class Read>
    device::Result<T> read(Known<T>& known, Read read);
    template <class T, class Read, class Write>
    device::Status change(device::Setting setting, Known<T>& known, const T& value, Read read,
                          Write write);
    void note(device::Setting setting, std::optional<std::string> before,
              std::optional<std::string> after);

    std::unique_ptr<device::IDeviceSession> m_inner;
    Known<device::TimeSettings> m_time;
    Known<device::PortSettings> m_ports;
    Known<device::DdnsSettings> m_ddns;
    Known<device::StreamSettings> m_primary;
    Known<device::StreamSettings> m_secondary;
    Known<device::ImageSettings> m_image;
    Known<device::PictureSettings> m_picture;
    std::optional<std::string> m_name;
    std::vector<device::SettingChange> m_changes;
};

} // namespace orv::jobs
