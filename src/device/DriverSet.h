#pragma once
// The program's drivers, one per protocol. A camera is reached through the
// first protocol it answered that has a driver here: jobs, pages and the
// command line open sessions through this set and never name a driver.

#include "DeviceDriver.h"

#include <memory>
#include <vector>

namespace orv::device {

class CDriverSet {
public:
    // The set does not own the drivers; they outlive it.
    void Add(IDeviceDriver& driver);

    const std::vector<IDeviceDriver*>& All() const { return m_drivers; }
    // Whether every driver takes `text` whole in `field`.
    bool Takes(TextField field, const QString& text) const;
    // The longest beginning of `text` that every driver takes, never
    // splitting a character.
    QString Cut(TextField field, const QString& text) const;
    // Nothing when no protocol of the camera has a driver.
    IDeviceDriver* For(const DeviceInfo& device) const;
    // Where the camera's driver reaches it; nothing without a driver.
    std::optional<Reach> ReachOf(const DeviceInfo& device) const;
    // Fault::NotSupported when no protocol of the camera has a driver.
    Result<std::unique_ptr<IDeviceSession>> Open(const DeviceInfo& device,
                                                 const Credentials& credentials) const;

private:
    std::vector<IDeviceDriver*> m_drivers;
};

} // namespace orv::device
