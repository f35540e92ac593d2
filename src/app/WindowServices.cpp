#include "WindowServices.h"

#include "log/LogFile.h"

#include <QLineEdit>
#include <QListWidget>

void CWindowServices::AddOperatingInfo(const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    AddOperatingInfo(QString::fromWCharArray(text));
}

void CWindowServices::AddOperatingInfo(const QString& text) {
    if (m_info.count() > kMaxInfoLines) {
        m_info.clear();
    }
    m_info.addItem(text);
    m_info.setCurrentRow(m_info.count() - 1);
    m_info.scrollToBottom();
}

orv::device::Status CWindowServices::ChangeAddress(const orv::device::DeviceInfo& device,
                                                   const orv::device::AddressChange& change,
                                                   const orv::device::Credentials& credentials) {
    return m_devices.ChangeAddress(device, change, credentials);
}

bool CWindowServices::KnownEncrypted(const orv::device::DeviceInfo& device) const {
    return device.mac && m_devices.Trust().Find(*device.mac).has_value();
}

bool CWindowServices::TrustAgain(const orv::device::DeviceInfo& device) {
    const auto key = device.mac ? m_devices.Trust().Find(*device.mac) : std::nullopt;
    if (!key || !m_devices.Trust().Forget(*device.mac)) {
        return false;
    }
    WriteLog(0, "Trust again: %s at %s, trusted by key %s, forgotten by the window.",
             device.MacText().c_str(), device.AddressText().toStdString().c_str(),
             key->pin.c_str());
    return true;
}

QString CWindowServices::DefaultUserText() const {
    return m_user.text().trimmed();
}

QString CWindowServices::DefaultPasswordText() const {
    return m_password.text().trimmed();
}

void CWindowServices::SetDefaultPassword(const QString& password) {
    m_password.setText(password);
}
