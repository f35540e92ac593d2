#include "onvif/OnvifServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <thread>

namespace camsim::onvif {

namespace {

bool endpoint(const sockaddr_storage& address, std::string& ip, int& port) {
    if (address.ss_family != AF_INET)
        return false;
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    char out[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &v4->sin_addr, out, sizeof out);
    ip = out;
    port = ntohs(v4->sin_port);
    return true;
}

// Resets the connection a request came on: a rebooting camera answers
// nothing, and the HTTP library only lets a handler write an answer.
void resetConnection(const httplib::Request& req) {
    struct Closer {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, Closer> dir(opendir("/proc/self/fd"));
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir.get())) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0')
            continue;
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        std::string localIp, peerIp;
        int localPort = 0, peerPort = 0;
        const int s = static_cast<int>(fd);
        if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
            getpeername(s, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            endpoint(local, localIp, localPort) && endpoint(peer, peerIp, peerPort) &&
            localPort == req.local_port && peerPort == req.remote_port &&
            localIp == req.local_addr && peerIp == req.remote_addr) {
            linger reset{1, 0};
            setsockopt(s, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            shutdown(s, SHUT_RDWR);
        }
    }
}

} // namespace

class OnvifServer::Impl {
public:
    Impl(OnvifService& service, std::string bindDevice, OnvifServerHooks hooks)
        : m_service(service), m_device(std::move(bindDevice)), m_hooks(std::move(hooks)) {}
    ~Impl() { stop(); }

    bool start() {
        std::signal(SIGPIPE, SIG_IGN);
        {
            std::lock_guard guard(m_jobLock);
            m_stopping = false;
        }
        m_worker = std::thread([this] { runJobs(); });
        return sync();
    }

    bool sync() {
        bool ok = true;
        for (const int port : m_service.ports())
            ok = listen(port) && ok;
        return ok;
    }

    bool syncCamera(std::size_t camera) { return listen(m_service.port(camera)); }

    void stop() {
        {
            std::lock_guard guard(m_jobLock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_worker.joinable())
            m_worker.join();
        std::map<int, std::unique_ptr<Listener>> listeners;
        {
            std::lock_guard guard(m_lock);
            listeners.swap(m_listeners);
        }
        for (auto& [port, l] : listeners)
            l->server.stop();
        for (auto& [port, l] : listeners)
            if (l->thread.joinable())
                l->thread.join();
    }

private:
    struct Listener {
        httplib::Server server;
        std::thread thread;
        int socket = -1;
    };
    using Job = std::pair<std::chrono::steady_clock::time_point, std::function<void()>>;

    void later(std::chrono::milliseconds delay, std::function<void()> job) {
        {
            std::lock_guard guard(m_jobLock);
            m_jobs.emplace_back(std::chrono::steady_clock::now() + delay, std::move(job));
        }
        m_wake.notify_all();
    }

    void runJobs() {
        std::unique_lock guard(m_jobLock);
        while (!m_stopping) {
            if (m_jobs.empty()) {
                m_wake.wait(guard);
                continue;
            }
            auto next =
                std::min_element(m_jobs.begin(), m_jobs.end(),
                                 [](const Job& a, const Job& b) { return a.first < b.first; });
            // A copy: the list may grow (and move) while this thread waits.
            const auto due = next->first;
            if (due > std::chrono::steady_clock::now()) {
                m_wake.wait_until(guard, due);
                continue;
            }
            auto job = std::move(next->second);
            m_jobs.erase(next);
            guard.unlock();
            job();
            guard.lock();
        }
    }

    bool listen(int port) {
        std::lock_guard guard(m_lock);
        if (m_listeners.count(port))
            return true;
        auto l = std::make_unique<Listener>();
        httplib::Server& server = l->server;
        server.new_task_queue = [] { return new httplib::ThreadPool(16); };
        server.set_tcp_nodelay(true);
        server.set_keep_alive_max_count(100000);
        // Longer than clients keep an idle connection (Node's agent: 5 s), so
        // the client closes first: a server that closes first races a
        // client reusing the connection, which then sees a hang-up.
        server.set_keep_alive_timeout(10);
        server.set_read_timeout(5, 0);
        server.set_write_timeout(5, 0);
        // SOAP requests are small; firmware images are not.
        server.set_payload_max_length(kOnvifMaxRequest);
        int* socketOut = &l->socket;
        const std::string device = m_device;
        server.set_socket_options([device, socketOut](int sock) {
            *socketOut = sock;
            int on = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            if (!device.empty())
                setsockopt(sock, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                           static_cast<socklen_t>(device.size()));
        });
        // Requests are dispatched on the Body's element: any path will do,
        // as clients post to whichever service address they hold.
        server.Post(
            ".*", [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); });
        if (!server.bind_to_port("0.0.0.0", port))
            return false;
        ::listen(l->socket, SOMAXCONN);
        l->thread = std::thread([&server] { server.listen_after_bind(); });
        for (int i = 0; i < 2000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_listeners.emplace(port, std::move(l));
        return true;
    }

public:
    HttpsTenantReply serveTls(const HttpsTenantRequest& req) {
        SoapRequest request;
        request.method = req.method;
        request.target = req.target;
        request.body = req.body;
        request.authorization = req.authorization;
        request.localIp = req.localIp;
        request.localPort = req.localPort;
        request.secure = true;
        SoapReply reply = answer(request, req.path);
        HttpsTenantReply out;
        out.status = reply.status;
        out.contentType = std::move(reply.contentType);
        out.body = std::move(reply.body);
        out.headers = std::move(reply.headers);
        out.chunked = reply.chunked;
        out.drop = reply.drop;
        return out;
    }

private:
    // The firmware image goes to the address StartFirmwareUpgrade gave; the
    // rest is dispatched on the Body. What the answer asks for follows it.
    SoapReply answer(const SoapRequest& request, std::string_view path) {
        SoapReply reply = path.rfind("/onvif/firmware/", 0) == 0 ? m_service.upload(request)
                                                                 : m_service.handle(request);
        if (!reply.drop)
            afterwards(reply);
        return reply;
    }

    void serve(const httplib::Request& req, httplib::Response& res) {
        SoapRequest request;
        request.method = req.method;
        request.target = req.target;
        request.body = req.body;
        const std::string authorization = req.get_header_value("Authorization");
        request.authorization = authorization;
        request.localIp = req.local_addr;
        request.localPort = req.local_port;
        SoapReply reply = answer(request, req.path);
        if (reply.drop) {
            resetConnection(req);
            res.status = 503;
            return;
        }
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            res.set_header(name, value);
        if (reply.chunked) {
            auto body = std::make_shared<std::string>(std::move(reply.body));
            res.set_chunked_content_provider(
                reply.contentType, [body](std::size_t offset, httplib::DataSink& sink) {
                    // Two chunks at least, as the cameras that do this send them.
                    const std::size_t half = std::max<std::size_t>(1, body->size() / 2);
                    if (offset < body->size())
                        sink.write(body->data() + offset, std::min(half, body->size() - offset));
                    if (offset + half >= body->size())
                        sink.done();
                    return true;
                });
        } else {
            res.set_content(reply.body, reply.contentType);
        }
    }

    void afterwards(const SoapReply& reply) {
        if (reply.reboot) {
            const std::size_t camera = *reply.reboot;
            m_service.startReboot(camera);
            if (m_hooks.reboot)
                m_hooks.reboot(camera);
        }
        if (reply.move) {
            // The answer leaves from the old address first.
            const PendingMove move = *reply.move;
            later(std::chrono::milliseconds(200), [this, move] {
                m_service.applyMove(move);
                if (m_hooks.changed)
                    m_hooks.changed(move.camera);
            });
        }
        if (reply.portsChanged || reply.announce) {
            const std::size_t camera = reply.announce.value_or(0);
            const bool ports = reply.portsChanged;
            const bool tls = reply.tlsChanged;
            later(std::chrono::milliseconds(100), [this, camera, ports, tls] {
                if (ports)
                    sync();
                if (tls && m_hooks.tlsChanged)
                    m_hooks.tlsChanged(camera);
                if (m_hooks.changed)
                    m_hooks.changed(camera);
            });
        }
    }

    OnvifService& m_service;
    const std::string m_device;
    OnvifServerHooks m_hooks;
    std::mutex m_lock;
    std::map<int, std::unique_ptr<Listener>> m_listeners;
    std::mutex m_jobLock;
    std::condition_variable m_wake;
    std::vector<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_worker;
};

OnvifServer::OnvifServer(OnvifService& service, std::string bindDevice, OnvifServerHooks hooks)
    : m_impl(std::make_unique<Impl>(service, std::move(bindDevice), std::move(hooks))) {}
OnvifServer::~OnvifServer() = default;
bool OnvifServer::start() {
    return m_impl->start();
}
bool OnvifServer::sync() {
    return m_impl->sync();
}
bool OnvifServer::syncCamera(std::size_t camera) {
    return m_impl->syncCamera(camera);
}
void OnvifServer::stop() {
    m_impl->stop();
}
HttpsTenantReply OnvifServer::serveTls(const HttpsTenantRequest& request) {
    return m_impl->serveTls(request);
}

} // namespace camsim::onvif
