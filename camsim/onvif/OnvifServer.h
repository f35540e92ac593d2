#pragma once
// The ONVIF services over HTTP: one listener per ONVIF port, which finds the
// camera by the local address a request arrived on (as the device API does).
// What an answer asks for once it has left (a reboot, a move, a port change)
// runs on a thread of the server's own.

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
};

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
    void stop();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace camsim::onvif
