#pragma once
// One protocol's way to cameras: it finds them, opens sessions with them
// and, where the protocol can, changes a camera's address without a login.
// Drivers are called from any thread; what they find arrives in a sink on
// the driver's own threads, in batches.

#include "DeviceInfo.h"
#include "DeviceResult.h"
#include "DeviceSession.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orv::device {

struct Credentials {
    QString user;
    QString password;
};

// What a driver reports from its discovery.
class IDiscoverySink {
public:
    virtual ~IDiscoverySink() = default;
    // Cameras that answered; a camera may come again with newer values.
    virtual void DevicesFound(std::vector<DeviceInfo> devices) = 0;
    // The outcome of an address change made without a login: the camera
    // with the values it asked for, and whether it took them or why not.
    virtual void AddressChangeDone(const DeviceInfo& requested, const Status& outcome) = 0;
    // A place the driver cannot search (an adapter without rights, gone).
    virtual void DiscoveryProblem(const QString& text) = 0;
};

// The texts a person types for a camera that a protocol may hold in fields
// of fixed size: the login (also a new password), the camera's name and the
// DDNS registration.
enum class TextField { User, Password, Name, DdnsUser, DdnsPassword, DdnsHost, DdnsHash };

struct AddressChange {
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    int httpPort = 0;
    QString name;
};

// Where a camera takes connections, and how long a connection may take
// before the driver gives the camera up: what its login would wait. A job
// asks all its cameras at once whether they answer there before their work.
struct Reach {
    std::uint32_t address = 0; // host order
    std::uint16_t port = 0;
    std::chrono::milliseconds connectLimit{0};
};

class IDeviceDriver {
public:
    virtual ~IDeviceDriver() = default;

    virtual Protocol Kind() const = 0;
    // Whether the protocol takes `text` whole in `field`. A protocol with
    // fixed-size fields says no to what it would have to cut, so a form
    // refuses the text by name before anything is sent.
    virtual bool Takes(TextField field, const QString& text) const {
        (void)field;
        (void)text;
        return true;
    }
    virtual void StartDiscovery(IDiscoverySink& sink) = 0;
    virtual void StopDiscovery() = 0;

    // Nothing where the driver cannot tell before its login.
    virtual std::optional<Reach> ReachOf(const DeviceInfo& device) const {
        (void)device;
        return std::nullopt;
    }

    // Logs in; the session lives until it is destroyed.
    virtual Result<std::unique_ptr<IDeviceSession>> Open(const DeviceInfo& device,
                                                         const Credentials& credentials) = 0;

    // Only for a driver whose cameras have Capability::AddressWithoutLogin:
    // sends the request; the outcome arrives in the discovery sink.
    virtual Status ChangeAddress(const DeviceInfo& device, const AddressChange& change,
                                 const Credentials& credentials) {
        (void)device;
        (void)change;
        (void)credentials;
        return Fault::NotSupported;
    }
};

} // namespace orv::device
