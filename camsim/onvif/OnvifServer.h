#pragma once
// The ONVIF services over HTTP: one listener per ONVIF port, which finds the
// camera by the local address a request arrived on (as the device API does).
// Over HTTPS the device API's TLS listener hands this server every POST
// outside its own /api/ (serveTls): a camera's web server has one TLS port
// and one certificate. What an answer asks for once it has left (a reboot, a move,
// a port change) runs on a thread of the server's own.

#include "camsim/httpapi/DeviceApiServer.h"
#include "onvif/OnvifService.h"

#include <functional>
#include <memory>
#include <string>

namespace camsim::onvif {

struct OnvifServerHooks {
    // A camera started a reboot through ONVIF: the other faces fall silent too.
    std::function<void(std::size_t camera)> reboot;
    // A camera's address, ports, name or scopes changed through ONVIF.
    std::function<void(std::size_t camera)> changed;
    // A camera's TLS port changed through ONVIF: the TLS listeners follow.
    std::function<void(std::size_t camera)> tlsChanged;
};

// How large a request may be (a firmware image), on either face.
inline constexpr std::size_t kOnvifMaxRequest = 64 * 1024 * 1024;

class OnvifServer {
public:
    OnvifServer(OnvifService& service, std::string bindDevice, OnvifServerHooks hooks = {});
    ~OnvifServer();
    OnvifServer(const OnvifServer&) = delete;
    OnvifServer& operator=(const OnvifServer&) = delete;

    // Listens on every ONVIF port of the service's cameras; false when one
    // cannot be bound.
    bool start();
    // Opens listeners for ports that appeared since.
    bool sync();
    // The same for one camera whose port changed: a job over thousands of
    // cameras must not look at every camera for each of them.
    bool syncCamera(std::size_t camera);
    void stop();

    // A request that reached a camera's TLS port (the device API's listener
    // passes it on): answered as on the ONVIF port, found by the TLS port.
    HttpsTenantReply serveTls(const HttpsTenantRequest& request);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace camsim::onvif
