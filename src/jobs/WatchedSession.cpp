#include "WatchedSession.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace orv::jobs {

namespace {

std::string fileRecord(const QString& path) {
    return QJsonDocument(QJsonObject{{"file", QFileInfo(path).fileName()}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

} // namespace

CWatchedSession::CWatchedSession(std::unique_ptr<device::IDeviceSession> inner)
    : m_inner(std::move(inner)) {}

std::vector<device::SettingChange> CWatchedSession::TakeChanges() {
    return std::exchange(m_changes, {});
}

void CWatchedSession::note(device::Setting setting, std::optional<std::string> before,
                           std::optional<std::string> after) {
    m_changes.push_back({setting, std::move(before), std::move(after)});
}

template <class T, class Read>
device::Result<T> CWatchedSession::read(Known<T>& known, Read read) {
    device::Result<T> value = read();
    if (value) {
        known.record = device::RecordOf(value.Value());
    }
    return value;
}

template <class T, class Read, class Write>
device::Status CWatchedSession::change(device::Setting setting, Known<T>& known, const T& value,
                                       Read read, Write write) {
    if (!known.record) {
        (void)this->read(known, read);
    }
    std::optional<std::string> before = known.record;
    std::string after = device::RecordOf(value);
    const device::Status status = write();
    if (status) {
        known.record = after;
    }
    note(setting, std::move(before), std::move(after));
    return status;
}

device::Result<device::TimeSettings> CWatchedSession::GetTime() {
    return read(m_time, [this] { return m_inner->GetTime(); });
}

device::Status CWatchedSession::SetTime(const device::TimeSettings& settings) {
    return change(
        device::Setting::Time, m_time, settings, [this] { return m_inner->GetTime(); },
        [&] { return m_inner->SetTime(settings); });
}

device::Result<QString> CWatchedSession::GetFirmwareVersion() {
    device::Result<QString> version = m_inner->GetFirmwareVersion();
    if (!version) {
        return version;
    }
    const auto upgrade =
        std::find_if(m_changes.rbegin(), m_changes.rend(), [](const device::SettingChange& c) {
            return c.setting == device::Setting::Firmware;
        });
    if (upgrade != m_changes.rend()) {
        QJsonObject after = QJsonDocument::fromJson(
                                QByteArray::fromStdString(upgrade->after.value_or(std::string())))
                                .object();
        after.insert(QStringLiteral("firmware"), version.Value());
        upgrade->after = QJsonDocument(after).toJson(QJsonDocument::Compact).toStdString();
    }
    return version;
}

device::Result<device::PortSettings> CWatchedSession::GetPorts() {
    return read(m_ports, [this] { return m_inner->GetPorts(); });
}

device::Status CWatchedSession::SetPorts(const device::PortSettings& settings) {
    return change(
        device::Setting::Ports, m_ports, settings, [this] { return m_inner->GetPorts(); },
        [&] { return m_inner->SetPorts(settings); });
}

device::Result<device::DdnsSettings> CWatchedSession::GetDdns() {
    return read(m_ddns, [this] { return m_inner->GetDdns(); });
}

device::Status CWatchedSession::SetDdns(const device::DdnsSettings& settings) {
    return change(
        device::Setting::Ddns, m_ddns, settings, [this] { return m_inner->GetDdns(); },
        [&] { return m_inner->SetDdns(settings); });
}

device::Result<device::StreamSettings> CWatchedSession::GetStream(device::StreamKind kind) {
    return read(kind == device::StreamKind::Primary ? m_primary : m_secondary,
                [this, kind] { return m_inner->GetStream(kind); });
}

device::Status CWatchedSession::SetStream(device::StreamKind kind,
                                          const device::StreamSettings& settings) {
    const bool primary = kind == device::StreamKind::Primary;
    return change(
        primary ? device::Setting::PrimaryStream : device::Setting::SecondaryStream,
        primary ? m_primary : m_secondary, settings,
        [this, kind] { return m_inner->GetStream(kind); },
        [&] { return m_inner->SetStream(kind, settings); });
}

device::Result<device::ImageSettings> CWatchedSession::GetImage() {
    return read(m_image, [this] { return m_inner->GetImage(); });
}

device::Status CWatchedSession::SetImage(const device::ImageSettings& settings) {
    return change(
        device::Setting::Image, m_image, settings, [this] { return m_inner->GetImage(); },
        [&] { return m_inner->SetImage(settings); });
}

device::Result<device::PictureSettings> CWatchedSession::GetPicture() {
    return read(m_picture, [this] { return m_inner->GetPicture(); });
}

device::Status CWatchedSession::SetPicture(const device::PictureSettings& settings) {
    return change(
        device::Setting::Picture, m_picture, settings, [this] { return m_inner->GetPicture(); },
        [&] { return m_inner->SetPicture(settings); });
}

device::Status CWatchedSession::SetName(const QString& name) {
    // No camera is asked for its name alone: the name it answered discovery
    // with is the one before.
    std::string before = m_name.value_or(device::RecordOf(Device().name));
    std::string after = device::RecordOf(name);
    const device::Status status = m_inner->SetName(name);
    if (status) {
        m_name = after;
    }
    note(device::Setting::Name, std::move(before), std::move(after));
    return status;
}

device::Status CWatchedSession::ChangePassword(const QString& user, const QString& newPassword) {
    const device::Status status = m_inner->ChangePassword(user, newPassword);
    note(device::Setting::Password, std::nullopt, std::nullopt);
    return status;
}

device::Status CWatchedSession::Reboot() {
    // Not noted: a reboot is what a change asks for, not a change; the
    // operation's own result records it.
    return m_inner->Reboot();
}

device::Status CWatchedSession::Restore() {
    const device::Status status = m_inner->Restore();
    note(device::Setting::Restore, std::nullopt, std::nullopt);
    return status;
}

device::Status CWatchedSession::UpdateFirmware(const QString& path,
                                               const device::CancelCheck& cancelled) {
    const device::Status status = m_inner->UpdateFirmware(path, cancelled);
    note(device::Setting::Firmware,
         QJsonDocument(QJsonObject{{"firmware", Device().firmware}})
             .toJson(QJsonDocument::Compact)
             .toStdString(),
         fileRecord(path));
    return status;
}

device::Status CWatchedSession::UploadOem(const QString& path,
                                          const device::CancelCheck& cancelled) {
    const device::Status status = m_inner->UploadOem(path, cancelled);
    note(device::Setting::Oem, std::nullopt, fileRecord(path));
    return status;
}

} // namespace orv::jobs
