#pragma once
// The main window's services as a page sees them, recording what the page
// sends as the maker's driver puts it on the wire, so page tests can check
// each request byte for byte.

#include "operations/common/AppServices.h"
#include "protocols/qv/QvRecords.h"
#include "text/TextConv.h"

#include <QStringList>

#include <algorithm>
#include <vector>

class RecordingServices : public orv::IAppServices {
public:
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("kt7391");
    QStringList lines;
    std::vector<tagQvIpcInfo> requests;
    // Cameras met over TLS, and those a person trusted again.
    std::vector<orv::device::DeviceId> encrypted;
    std::vector<orv::device::DeviceId> trustedAgain;

    QString DefaultUserText() const override { return user.trimmed(); }
    QString DefaultPasswordText() const override { return password.trimmed(); }
    void SetDefaultPassword(const QString& text) override { password = text; }
    void AddOperatingInfo(const QString& text) override { lines << text; }
    orv::device::Status ChangeAddress(const orv::device::DeviceInfo& device,
                                      const orv::device::AddressChange& change,
                                      const orv::device::Credentials& credentials) override {
        const auto record = orv::qv::ModifyRequestOf(device, change, credentials);
        if (!record) {
            return orv::device::Fault::Refused;
        }
        requests.push_back(*record);
        return orv::device::Done{};
    }
    bool KnownEncrypted(const orv::device::DeviceInfo& device) const override {
        return std::find(encrypted.begin(), encrypted.end(), device.id) != encrypted.end();
    }
    bool TrustAgain(const orv::device::DeviceInfo& device) override {
        trustedAgain.push_back(device.id);
        return true;
    }
};
