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
    // Whether every driver takes `text` whole in `field`: for a text that
    // may go to any camera (the default login).
    bool Takes(TextField field, const QString& text) const;
    // Whether the driver of each of `cameras` takes `text` whole in
    // `field`; every driver must for a camera without one, and for no
    // camera at all (a form before anything is picked). Another maker's
    // camera is not held to the maker's fixed-size fields.
    bool TakesFor(const std::vector<DeviceInfo>& cameras, TextField field,
                  const QString& text) const;
    // The longest beginning of `text` that the drivers of `cameras` take
    // (as TakesFor judges), never splitting a character.
    QString Cut(TextField field, const QString& text,
                const std::vector<DeviceInfo>& cameras = {}) const;
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
