#pragma once
// Which logins a job tries on a camera, and what it learns from the one that
// worked: a camera may have a password of its own, and a new one may wait
// for its first login (kept before the camera was changed, so that a tool
// killed halfway never loses it). Called on the workers.

#include "device/DeviceDriver.h"
#include "device/DeviceInfo.h"
#include "device/DriverSet.h"

#include <memory>

#include <vector>

namespace orv::jobs {

class ILoginBook {
public:
    virtual ~ILoginBook() = default;
    // The logins to try, in order, ending with `fallback` (the installer's
    // default login); none twice.
    virtual std::vector<device::Credentials> LoginsFor(const device::DeviceInfo& device,
                                                       const device::Credentials& fallback) = 0;
    // A login with `login` succeeded: a new password it was waiting for is
    // the camera's own from now on.
    virtual void LoggedIn(const device::DeviceInfo& device, const device::Credentials& login) = 0;
};

// A session with the first of the camera's logins it takes (just `fallback`
// without a book); only a refused password leads to the next one, so a
// camera that does not answer costs one timeout.
device::Result<std::unique_ptr<device::IDeviceSession>>
OpenWithLogins(const device::CDriverSet& drivers, const device::DeviceInfo& device,
               const device::Credentials& fallback, ILoginBook* logins);

} // namespace orv::jobs
