#pragma once
// A control channel for tests and for a person at the lab: read a camera as
// it is stored and order faults from its device API. It listens on a Unix
// socket, which every network namespace of the machine can reach through
// the file system and nothing outside the machine can; one JSON line in,
// one JSON line out (see docs/camsim.md).

#include "api/StoreDeviceApiHost.h"
#include "camsim/httpapi/DeviceApiServer.h"
#include "camsim/httpapi/FaultPlan.h"
#include "core/CameraStore.h"

#include "qvsp/wire/UniqueFd.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace camsim {

// A fault plan from its control form; unknown keys and bad values are errors.
std::optional<FaultPlan> faultPlanFromJson(const nlohmann::json& j, std::string& error);

// The requests themselves, without the socket.
class Control {
public:
    // Told of every camera's new faults, for the parts outside the device
    // API (discovery falls silent with the camera).
    using FaultHook = std::function<void(std::size_t camera, const FaultPlan& plan)>;

    Control(CameraStore& store, StoreDeviceApiHost& host, DeviceApiServer& server,
            FaultHook onFaults = {})
        : m_store(store), m_host(host), m_server(server), m_onFaults(std::move(onFaults)) {}

    // Also rebooting, through a face the device API does not see (ONVIF).
    void setRebootingElsewhere(std::function<bool(std::size_t camera)> rebooting) {
        m_rebootingElsewhere = std::move(rebooting);
    }

    std::string handle(const std::string& requestLine);
    // Gives camera `index` the faults `plan`.
    void setFaults(std::size_t index, const FaultPlan& plan);

private:
    nlohmann::json describe(std::size_t index);

    CameraStore& m_store;
    StoreDeviceApiHost& m_host;
    DeviceApiServer& m_server;
    FaultHook m_onFaults;
    std::function<bool(std::size_t)> m_rebootingElsewhere;
};

// Serves one request per connection, many connections at once, on one
// thread of its own that stop() (or the destructor) ends and joins. A slow
// or silent client holds nobody else up.
class ControlServer {
public:
    using Handler = std::function<std::string(const std::string& request)>;

    ControlServer() = default;
    ~ControlServer() { stop(); }
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Replaces a stale socket file at `path`. False, with the reason, when
    // the socket cannot be made.
    bool start(const std::filesystem::path& path, Handler handler, std::string& error);
    void stop();

private:
    struct Client;
    void run();
    // Reads what arrived, answers a complete or oversized request; false
    // when the client is done.
    bool onReadable(Client& client);
    bool onWritable(Client& client);

    std::filesystem::path m_path;
    Handler m_handler;
    qvsp::wire::UniqueFd m_listen;
    qvsp::wire::UniqueFd m_wake;
    std::thread m_thread;
};

} // namespace camsim
