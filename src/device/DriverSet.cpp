#include "DriverSet.h"

#include <algorithm>

namespace orv::device {

void CDriverSet::Add(IDeviceDriver& driver) {
    m_drivers.push_back(&driver);
}

bool CDriverSet::Takes(TextField field, const QString& text) const {
    for (const IDeviceDriver* driver : m_drivers) {
        if (!driver->Takes(field, text)) {
            return false;
        }
    }
    return true;
}

bool CDriverSet::TakesFor(const std::vector<DeviceInfo>& cameras, TextField field,
                          const QString& text) const {
    if (cameras.empty()) {
        return Takes(field, text);
    }
    std::vector<const IDeviceDriver*> asked;
    for (const DeviceInfo& camera : cameras) {
        const IDeviceDriver* driver = For(camera);
        if (driver == nullptr) {
            return Takes(field, text);
        }
        if (std::find(asked.begin(), asked.end(), driver) == asked.end()) {
            if (!driver->Takes(field, text)) {
                return false;
            }
            asked.push_back(driver);
        }
    }
    return true;
}

QString CDriverSet::Cut(TextField field, const QString& text,
                        const std::vector<DeviceInfo>& cameras) const {
    if (TakesFor(cameras, field, text)) {
        return text;
    }
    // A longer beginning never takes fewer bytes: the longest one taken is
    // found by halving.
    qsizetype taken = 0;
    qsizetype refused = text.size();
    while (refused - taken > 1) {
        const qsizetype middle = taken + (refused - taken) / 2;
        (TakesFor(cameras, field, text.left(middle)) ? taken : refused) = middle;
    }
    if (taken > 0 && text.at(taken - 1).isHighSurrogate()) {
        --taken;
    }
    return text.left(taken);
}

IDeviceDriver* CDriverSet::For(const DeviceInfo& device) const {
    for (const ServiceAddress& service : device.services) {
        for (IDeviceDriver* driver : m_drivers) {
            if (driver->Kind() == service.protocol) {
                return driver;
            }
        }
    }
    return nullptr;
}

std::optional<Reach> CDriverSet::ReachOf(const DeviceInfo& device) const {
    const IDeviceDriver* driver = For(device);
    return driver != nullptr ? driver->ReachOf(device) : std::nullopt;
}

Result<std::unique_ptr<IDeviceSession>> CDriverSet::Open(const DeviceInfo& device,
                                                         const Credentials& credentials) const {
    IDeviceDriver* driver = For(device);
    if (driver == nullptr) {
        return Failure{Fault::NotSupported, "no driver speaks this camera's protocol"};
    }
    return driver->Open(device, credentials);
}

} // namespace orv::device
