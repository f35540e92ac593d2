#include "camsim/httpapi/DeviceApiServer.h"

#include "Connections.h"
#include "Digest.h"
#include "Secrets.h"
#include "camsim/httpapi/CameraConfig.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/JsonLimits.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace camsim {

using nlohmann::json;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Every path of the device API is under this; over TLS, what is POSTed
// elsewhere belongs to the tenant (ONVIF, whose clients post to any path).
constexpr const char* kApiPaths = "/api/";
constexpr const char* kTenantPaths = "(?!/api/).*";

// The deepest request body of the API is a sealed value inside an object.
constexpr int kMaxRequestNesting = 4;

struct Runtime {
    FaultPlan faults;
    SteadyClock::time_point silentUntil{};
    std::uint64_t uploadedBytes = 0;
};

// Which methods a known path takes; empty for a path the API does not have.
std::string allowedMethods(const std::string& path) {
    static const std::map<std::string, std::string> kPaths = {{"/api/v1/device", "GET"},
                                                              {"/api/v1/tls", "GET"},
                                                              {"/api/v1/system/date", "GET, PUT"},
                                                              {"/api/v1/network/ports", "GET, PUT"},
                                                              {"/api/v1/network/ddns", "GET, PUT"},
                                                              {"/api/v1/video/imaging", "GET, PUT"},
                                                              {"/api/v1/video/picture", "GET, PUT"},
                                                              {"/api/v1/system/name", "PUT"},
                                                              {"/api/v1/system/password", "PUT"},
                                                              {"/api/v1/system/reboot", "POST"},
                                                              {"/api/v1/system/restore", "POST"},
                                                              {"/api/v1/system/nonce", "POST"},
                                                              {"/api/v1/system/firmware", "PUT"},
                                                              {"/api/v1/system/oem", "PUT"}};
    if (const auto it = kPaths.find(path); it != kPaths.end()) {
        return it->second;
    }
    static constexpr std::string_view kStreams = "/api/v1/video/streams/";
    const std::string_view rest =
        std::string_view(path).substr(path.rfind(kStreams, 0) == 0 ? kStreams.size() : path.size());
    if (!rest.empty() && rest.size() <= 3 &&
        rest.find_first_not_of("0123456789") == std::string_view::npos) {
        return "GET, PUT";
    }
    return {};
}

// The first number of a version text: images of one family replace each other.
std::string_view familyOf(std::string_view version) {
    return version.substr(0, version.find('.'));
}

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
        return qvipc::wire::hexOf(digest, length);
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
        : m_host(host), m_options(std::move(options)), m_nonces(m_options.nonceLifetime),
          m_sealNonces(m_options.sealNonceLifetime) {}

    ~Impl() { stop(); }

    bool start() {
        // A client that goes away mid-answer must not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        m_stopping = false;
        const bool plain = sync();
        return refreshTls() && plain;
    }

    bool sync() {
        // A camera may have moved to another HTTP port, which keys it: its
        // next TLS connection looks for it again at once.
        forgetTlsIndexAge();
        std::set<int> ports;
        for (const auto& key : m_host.endpoints()) {
            ports.insert(key.port);
        }
        bool ok = true;
        for (const int port : ports) {
            ok = ensureListener(port, false) && ok;
        }
        return ok;
    }

    // Every camera's TLS identity and port: a walk over all cameras, done at
    // start and when a TLS port or identity changed, never per request.
    bool refreshTls() {
        bool ok = true;
        for (const int port : rebuildTlsIndex(m_host.tlsEndpoints(), true)) {
            ok = ensureListener(port, true) && ok;
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
            for (auto& [port, listener] : m_tlsListeners) {
                listeners.emplace(port, std::move(listener));
            }
            m_tlsListeners.clear();
        }
        // Each ends its admission, resets its open connections and joins
        // its threads.
        for (auto& [port, listener] : listeners) {
            listener->connections->stop();
        }
    }

    void setHttpsTenant(std::size_t maxBody, HttpsTenant tenant) {
        m_tenantMaxBody = maxBody;
        m_tenant = std::move(tenant);
    }

    void setFaults(const CameraKey& key, FaultPlan plan) {
        const std::string id = idOf(key).value_or(textOf(key));
        std::lock_guard guard(m_lock);
        m_runtime[id].faults = std::move(plan);
    }

    void clearFaults(const CameraKey& key) { setFaults(key, FaultPlan{}); }

    bool isRebooting(const CameraKey& key) const {
        const auto id = idOf(key);
        return id && SteadyClock::now() < runtimeOf(*id).silentUntil;
    }

    std::uint64_t uploadedBytes(const CameraKey& key) const {
        const auto id = idOf(key);
        return id ? runtimeOf(*id).uploadedBytes : 0;
    }

    bool isSilent(const CameraKey& key) const {
        const auto id = idOf(key);
        if (!id) {
            return false;
        }
        const Runtime runtime = runtimeOf(*id);
        return SteadyClock::now() < runtime.silentUntil || runtime.faults.silent ||
               runtime.faults.httpDown;
    }

private:
    struct Listener {
        std::unique_ptr<RequestProcessor> processor;
        std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> tls{nullptr, SSL_CTX_free};
        std::unique_ptr<ConnectionListener> connections;
    };

    using Call = std::function<api::Outcome(CameraState&, bool& changed)>;

    // The camera a request is for: by the address and HTTP port it arrived
    // on, or over TLS by the address and the camera's TLS port.
    CameraKey keyOf(const httplib::Request& req) {
        if (isTlsPort(req.local_port)) {
            return tlsKeyOf(req.local_addr, req.local_port).value_or(CameraKey{req.local_addr, 0});
        }
        return {req.local_addr, req.local_port};
    }

    bool isTlsPort(int port) const {
        std::lock_guard guard(m_lock);
        return m_tlsListeners.count(port) != 0;
    }

    // Gives every camera at endpoints without one a TLS identity (when
    // identities is set) and files the cameras by address and TLS port.
    // Returns the TLS ports in use.
    std::set<int> rebuildTlsIndex(const std::vector<CameraKey>& endpoints, bool identities) {
        std::map<std::pair<std::string, int>, int> index;
        std::set<int> ports;
        for (const auto& key : endpoints) {
            int port = 0;
            m_host.withCamera(key, [&](CameraState& camera) {
                const bool changed =
                    identities &&
                    tls::ensureIdentity(camera.config, tls::commonNameFor(idFor(camera, key)),
                                        m_options.defaultTlsPort);
                port = tls::portOf(camera.config);
                return changed;
            });
            if (port > 0) {
                // The first camera of a shared address answers, as over HTTP.
                index.emplace(std::make_pair(key.ip, port), key.port);
                ports.insert(port);
            }
        }
        std::lock_guard guard(m_tlsLock);
        m_tlsIndex = std::move(index);
        m_tlsIndexBuilt = SteadyClock::now();
        return ports;
    }

    // Lets the next lookup that misses rebuild the index without waiting for
    // the rate limit below.
    void forgetTlsIndexAge() {
        std::lock_guard guard(m_tlsLock);
        m_tlsIndexBuilt = SteadyClock::time_point{};
    }

    // The camera offering TLS at ip and port; looked up again (at most ten
    // times a second) when a camera moved or changed its TLS port.
    std::optional<CameraKey> tlsKeyOf(const std::string& ip, int port) {
        for (const bool refresh : {false, true}) {
            if (refresh) {
                {
                    std::lock_guard guard(m_tlsLock);
                    if (SteadyClock::now() - m_tlsIndexBuilt < std::chrono::milliseconds(100)) {
                        break;
                    }
                }
                rebuildTlsIndex(m_host.tlsEndpoints(), false);
            }
            std::optional<CameraKey> key;
            {
                std::lock_guard guard(m_tlsLock);
                if (const auto it = m_tlsIndex.find({ip, port}); it != m_tlsIndex.end()) {
                    key = CameraKey{ip, it->second};
                }
            }
            bool offers = false;
            if (key &&
                m_host.withCamera(*key,
                                  [&](CameraState& camera) {
                                      offers = tls::portOf(camera.config) == port;
                                      return false;
                                  }) &&
                offers) {
                return key;
            }
        }
        return std::nullopt;
    }

    static std::string idFor(const CameraState& camera, const CameraKey& key) {
        return camera.identity.id.empty() ? textOf(key) : camera.identity.id;
    }

    struct ParsedIdentity {
        std::string certPem;
        std::unique_ptr<X509, decltype(&X509_free)> cert{nullptr, X509_free};
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
    };

    static int certificateCallback(SSL* ssl, void* self) {
        return static_cast<Impl*>(self)->chooseCertificate(ssl) ? 1 : 0;
    }

    // Presents the certificate of the camera whose address and TLS port the
    // connection arrived on. A connection to no such camera, or to one that
    // is silent, rebooting or whose web service is down, is reset.
    bool chooseCertificate(SSL* ssl) {
        const int fd = SSL_get_fd(ssl);
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        std::string ip;
        int port = 0;
        std::optional<CameraKey> key;
        if (fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
            endpointOf(local, ip, port)) {
            key = tlsKeyOf(ip, port);
        }
        std::optional<std::string> id = key ? idOf(*key) : std::nullopt;
        const Runtime runtime = id ? runtimeOf(*id) : Runtime{};
        std::string certPem;
        std::string keyPem;
        if (id && !(SteadyClock::now() < runtime.silentUntil || runtime.faults.silent ||
                    runtime.faults.httpDown)) {
            m_host.withCamera(*key, [&](CameraState& camera) {
                const json& section = camera.config["tls"];
                certPem = section.value("cert", "");
                keyPem = section.value("key", "");
                return false;
            });
        }
        if (!certPem.empty() && !cachedIdentity(*id, certPem)) {
            // A stored identity that cannot be read (a state file edited by
            // hand): the camera makes itself a new one, as a camera whose key
            // store was lost.
            auto fresh = parseIdentity(certPem, keyPem);
            if (!fresh.cert || !fresh.key ||
                X509_check_private_key(fresh.cert.get(), fresh.key.get()) != 1) {
                m_host.withCamera(*key, [&](CameraState& camera) {
                    if (!tls::renewIdentity(camera.config,
                                            tls::commonNameFor(idFor(camera, *key)))) {
                        return false;
                    }
                    certPem = camera.config["tls"].value("cert", "");
                    keyPem = camera.config["tls"].value("key", "");
                    return true;
                });
                fresh = parseIdentity(certPem, keyPem);
            }
            std::lock_guard guard(m_certLock);
            m_certs[*id] = std::move(fresh);
        }
        std::lock_guard guard(m_certLock);
        ParsedIdentity* parsed = nullptr;
        if (!certPem.empty()) {
            ParsedIdentity& cached = m_certs[*id];
            if (cached.certPem == certPem) {
                parsed = &cached;
            }
        }
        if (!parsed || !parsed->cert || !parsed->key ||
            SSL_use_certificate(ssl, parsed->cert.get()) != 1 ||
            SSL_use_PrivateKey(ssl, parsed->key.get()) != 1) {
            if (fd >= 0) {
                linger reset{1, 0};
                setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                shutdown(fd, SHUT_RDWR);
            }
            return false;
        }
        return true;
    }

    bool cachedIdentity(const std::string& id, const std::string& certPem) {
        std::lock_guard guard(m_certLock);
        const auto it = m_certs.find(id);
        return it != m_certs.end() && it->second.certPem == certPem && it->second.cert &&
               it->second.key;
    }

    static ParsedIdentity parseIdentity(const std::string& certPem, const std::string& keyPem) {
        ParsedIdentity parsed;
        parsed.certPem = certPem;
        std::unique_ptr<BIO, decltype(&BIO_free)> certBio(
            BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size())), BIO_free);
        std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(
            BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())), BIO_free);
        if (certBio && keyBio) {
            parsed.cert.reset(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
            parsed.key.reset(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
        }
        return parsed;
    }

    static bool setupTls(SSL_CTX& ctx, Impl* self) {
        SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
        // Renegotiation costs the camera a handshake per request of the
        // client's choosing; real cameras' servers refuse it too.
        SSL_CTX_set_options(&ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
        SSL_CTX_set_cert_cb(&ctx, certificateCallback, self);
        return true;
    }
    static std::string textOf(const CameraKey& key) {
        return key.ip + ":" + std::to_string(key.port);
    }

    // The camera's lasting identity; nothing when no camera is at key.
    // deviceApi, when given, tells whether the camera has the device API.
    std::optional<std::string> idOf(const CameraKey& key, bool* deviceApi = nullptr) const {
        std::string id;
        const bool found = m_host.withCamera(key, [&](CameraState& camera) {
            id = idFor(camera, key);
            if (deviceApi) {
                *deviceApi = camera.identity.deviceApi;
            }
            return false;
        });
        return found ? std::optional<std::string>(id) : std::nullopt;
    }

    Runtime runtimeOf(const std::string& id) const {
        std::lock_guard guard(m_lock);
        const auto it = m_runtime.find(id);
        return it == m_runtime.end() ? Runtime{} : it->second;
    }

    // Sleeps unless the server stops first; false when it stopped.
    bool sleepFor(std::chrono::milliseconds duration) {
        std::unique_lock guard(m_sleepLock);
        return !m_wake.wait_for(guard, duration, [this] { return m_stopping.load(); });
    }

    bool ensureListener(int port, bool tls) {
        std::lock_guard guard(m_lock);
        auto& listeners = tls ? m_tlsListeners : m_listeners;
        if (listeners.count(port) != 0) {
            return true;
        }
        auto listener = std::make_unique<Listener>();
        listener->processor = std::make_unique<RequestProcessor>();
        configure(*listener->processor, tls);
        std::function<bool(const sockaddr_in&)> accepts;
        if (tls) {
            listener->tls.reset(SSL_CTX_new(TLS_server_method()));
            if (!listener->tls || !setupTls(*listener->tls, this)) {
                return false;
            }
            // Like a closed port: no camera offers TLS at this address.
            accepts = [this, port](const sockaddr_in& local) {
                char ip[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &local.sin_addr, ip, sizeof ip);
                return tlsKeyOf(ip, port).has_value();
            };
        }
        AdmissionLimits limits;
        limits.headTimeout = m_options.headTimeout;
        limits.keepAlive = std::chrono::seconds(m_options.keepAliveSeconds);
        limits.perSource = static_cast<std::size_t>(std::max(1, m_options.connectionsPerClient));
        limits.maxConnections =
            static_cast<std::size_t>(std::max(1, m_options.connectionsPerListener));
        limits.workers = m_options.workersPerListener;
        listener->connections = std::make_unique<ConnectionListener>(
            *listener->processor, listener->tls.get(), limits, std::move(accepts));
        const std::string device = m_options.bindDevice;
        if (!listener->connections->open(m_options.bindHost, port, [&device](int sock) {
                if (!device.empty()) {
                    setsockopt(sock, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                               static_cast<socklen_t>(device.size()));
                }
            })) {
            return false;
        }
        listener->connections->start();
        listeners.emplace(port, std::move(listener));
        return true;
    }

    void configure(httplib::Server& server, bool tls) {
        // Only the Keep-Alive header's numbers: the connections are ours.
        server.set_keep_alive_max_count(100000);
        server.set_keep_alive_timeout(m_options.keepAliveSeconds);
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return preRoute(req, res);
        });
        // Every refusal carries {"error": ...}, also those the routing makes.
        server.set_error_handler(httplib::Server::HandlerWithResponse(
            [](const httplib::Request& req, httplib::Response& res) {
                if (!res.body.empty() || res.content_provider_) {
                    return httplib::Server::HandlerResponse::Unhandled;
                }
                std::string text = "request refused";
                if (res.status == 404) {
                    const std::string allowed = allowedMethods(req.path);
                    if (!allowed.empty()) {
                        res.status = 405;
                        res.set_header("Allow", allowed);
                        text = "method not allowed here";
                    } else {
                        text = "no such path";
                    }
                }
                res.set_content(json{{"error", text}}.dump(), "application/json");
                return httplib::Server::HandlerResponse::Handled;
            }));
        // No fault of a handler may end the process: it becomes a 500.
        server.set_exception_handler(
            [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
                std::string what = "unknown";
                try {
                    std::rethrow_exception(ep);
                } catch (const std::exception& e) {
                    what = e.what();
                } catch (...) {
                }
                std::cerr << "orvantix-camsim: " << req.method << " " << req.path
                          << " failed: " << what << '\n';
                res.status = 500;
                res.set_content(json{{"error", "internal failure"}}.dump(), "application/json");
            });
        routes(server);
        if (tls && m_tenant) {
            server.Post(kTenantPaths, [this](const httplib::Request& req, httplib::Response& res,
                                             const httplib::ContentReader& reader) {
                toTenant(req, res, reader);
            });
        }
    }

    bool forTenant(const httplib::Request& req) const {
        return m_tenant && req.method == "POST" && req.path.rfind(kApiPaths, 0) != 0 &&
               isTlsPort(req.local_port);
    }

    // The tenant answers for itself: whether the camera is there, silent or
    // down, who may call what. Only the body's size is the listener's.
    void toTenant(const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader& reader) {
        HttpsTenantRequest request;
        bool tooLarge = false;
        // A body too large is read to its end all the same (and dropped), so
        // that the connection stays usable, as the uploads do.
        const bool complete = reader([&](const char* data, std::size_t length) {
            tooLarge = tooLarge || request.body.size() + length > m_tenantMaxBody;
            if (tooLarge) {
                request.body.clear();
            } else {
                request.body.append(data, length);
            }
            return true;
        });
        if (tooLarge || !complete) {
            res.status = tooLarge ? 413 : 400;
            return;
        }
        request.method = req.method;
        request.target = req.target;
        request.path = req.path;
        request.authorization = req.get_header_value("Authorization");
        request.localIp = req.local_addr;
        request.localPort = req.local_port;
        HttpsTenantReply reply = m_tenant(request);
        if (reply.drop) {
            abortConnection(req);
            res.status = 503;
            return;
        }
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers) {
            res.set_header(name, value);
        }
        if (reply.chunked) {
            auto body = std::make_shared<std::string>(std::move(reply.body));
            res.set_chunked_content_provider(
                reply.contentType, [body](std::size_t offset, httplib::DataSink& sink) {
                    // Two chunks at least, as the cameras that do this send them.
                    const std::size_t half = std::max<std::size_t>(1, body->size() / 2);
                    if (offset < body->size()) {
                        sink.write(body->data() + offset, std::min(half, body->size() - offset));
                    }
                    if (offset + half >= body->size()) {
                        sink.done();
                    }
                    return true;
                });
        } else {
            res.set_content(reply.body, reply.contentType);
        }
    }

    httplib::Server::HandlerResponse preRoute(const httplib::Request& req, httplib::Response& res) {
        if (forTenant(req)) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        bool deviceApi = true;
        const auto id = idOf(keyOf(req), &deviceApi);
        const Runtime runtime = id ? runtimeOf(*id) : Runtime{};
        // No camera at this address, one that is rebooting or whose web
        // service is down: the connection ends without an answer.
        if (!id || SteadyClock::now() < runtime.silentUntil || runtime.faults.silent ||
            runtime.faults.httpDown ||
            (runtime.faults.delay.count() > 0 && !sleepFor(runtime.faults.delay))) {
            abortConnection(req);
            res.status = 503;
            return httplib::Server::HandlerResponse::Handled;
        }
        // Another maker's camera: its web server knows none of these paths.
        if (!deviceApi) {
            res.status = 404;
            res.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }

    // Checks the Digest answer; fills res with the challenge when refused.
    bool authenticate(const httplib::Request& req, httplib::Response& res, const CameraKey& key,
                      const std::string& id, const Runtime& runtime) {
        std::string password;
        m_host.withCamera(key, [&](CameraState& camera) {
            password = camera.identity.adminPassword;
            return false;
        });
        const auto now = SteadyClock::now();
        digest::Verdict verdict = digest::Verdict::Refused;
        if (!runtime.faults.refuseCredentials && req.has_header("Authorization")) {
            const std::string authorization = req.get_header_value("Authorization");
            verdict = digest::verify(
                {authorization, req.method, req.target, m_options.realm, "admin", password},
                m_nonces, id, req.remote_addr, now);
        }
        if (verdict == digest::Verdict::Accepted) {
            return true;
        }
        for (const auto& header :
             digest::challenges(m_options.realm, m_nonces.issue(id, req.remote_addr, now),
                                verdict == digest::Verdict::Stale)) {
            res.set_header("WWW-Authenticate", header);
        }
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
        const auto id = idOf(key);
        if (!id) {
            abortConnection(req);
            return;
        }
        const Runtime runtime = runtimeOf(*id);
        if (!authenticate(req, res, key, *id, runtime)) {
            return;
        }
        if (runtime.faults.failCall == route) {
            respond(res, runtime.faults, api::error(500, "injected failure"));
            return;
        }
        if (runtime.faults.refuseCall == route) {
            respond(res, runtime.faults, api::error(400, "value refused"));
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
            forgetTlsIndexAge();
            ensureListener(newPort, false);
        }
        respond(res, runtime.faults, outcome);
    }

public:
    void startSilence(const CameraKey& key) {
        const auto id = idOf(key);
        if (!id) {
            return;
        }
        {
            std::lock_guard guard(m_lock);
            m_runtime[*id].silentUntil = SteadyClock::now() + m_options.rebootSilence;
        }
        // A new boot: clients see their nonce go stale.
        m_nonces.forget(*id);
        m_host.rebootStarted(key, m_options.rebootSilence);
    }

private:
    // Request bodies are small objects; anything nested deeper is refused
    // before it is parsed.
    static json parseBody(const httplib::Request& req) {
        if (!qvipc::wire::jsonNestingWithin(req.body, kMaxRequestNesting)) {
            return json();
        }
        return json::parse(req.body, nullptr, false);
    }

    qvipc::wire::SealKey sealKey(const CameraState& camera) const {
        return {"admin", m_options.realm, camera.identity.adminPassword};
    }

    // Replaces the sealed value at field by its text. A text in clear, a
    // nonce not handed out (or used before) or a seal that does not open
    // is refused.
    std::optional<api::Outcome> unseal(json& request, const char* field, const char* purpose,
                                       const CameraState& camera, const std::string& id) {
        const auto it = request.find(field);
        const auto sealed = it == request.end() ? std::nullopt : secrets::sealedFromJson(*it);
        if (!sealed) {
            return api::error(400, std::string(field) + " must be sealed");
        }
        if (m_sealNonces.take(id, sealed->nonce, 1, SteadyClock::now()) !=
            digest::NonceBook::Use::Fresh) {
            return api::error(409, "nonce unknown, used before or expired");
        }
        const auto text = qvipc::wire::openSecret(sealKey(camera), *sealed, purpose);
        if (!text) {
            return api::error(400, std::string(field) + " does not open");
        }
        *it = *text;
        return std::nullopt;
    }

    void putSecretRoute(httplib::Server& server, const char* path, const char* route,
                        const char* field, api::Outcome (*set)(CameraState&, const json&)) {
        server.Put(path,
                   [this, route, field, set](const httplib::Request& req, httplib::Response& res) {
                       const auto id = idOf(keyOf(req)).value_or(std::string());
                       serve(req, res, route, [&](CameraState& camera, bool& changed) {
                           json request = parseBody(req);
                           if (!request.is_object()) {
                               return api::error(400, "body is not a JSON object");
                           }
                           if (auto refused = unseal(request, field, route, camera, id)) {
                               return *refused;
                           }
                           api::Outcome outcome = set(camera, request);
                           changed = outcome.status == 200;
                           return outcome;
                       });
                   });
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
        // Where the camera offers TLS: asked before any login, over plain
        // HTTP, so it needs no credentials.
        server.Get("/api/v1/tls", [this](const httplib::Request& req, httplib::Response& res) {
            const CameraKey key = keyOf(req);
            const auto id = idOf(key);
            if (!id) {
                abortConnection(req);
                return;
            }
            const Runtime runtime = runtimeOf(*id);
            int port = 0;
            m_host.withCamera(key, [&port](CameraState& camera) {
                port = tls::portOf(camera.config);
                return false;
            });
            api::Outcome outcome;
            if (runtime.faults.failCall == "tls") {
                outcome = api::error(500, "injected failure");
            } else if (port == 0) {
                outcome = api::error(404, "not offered");
            } else {
                outcome.body = {{"port", port}};
            }
            respond(res, runtime.faults, outcome);
        });
        getRoute(server, "/api/v1/device", "device", api::deviceInfo);
        getRoute(server, "/api/v1/network/ports", "ports.get", api::getPorts);
        putRoute(server, "/api/v1/network/ports", "ports.set", api::setPorts);
        // The DDNS password leaves sealed under a nonce of the camera's own.
        server.Get(
            "/api/v1/network/ddns", [this](const httplib::Request& req, httplib::Response& res) {
                serve(req, res, "ddns.get", [this](CameraState& camera, bool&) {
                    api::Outcome outcome = api::getDdns(camera);
                    const auto sealed =
                        qvipc::wire::sealSecret(sealKey(camera), qvipc::wire::randomHex(16),
                                                "ddns.get", outcome.body.value("password", ""));
                    if (!sealed) {
                        return api::error(500, "cannot seal");
                    }
                    outcome.body["password"] = secrets::toJson(*sealed);
                    return outcome;
                });
            });
        putSecretRoute(server, "/api/v1/network/ddns", "ddns.set", "password", api::setDdns);
        server.Post("/api/v1/system/nonce",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        const auto id = idOf(keyOf(req)).value_or(std::string());
                        serve(req, res, "nonce", [this, &id](CameraState&, bool&) {
                            api::Outcome outcome;
                            outcome.body = {{"nonce", m_sealNonces.issue(id, SteadyClock::now())},
                                            {"lifetimeMs", m_options.sealNonceLifetime.count()}};
                            return outcome;
                        });
                    });
        getRoute(server, "/api/v1/video/imaging", "imaging.get", api::getImaging);
        putRoute(server, "/api/v1/video/imaging", "imaging.set", api::setImaging);
        getRoute(server, "/api/v1/video/picture", "picture.get", api::getPicture);
        putRoute(server, "/api/v1/video/picture", "picture.set", api::setPicture);
        putRoute(server, "/api/v1/system/name", "name.set", api::setName);
        putSecretRoute(server, "/api/v1/system/password", "password.set", "password",
                       api::setPassword);

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
        const Runtime runtime = runtimeOf(idOf(key).value_or(std::string()));
        const char* route = firmware ? "firmware" : "oem";
        const std::uint64_t declared =
            std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
        // Whatever the verdict, the body is read to its end first, so the
        // connection stays usable for the next call.
        const auto id = idOf(key);
        if (!id) {
            abortConnection(req);
            return;
        }
        const bool refused = !authenticate(req, res, key, *id, runtime);
        const bool failed = !refused && runtime.faults.failCall == route;
        const auto rate = runtime.faults.uploadBytesPerSecond;
        const auto started = SteadyClock::now();

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
            if (rate > 0) {
                // A slow reader: the bytes so far may not have come sooner.
                const auto due =
                    started + std::chrono::milliseconds((received + length) * 1000 / rate);
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - SteadyClock::now());
                if (wait.count() > 0 && !sleepFor(wait)) {
                    return false;
                }
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
        {
            std::lock_guard guard(m_lock);
            m_runtime[*id].uploadedBytes += received;
        }
        if (refused) {
            return;
        }
        if (failed) {
            respond(res, runtime.faults, api::error(500, "injected failure"));
            return;
        }
        if (!complete || cut || received != declared) {
            respond(res, runtime.faults, api::error(400, "upload incomplete"));
            return;
        }
        if (runtime.faults.refuseCall == route) {
            respond(res, runtime.faults, api::error(400, "value refused"));
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
                if (familyOf(version) != familyOf(camera.identity.version)) {
                    outcome = api::error(422, "image of another firmware family");
                    return false;
                }
                api::storeFirmware(camera, name, received, digestHex, version);
                outcome.body = {{"pendingVersion", version},
                                {"silentMs", m_options.rebootSilence.count()}};
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
        // An accepted image installs at once: the camera reboots by itself
        // and comes back with the new version after the silence.
        if (firmware && outcome.status == 200) {
            m_host.withCamera(
                key, [](CameraState& camera) { return api::applyPendingFirmware(camera); });
            startSilence(key);
        }
    }

    DeviceApiHost& m_host;
    const DeviceApiOptions m_options;
    digest::NonceBook m_nonces;
    // Nonces for sealing secrets: each taken once, as nonce count 1.
    digest::NonceBook m_sealNonces;
    mutable std::mutex m_lock;                // m_runtime, m_listeners, m_tlsListeners
    std::map<std::string, Runtime> m_runtime; // by camera identity
    std::map<int, std::unique_ptr<Listener>> m_listeners;
    std::map<int, std::unique_ptr<Listener>> m_tlsListeners;
    // Cameras offering TLS by address and TLS port: their HTTP port.
    std::mutex m_tlsLock;
    std::map<std::pair<std::string, int>, int> m_tlsIndex;
    SteadyClock::time_point m_tlsIndexBuilt{};
    // Parsed certificates and keys by camera identity, parsed again when the
    // camera's certificate changed.
    std::mutex m_certLock;
    std::map<std::string, ParsedIdentity> m_certs;
    // Set before the listeners exist, read-only after.
    std::size_t m_tenantMaxBody = 0;
    HttpsTenant m_tenant;
    std::mutex m_sleepLock;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
};

DeviceApiServer::DeviceApiServer(DeviceApiHost& host, DeviceApiOptions options)
    : m_impl(std::make_unique<Impl>(host, std::move(options))) {}

DeviceApiServer::~DeviceApiServer() = default;

void DeviceApiServer::setHttpsTenant(std::size_t maxBody, HttpsTenant tenant) {
    m_impl->setHttpsTenant(maxBody, std::move(tenant));
}
bool DeviceApiServer::start() {
    return m_impl->start();
}
bool DeviceApiServer::sync() {
    return m_impl->sync();
}
bool DeviceApiServer::refreshTls() {
    return m_impl->refreshTls();
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
void DeviceApiServer::startReboot(const CameraKey& key) {
    m_impl->startSilence(key);
}
bool DeviceApiServer::isRebooting(const CameraKey& key) const {
    return m_impl->isRebooting(key);
}
std::uint64_t DeviceApiServer::uploadedBytes(const CameraKey& key) const {
    return m_impl->uploadedBytes(key);
}
bool DeviceApiServer::isSilent(const CameraKey& key) const {
    return m_impl->isSilent(key);
}

} // namespace camsim
