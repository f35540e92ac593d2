#include "WindowServices.h"

#include "log/LogFile.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

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
    // The newest line is selected and shown once per burst of lines: a job
    // over a thousand cameras writes its lines at once, and selecting and
    // scrolling to each of them in turn held the window for tens of ms.
    if (!*m_followPending) {
        *m_followPending = true;
        QTimer::singleShot(0, &m_info, [info = &m_info, pending = m_followPending] {
            *pending = false;
            info->setCurrentRow(info->count() - 1);
            info->scrollToBottom();
        });
    }
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
