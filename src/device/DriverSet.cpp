#include "DriverSet.h"

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

Result<std::unique_ptr<IDeviceSession>> CDriverSet::Open(const DeviceInfo& device,
                                                         const Credentials& credentials) const {
    IDeviceDriver* driver = For(device);
    if (driver == nullptr) {
        return Failure{Fault::NotSupported, "no driver speaks this camera's protocol"};
    }
    return driver->Open(device, credentials);
}

} // namespace orv::device
