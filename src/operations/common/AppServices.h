#pragma once
// What the pages use of the main window: the default credentials every
// device login and modify request carries, the Operating Information list
// and address changes without a login, sent through the camera's driver.

#include "device/DeviceDriver.h"

#include <QString>

#include <memory>
#include <string>

namespace orv {

class IAppServices {
public:
    virtual ~IAppServices() = default;

    // The Username/Password edit texts, trimmed.
    virtual QString DefaultUserText() const = 0;
    virtual QString DefaultPasswordText() const = 0;
    // Puts `password` into the Password edit, so later logins use it.
    virtual void SetDefaultPassword(const QString& password) = 0;

    virtual void AddOperatingInfo(const QString& text) = 0;
    // The outcome arrives with the lists' discovery (modify done or failed);
    // a failure here means the request never left.
    virtual device::Status ChangeAddress(const device::DeviceInfo& device,
                                         const device::AddressChange& change,
                                         const device::Credentials& credentials) = 0;

    // The camera was met over TLS and is trusted by its key, so a secret
    // sent to it stays private.
    virtual bool KnownEncrypted(const device::DeviceInfo& device) const = 0;
    // A person's "trust again": forgets the key the camera was trusted by,
    // so its next login trusts the key it shows; logged. False when none
    // was kept.
    virtual bool TrustAgain(const device::DeviceInfo& device) = 0;
};

// Appends a result line made in the system code page (at most 259
// characters) to the Operating Information list.
void AddResultLine(IAppServices& app, const std::string& line);

} // namespace orv
