#include "camsim/httpapi/DeviceApiServer.h"

#include "Digest.h"
#include "camsim/httpapi/CameraConfig.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace camsim {

using nlohmann::json;

namespace {

struct Runtime {
    FaultPlan faults;
    std::chrono::steady_clock::time_point silentUntil{};
    unsigned bootCount = 0;
};

bool endpointOf(const sockaddr_storage& address, std::string& ip, int& port) {
    if (address.ss_family != AF_INET) {
        return false;
    }
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(v4->sin_port);
    return true;
}

// Resets every connected socket of this process for which match(local ip,
// local port, peer ip, peer port) holds. The HTTP library keeps its sockets
// to itself; this is the only way to drop a connection without writing an
// answer first, or to end kept-alive connections at once when stopping.
template <typename Match>
void resetConnections(Match match) {
    struct DirCloser {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::unique_ptr<DIR, DirCloser> dir(opendir("/proc/self/fd"));
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0') {
            continue;
        }
        const int socket = static_cast<int>(fd);
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        std::string localIp;
        std::string peerIp;
        int localPort = 0;
        int peerPort = 0;
        if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            endpointOf(local, localIp, localPort) && endpointOf(peer, peerIp, peerPort) &&
            match(localIp, localPort, peerIp, peerPort)) {
            // Reset rather than close politely: a client in the middle of
            // sending must notice at once.
            linger reset{1, 0};
            setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            shutdown(socket, SHUT_RDWR);
        }
    }
}

void abortConnection(const httplib::Request& req) {
    resetConnections(
        [&req](const std::string& localIp, int localPort, const std::string& peerIp, int peerPort) {
            return localPort == req.local_port && peerPort == req.remote_port &&
                   localIp == req.local_addr && peerIp == req.remote_addr;
        });
}

std::string randomSecret() {
    unsigned char bytes[16] = {};
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

class Md5Stream {
public:
    Md5Stream() : m_ctx(EVP_MD_CTX_new()) {
        if (m_ctx) {
            EVP_DigestInit_ex(m_ctx.get(), EVP_md5(), nullptr);
        }
    }
    void add(const char* data, std::size_t length) {
        if (m_ctx) {
            EVP_DigestUpdate(m_ctx.get(), data, length);
        }
    }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE] = {};
        unsigned int length = 0;
        if (!m_ctx || EVP_DigestFinal_ex(m_ctx.get(), digest, &length) != 1) {
            return {};
        }
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string out;
        for (unsigned int i = 0; i < length; ++i) {
            out.push_back(kDigits[digest[i] >> 4]);
            out.push_back(kDigits[digest[i] & 0x0F]);
        }
        return out;
    }

private:
    struct Deleter {
        void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_MD_CTX, Deleter> m_ctx;
};

} // namespace

class DeviceApiServer::Impl {
public:
    Impl(DeviceApiHost& host, DeviceApiOptions options)
        : m_host(host), m_options(std::move(options)), m_secret(randomSecret()) {}

    ~Impl() { stop(); }

    bool start() {
        // A client that goes away mid-answer must not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        m_stopping = false;
        return sync();
    }

    bool sync() {
        std::set<int> ports;
        for (const auto& key : m_host.endpoints()) {
            ports.insert(key.port);
        }
        bool ok = true;
        for (const int port : ports) {
            ok = ensureListener(port) && ok;
        }
        return ok;
    }

    void stop() {
        {
            std::lock_guard guard(m_sleepLock);
            m_stopping = true;
        }
        m_wake.notify_all();
        std::map<int, std::unique_ptr<Listener>> listeners;
        {
            std::lock_guard guard(m_lock);
            listeners.swap(m_listeners);
        }
        for (auto& [port, listener] : listeners) {
            listener->server.stop();
        }
        // Kept-alive connections would hold their workers until they time out.
        resetConnections([&listeners](const std::string&, int localPort, const std::string&, int) {
            return listeners.count(localPort) != 0;
        });
        for (auto& [port, listener] : listeners) {
            if (listener->thread.joinable()) {
                listener->thread.join();
            }
        }
    }

    void setFaults(const CameraKey& key, FaultPlan plan) {
        std::lock_guard guard(m_lock);
        m_runtime[key].faults = std::move(plan);
    }

    void clearFaults(const CameraKey& key) { setFaults(key, FaultPlan{}); }

    bool isRebooting(const CameraKey& key) const {
        std::lock_guard guard(m_lock);
        const auto it = m_runtime.find(key);
        return it != m_runtime.end() && std::chrono::steady_clock::now() < it->second.silentUntil;
    }

private:
    struct Listener {
        httplib::Server server;
        std::thread thread;
    };

    using Call = std::function<api::Outcome(CameraState&, bool& changed)>;

    static CameraKey keyOf(const httplib::Request& req) { return {req.local_addr, req.local_port}; }

    Runtime runtimeOf(const CameraKey& key) const {
        std::lock_guard guard(m_lock);
        const auto it = m_runtime.find(key);
        return it == m_runtime.end() ? Runtime{} : it->second;
    }

    // Sleeps unless the server stops first; false when it stopped.
    bool sleepFor(std::chrono::milliseconds duration) {
        std::unique_lock guard(m_sleepLock);
        return !m_wake.wait_for(guard, duration, [this] { return m_stopping.load(); });
    }

    std::string nonceFor(const CameraKey& key, unsigned bootCount) const {
        // A new boot gives a new nonce, so clients see "stale" after a reboot.
        return digest::md5Hex(m_secret + key.ip + ":" + std::to_string(key.port) + ":" +
                              std::to_string(bootCount));
    }

    bool ensureListener(int port) {
        std::lock_guard guard(m_lock);
        if (m_listeners.count(port) != 0) {
            return true;
        }
        auto listener = std::make_unique<Listener>();
        configure(listener->server);
        if (!listener->server.bind_to_port(m_options.bindHost, port)) {
            return false;
        }
        httplib::Server* server = &listener->server;
        listener->thread = std::thread([server] { server->listen_after_bind(); });
        // A stop() that comes before the loop runs would be lost and leave the
        // thread listening for ever.
        for (int i = 0; i < 2000 && !server->is_running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_listeners.emplace(port, std::move(listener));
        return true;
    }

    void configure(httplib::Server& server) {
        const std::size_t workers =
            static_cast<std::size_t>(std::max(1, m_options.workersPerListener));
        // The library takes ownership of the queue it is handed.
        server.new_task_queue = [workers] {
            return std::make_unique<httplib::ThreadPool>(workers).release();
        };
        server.set_tcp_nodelay(true);
        server.set_keep_alive_max_count(100000);
        server.set_keep_alive_timeout(m_options.keepAliveSeconds);
        server.set_read_timeout(5, 0);
        server.set_write_timeout(5, 0);
        const std::string device = m_options.bindDevice;
        server.set_socket_options([device](int sock) {
            int on = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (!device.empty()) {
                setsockopt(sock, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                           static_cast<socklen_t>(device.size()));
            }
        });
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return preRoute(req, res);
        });
        routes(server);
    }

    httplib::Server::HandlerResponse preRoute(const httplib::Request& req, httplib::Response& res) {
        const CameraKey key = keyOf(req);
        const bool known = m_host.withCamera(key, [](CameraState&) { return false; });
        const Runtime runtime = runtimeOf(key);
        // No camera at this address, or one that is rebooting: silence.
        if (!known || std::chrono::steady_clock::now() < runtime.silentUntil) {
            abortConnection(req);
            res.status = 503;
            return httplib::Server::HandlerResponse::Handled;
        }
        if (runtime.faults.delay.count() > 0 && !sleepFor(runtime.faults.delay)) {
            abortConnection(req);
            res.status = 503;
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }

    // Checks the Digest answer; fills res with the challenge when refused.
    bool authenticate(const httplib::Request& req, httplib::Response& res, const CameraKey& key,
                      const Runtime& runtime) {
        std::string password;
        m_host.withCamera(key, [&](CameraState& camera) {
            password = camera.identity.adminPassword;
            return false;
        });
        const std::string nonce = nonceFor(key, runtime.bootCount);
        digest::Verdict verdict = digest::Verdict::Refused;
        if (!runtime.faults.refuseCredentials && req.has_header("Authorization")) {
            verdict =
                digest::verify(digest::parseAuthorization(req.get_header_value("Authorization")),
                               req.method, req.target, m_options.realm, "admin", password, nonce);
        }
        if (verdict == digest::Verdict::Accepted) {
            return true;
        }
        res.set_header("WWW-Authenticate", digest::challenge(m_options.realm, nonce,
                                                             verdict == digest::Verdict::Stale));
        respond(res, runtime.faults, api::error(401, "credentials refused"));
        return false;
    }

    void respond(httplib::Response& res, const FaultPlan& faults, const api::Outcome& outcome) {
        res.status = outcome.status;
        json answer = outcome.body;
        if (faults.hugeAnswer && outcome.status == 200) {
            answer["padding"] = std::string(std::size_t{1} << 20, 'x');
        }
        auto body = std::make_shared<std::string>(answer.dump());
        if (faults.malformedJson && outcome.status == 200) {
            // Cut in the middle of the text and followed by a stray byte.
            *body = body->substr(0, body->size() / 2) + "\x01";
        }
        const char* type = "application/json";
        if (faults.stallAfterHeaders) {
            const auto limit = faults.stallLimit;
            res.set_content_provider(body->size(), type,
                                     [this, limit](std::size_t, std::size_t, httplib::DataSink&) {
                                         sleepFor(limit);
                                         return false;
                                     });
        } else if (faults.closeMidway) {
            res.set_content_provider(
                body->size(), type,
                [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset > 0) {
                        return false;
                    }
                    return sink.write(body->data(), std::max<std::size_t>(1, body->size() / 2));
                });
        } else if (faults.trickle) {
            const auto interval = faults.trickleInterval;
            res.set_content_provider(
                body->size(), type,
                [this, body, interval](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return sleepFor(interval) && sink.write(body->data() + offset, 1);
                });
        } else {
            res.set_content(*body, type);
        }
    }

    // The common path of every configuration call.
    void serve(const httplib::Request& req, httplib::Response& res, const char* route,
               const Call& call) {
        const CameraKey key = keyOf(req);
        const Runtime runtime = runtimeOf(key);
        if (!authenticate(req, res, key, runtime)) {
            return;
        }
        if (runtime.faults.failCall == route) {
            respond(res, runtime.faults, api::error(500, "injected failure"));
            return;
        }
        api::Outcome outcome;
        int newPort = key.port;
        const bool found = m_host.withCamera(key, [&](CameraState& camera) {
            bool changed = false;
            outcome = call(camera, changed);
            newPort = camera.identity.httpPort;
            return changed;
        });
        if (!found) {
            abortConnection(req);
            return;
        }
        if (newPort != key.port) {
            moveRuntime(key, {key.ip, newPort});
            ensureListener(newPort);
        }
        respond(res, runtime.faults, outcome);
    }

    void moveRuntime(const CameraKey& from, const CameraKey& to) {
        std::lock_guard guard(m_lock);
        auto node = m_runtime.extract(from);
        if (!node.empty()) {
            node.key() = to;
            m_runtime.insert_or_assign(to, std::move(node.mapped()));
        }
    }

    void startSilence(const CameraKey& key) {
        {
            std::lock_guard guard(m_lock);
            Runtime& runtime = m_runtime[key];
            runtime.silentUntil = std::chrono::steady_clock::now() + m_options.rebootSilence;
            ++runtime.bootCount;
        }
        m_host.rebootStarted(key, m_options.rebootSilence);
    }

    static json parseBody(const httplib::Request& req) {
        return json::parse(req.body, nullptr, false);
    }

    void getRoute(httplib::Server& server, const char* path, const char* route,
                  api::Outcome (*get)(const CameraState&)) {
        server.Get(path, [this, route, get](const httplib::Request& req, httplib::Response& res) {
            serve(req, res, route, [get](CameraState& camera, bool&) { return get(camera); });
        });
    }

    void putRoute(httplib::Server& server, const char* path, const char* route,
                  api::Outcome (*set)(CameraState&, const json&)) {
        server.Put(path, [this, route, set](const httplib::Request& req, httplib::Response& res) {
            serve(req, res, route, [&req, set](CameraState& camera, bool& changed) {
                const json request = parseBody(req);
                if (!request.is_object()) {
                    return api::error(400, "body is not a JSON object");
                }
                api::Outcome outcome = set(camera, request);
                changed = outcome.status == 200;
                return outcome;
            });
        });
    }

    void routes(httplib::Server& server) {
        getRoute(server, "/api/v1/device", "device", api::deviceInfo);
        getRoute(server, "/api/v1/network/ports", "ports.get", api::getPorts);
        putRoute(server, "/api/v1/network/ports", "ports.set", api::setPorts);
        getRoute(server, "/api/v1/network/ddns", "ddns.get", api::getDdns);
        putRoute(server, "/api/v1/network/ddns", "ddns.set", api::setDdns);
        getRoute(server, "/api/v1/video/imaging", "imaging.get", api::getImaging);
        putRoute(server, "/api/v1/video/imaging", "imaging.set", api::setImaging);
        getRoute(server, "/api/v1/video/picture", "picture.get", api::getPicture);
        putRoute(server, "/api/v1/video/picture", "picture.set", api::setPicture);
        putRoute(server, "/api/v1/system/name", "name.set", api::setName);
        putRoute(server, "/api/v1/system/password", "password.set", api::setPassword);

        server.Get(
            "/api/v1/system/date", [this](const httplib::Request& req, httplib::Response& res) {
                const auto now = m_options.clock();
                serve(req, res, "date.get",
                      [now](CameraState& camera, bool&) { return api::getDate(camera, now); });
            });
        server.Put("/api/v1/system/date",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       const auto now = m_options.clock();
                       serve(req, res, "date.set", [&req, now](CameraState& camera, bool& changed) {
                           const json request = parseBody(req);
                           if (!request.is_object()) {
                               return api::error(400, "body is not a JSON object");
                           }
                           api::Outcome outcome = api::setDate(camera, request, now);
                           changed = outcome.status == 200;
                           return outcome;
                       });
                   });
        server.Get(R"(/api/v1/video/streams/(\d{1,3}))",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       const int stream = std::atoi(req.matches[1].str().c_str());
                       serve(req, res, "stream.get", [stream](CameraState& camera, bool&) {
                           return api::getStream(camera, stream);
                       });
                   });
        server.Put(R"(/api/v1/video/streams/(\d{1,3}))", [this](const httplib::Request& req,
                                                                httplib::Response& res) {
            const int stream = std::atoi(req.matches[1].str().c_str());
            serve(req, res, "stream.set", [&req, stream](CameraState& camera, bool& changed) {
                const json request = parseBody(req);
                if (!request.is_object()) {
                    return api::error(400, "body is not a JSON object");
                }
                api::Outcome outcome = api::setStream(camera, stream, request);
                changed = outcome.status == 200;
                return outcome;
            });
        });
        server.Post("/api/v1/system/reboot",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        serve(req, res, "reboot", [this](CameraState& camera, bool& changed) {
                            changed = api::applyPendingFirmware(camera);
                            api::Outcome outcome;
                            outcome.body = {{"silentMs", m_options.rebootSilence.count()}};
                            return outcome;
                        });
                        if (res.status == 200) {
                            startSilence(keyOf(req));
                        }
                    });
        server.Post("/api/v1/system/restore",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        serve(req, res, "restore", [this](CameraState& camera, bool& changed) {
                            api::restoreFactory(camera);
                            api::applyPendingFirmware(camera);
                            changed = true;
                            api::Outcome outcome;
                            outcome.body = {{"silentMs", m_options.rebootSilence.count()}};
                            return outcome;
                        });
                        if (res.status == 200) {
                            startSilence(keyOf(req));
                        }
                    });
        server.Put(
            "/api/v1/system/firmware",
            [this](const httplib::Request& req, httplib::Response& res,
                   const httplib::ContentReader& reader) { upload(req, res, reader, true); });
        server.Put("/api/v1/system/oem", [this](const httplib::Request& req, httplib::Response& res,
                                                const httplib::ContentReader& reader) {
            upload(req, res, reader, false);
        });
    }

    void upload(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& reader, bool firmware) {
        const CameraKey key = keyOf(req);
        const Runtime runtime = runtimeOf(key);
        const char* route = firmware ? "firmware" : "oem";
        const std::uint64_t declared =
            std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
        // Whatever the verdict, the body is read to its end first, so the
        // connection stays usable for the next call.
        const bool refused = !authenticate(req, res, key, runtime);
        const bool failed = !refused && runtime.faults.failCall == route;

        Md5Stream md5;
        std::uint64_t received = 0;
        std::string head;
        std::string content;
        bool cut = false;
        const bool complete = reader([&](const char* data, std::size_t length) {
            if (refused || failed) {
                return true;
            }
            if (runtime.faults.closeMidway && received + length >= declared / 2) {
                cut = true;
                abortConnection(req);
                return false;
            }
            md5.add(data, length);
            if (head.size() < 256) {
                head.append(data, std::min<std::size_t>(length, 256 - head.size()));
            }
            if (!firmware && received + length <= api::kMaxOemFileBytes) {
                content.append(data, length);
            }
            received += length;
            return true;
        });
        if (refused) {
            return;
        }
        if (failed) {
            respond(res, runtime.faults, api::error(500, "injected failure"));
            return;
        }
        if (!complete || cut || received != declared) {
            res.status = 400;
            return;
        }
        const std::string name = req.get_param_value("name");
        const std::string digestHex = md5.hex();
        api::Outcome outcome;
        m_host.withCamera(key, [&](CameraState& camera) {
            if (firmware) {
                if (const auto why = api::firmwareMismatch(name, received, camera.identity.model)) {
                    outcome = api::error(received > api::kMaxFirmwareBytes ? 413 : 422, *why);
                    return false;
                }
                const std::string version = api::nextVersion(head, camera.identity.version);
                api::storeFirmware(camera, name, received, digestHex, version);
                outcome.body = {{"pendingVersion", version}};
                return true;
            }
            if (received == 0 || received > api::kMaxOemFileBytes) {
                outcome = api::error(received == 0 ? 400 : 413, "OEM file empty or too large");
                return false;
            }
            api::storeOemFile(camera, name, received, digestHex, content);
            return true;
        });
        respond(res, runtime.faults, outcome);
    }

    DeviceApiHost& m_host;
    const DeviceApiOptions m_options;
    const std::string m_secret;
    mutable std::mutex m_lock; // m_runtime, m_listeners
    std::map<CameraKey, Runtime> m_runtime;
    std::map<int, std::unique_ptr<Listener>> m_listeners;
    std::mutex m_sleepLock;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
};

DeviceApiServer::DeviceApiServer(DeviceApiHost& host, DeviceApiOptions options)
    : m_impl(std::make_unique<Impl>(host, std::move(options))) {}

DeviceApiServer::~DeviceApiServer() = default;

bool DeviceApiServer::start() {
    return m_impl->start();
}
bool DeviceApiServer::sync() {
    return m_impl->sync();
}
void DeviceApiServer::stop() {
    m_impl->stop();
}
void DeviceApiServer::setFaults(const CameraKey& key, FaultPlan plan) {
    m_impl->setFaults(key, std::move(plan));
}
void DeviceApiServer::clearFaults(const CameraKey& key) {
    m_impl->clearFaults(key);
}
bool DeviceApiServer::isRebooting(const CameraKey& key) const {
    return m_impl->isRebooting(key);
}

} // namespace camsim
