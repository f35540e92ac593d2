#pragma once
// What the pages use of the main window (IAppServices), apart from the
// window itself: the default-credential edits, the Operating Information
// list and address changes through the program's drivers. The window
// makes it once its controls exist and hands it to every page; it knows no
// page.

#include "operations/common/AppServices.h"
#include "services/DeviceServices.h"

#include <memory>

class QLineEdit;
class QListWidget;

class CWindowServices final : public orv::IAppServices {
public:
    static constexpr int kMaxInfoLines = 100;

    CWindowServices(QLineEdit& user, QLineEdit& password, QListWidget& info,
                    orv::CDeviceServices& devices)
        : m_user(user), m_password(password), m_info(info), m_devices(devices) {}

    // Appends a line (window thread); beyond the last 100 the list starts
    // anew. A null text does nothing.
    void AddOperatingInfo(const wchar_t* text);
    void AddOperatingInfo(const QString& text) override;

    // Through the camera's driver; NotSupported where no driver can.
    orv::device::Status ChangeAddress(const orv::device::DeviceInfo& device,
                                      const orv::device::AddressChange& change,
                                      const orv::device::Credentials& credentials) override;

    // The trimmed Username/Password edit text.
    QString DefaultUserText() const override;
    QString DefaultPasswordText() const override;
    void SetDefaultPassword(const QString& password) override;
    bool KnownEncrypted(const orv::device::DeviceInfo& device) const override;
    bool TrustAgain(const orv::device::DeviceInfo& device) override;

private:
    QLineEdit& m_user;
    QLineEdit& m_password;
    QListWidget& m_info;
    orv::CDeviceServices& m_devices;
    // A selection of the newest line is on its way (shared with it).
    std::shared_ptr<bool> m_followPending = std::make_shared<bool>(false);
};
