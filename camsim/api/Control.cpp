#include "api/Control.h"

#include "camsim/httpapi/TlsIdentity.h"

#include <poll.h>

#include <algorithm>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <set>

namespace camsim {

using nlohmann::json;

namespace {

// A request longer than this is not a control request.
constexpr std::size_t kMaxRequest = 64 * 1024;
// Longest a fault may hold an answer back; a test that wants longer is wrong.
constexpr long long kMaxFaultMs = 10 * 60 * 1000;
// Clients served at once; one more is told the channel is busy.
constexpr std::size_t kMaxClients = 64;
// A client that has not sent its request by then is dropped.
constexpr auto kRequestTime = std::chrono::seconds(2);

json failure(std::string text) {
    return {{"error", std::move(text)}};
}

} // namespace

std::optional<FaultPlan> faultPlanFromJson(const json& j, std::string& error) {
    if (!j.is_object()) {
        error = "\"faults\" must be an object";
        return std::nullopt;
    }
    static const std::set<std::string> known = {
        "refuse_credentials", "delay_ms",       "trickle_ms",  "stall_ms",
        "close_midway",       "malformed_json", "huge_answer", "fail_call",
        "refuse_call",        "http_down",      "silent",      "upload_rate"};
    FaultPlan plan;
    for (const auto& [key, value] : j.items()) {
        if (!known.count(key)) {
            error = "unknown fault \"" + key + "\"";
            return std::nullopt;
        }
        if (key == "fail_call" || key == "refuse_call") {
            if (!value.is_string()) {
                error = "\"" + key + "\" must be a route name";
                return std::nullopt;
            }
            (key == "fail_call" ? plan.failCall : plan.refuseCall) = value.get<std::string>();
        } else if (key == "upload_rate") {
            if (!value.is_number_integer() || value.get<long long>() < 1 ||
                value.get<long long>() > 1'000'000'000) {
                error = "\"upload_rate\" must be bytes per second from 1 to 1000000000";
                return std::nullopt;
            }
            plan.uploadBytesPerSecond = value.get<std::size_t>();
        } else if (key.ends_with("_ms")) {
            if (!value.is_number_integer() || value.get<long long>() < 1 ||
                value.get<long long>() > kMaxFaultMs) {
                error = "\"" + key + "\" must be a whole number from 1 to " +
                        std::to_string(kMaxFaultMs);
                return std::nullopt;
            }
            const std::chrono::milliseconds ms(value.get<long long>());
            if (key == "delay_ms") {
                plan.delay = ms;
            } else if (key == "trickle_ms") {
                plan.trickle = true;
                plan.trickleInterval = ms;
            } else {
                plan.stallAfterHeaders = true;
                plan.stallLimit = ms;
            }
        } else {
            if (!value.is_boolean()) {
                error = "\"" + key + "\" must be true or false";
                return std::nullopt;
            }
            const bool on = value.get<bool>();
            if (key == "refuse_credentials")
                plan.refuseCredentials = on;
            else if (key == "close_midway")
                plan.closeMidway = on;
            else if (key == "malformed_json")
                plan.malformedJson = on;
            else if (key == "http_down")
                plan.httpDown = on;
            else if (key == "silent")
                plan.silent = on;
            else
                plan.hugeAnswer = on;
        }
    }
    return plan;
}

json Control::describe(std::size_t index) {
    json camera = m_store.viewCamera(index, [](const Camera& c) { return toJson(c); });
    camera["number"] = index + 1;
    camera["rebooting"] = m_server.isRebooting(m_host.keyOf(index)) ||
                          (m_rebootingElsewhere && m_rebootingElsewhere(index));
    camera["uploadedBytes"] = m_server.uploadedBytes(m_host.keyOf(index));
    // The key stays inside the simulator; tests compare certificates by pin.
    m_store.viewCamera(index, [&camera](const Camera& c) {
        camera["tlsPort"] = tls::portOf(c.deviceConfig);
        const auto section = c.deviceConfig.find("tls");
        camera["tlsPin"] = section != c.deviceConfig.end() && section->is_object()
                               ? tls::pinOf(section->value("cert", ""))
                               : std::string();
    });
    if (auto config = camera.find("deviceConfig"); config != camera.end() && config->is_object() &&
                                                   config->contains("tls") &&
                                                   (*config)["tls"].is_object())
        (*config)["tls"].erase("key");
    return camera;
}

void Control::setFaults(std::size_t index, const FaultPlan& plan) {
    // The server keeps them under the camera's MAC: they follow it wherever
    // it moves.
    m_server.setFaults(m_host.keyOf(index), plan);
    if (m_onFaults)
        m_onFaults(index, plan);
}

std::string Control::handle(const std::string& requestLine) {
    const json request = json::parse(requestLine, nullptr, false);
    json answer;
    if (!request.is_object() || !request.contains("op") || !request["op"].is_string()) {
        answer = failure("a request is a JSON object with an \"op\"");
        return answer.dump();
    }
    const std::string op = request["op"].get<std::string>();
    std::optional<std::size_t> index;
    if (const auto it = request.find("camera"); it != request.end()) {
        if (!it->is_number_integer() || it->get<long long>() < 1 ||
            it->get<long long>() > static_cast<long long>(m_store.size()))
            return failure("\"camera\" must be a camera number from 1 to " +
                           std::to_string(m_store.size()))
                .dump();
        index = static_cast<std::size_t>(it->get<long long>() - 1);
    }
    if (op == "get") {
        if (index) {
            answer = {{"camera", describe(*index)}};
        } else {
            json all = json::array();
            for (std::size_t i = 0; i < m_store.size(); ++i)
                all.push_back(describe(i));
            answer = {{"cameras", std::move(all)}};
        }
    } else if (op == "faults") {
        if (!index)
            return failure("\"faults\" needs a \"camera\"").dump();
        std::string error;
        const auto plan = faultPlanFromJson(request.value("faults", json::object()), error);
        if (!plan)
            return failure(error).dump();
        setFaults(*index, *plan);
        answer = {{"ok", true}};
    } else if (op == "renew-identity" || op == "tls-port") {
        if (!index)
            return failure("\"" + op + "\" needs a \"camera\"").dump();
        const auto port = request.find("port");
        if (op == "tls-port" && (port == request.end() || !port->is_number_integer() ||
                                 port->get<long long>() < 0 || port->get<long long>() > 65535))
            return failure("\"port\" must be a whole number from 0 (no TLS) to 65535").dump();
        const bool done = m_store.withCamera(*index, [&](Camera& c) {
            const std::string name = tls::commonNameFor(macText(c.mac));
            return op == "tls-port" ? tls::setPort(c.deviceConfig, name, port->get<int>())
                                    : tls::renewIdentity(c.deviceConfig, name);
        });
        if (!done)
            return failure("cannot make a key and certificate").dump();
        // A port no camera offered TLS on before gets its listener.
        if (!m_server.refreshTls())
            return failure("cannot listen on every port of the cameras").dump();
        answer = {{"ok", true}, {"camera", describe(*index)}};
    } else if (op == "sync") {
        // Answered once the state file holds every change made before.
        std::string error;
        if (!m_store.sync(error))
            return failure(error).dump();
        answer = {{"ok", true}};
    } else {
        answer = failure("unknown op \"" + op + "\" (get, faults, renew-identity, tls-port, sync)");
    }
    return answer.dump();
}

bool ControlServer::start(const std::filesystem::path& path, Handler handler, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.empty() || text.size() >= sizeof address.sun_path) {
        error = "control socket path must have 1 to " +
                std::to_string(sizeof address.sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size());
    m_listen = qvsp::wire::UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    m_wake = qvsp::wire::UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    std::error_code ec;
    // Only a socket is replaced: a typo must not delete someone's file.
    if (std::filesystem::is_socket(path, ec))
        std::filesystem::remove(path, ec);
    if (!m_listen || !m_wake ||
        ::bind(m_listen.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(text.c_str(), 0600) != 0 || ::listen(m_listen.get(), SOMAXCONN) != 0) {
        error = "cannot open the control socket " + text + ": " + std::strerror(errno);
        m_listen.reset();
        return false;
    }
    m_path = path;
    m_handler = std::move(handler);
    m_thread = std::thread([this] { run(); });
    return true;
}

void ControlServer::stop() {
    if (!m_thread.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake.get(), &one, sizeof one);
    m_thread.join();
    m_listen.reset();
    std::error_code ec;
    std::filesystem::remove(m_path, ec);
}

struct ControlServer::Client {
    qvsp::wire::UniqueFd fd;
    std::string in;
    std::string out;
    std::size_t sent = 0;
    bool answered = false;
    // Answered before its request ended: the rest is read and dropped, so
    // that closing does not reset the connection under the answer.
    bool draining = false;
    std::chrono::steady_clock::time_point deadline;
};

void ControlServer::run() {
    std::list<Client> clients;
    for (;;) {
        std::vector<pollfd> fds = {{m_listen.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
        const auto now = std::chrono::steady_clock::now();
        int timeout = -1;
        for (const Client& c : clients) {
            const bool writing = c.answered && c.sent < c.out.size();
            fds.push_back({c.fd.get(), static_cast<short>(writing ? POLLOUT : POLLIN), 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(c.deadline - now).count();
            timeout = timeout < 0
                          ? static_cast<int>(std::max<long long>(0, left))
                          : std::min(timeout, static_cast<int>(std::max<long long>(0, left)));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        std::size_t i = 2;
        for (auto it = clients.begin(); it != clients.end(); ++i) {
            const short events = fds[i].revents;
            bool keep = true;
            if (events & (POLLERR | POLLHUP | POLLNVAL) && !(events & POLLIN))
                keep = false;
            else if (events & POLLIN)
                keep = onReadable(*it);
            else if (events & POLLOUT)
                keep = onWritable(*it);
            else if (std::chrono::steady_clock::now() >= it->deadline)
                keep = false;
            it = keep ? std::next(it) : clients.erase(it);
        }
        if (fds[0].revents & POLLIN) {
            qvsp::wire::UniqueFd fd(
                ::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (!fd)
                continue;
            Client client{std::move(fd),
                          {},
                          {},
                          0,
                          false,
                          false,
                          std::chrono::steady_clock::now() + kRequestTime};
            if (clients.size() >= kMaxClients) {
                client.out = failure("busy: too many control clients at once").dump() + "\n";
                client.answered = true;
            }
            clients.push_back(std::move(client));
        }
    }
}

namespace {

// A request the handler cannot take must not end the channel's thread.
std::string answerOf(const ControlServer::Handler& handler, const std::string& request) {
    try {
        return handler(request);
    } catch (const std::exception& e) {
        return failure(std::string("request failed: ") + e.what()).dump();
    }
}

} // namespace

bool ControlServer::onReadable(Client& client) {
    char buffer[4096];
    const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (client.draining)
        return n > 0;
    if (n > 0)
        client.in.append(buffer, static_cast<std::size_t>(n));
    const auto end = client.in.find('\n');
    std::string answer;
    if (end != std::string::npos) {
        client.in.resize(end);
        answer = answerOf(m_handler, client.in);
    } else if (client.in.size() > kMaxRequest) {
        answer = failure("request longer than " + std::to_string(kMaxRequest) + " bytes").dump();
        client.draining = true;
    } else if (n > 0) {
        return true;
    } else {
        // The client closed its side: what came is the request.
        answer = answerOf(m_handler, client.in);
    }
    client.out = answer + "\n";
    client.answered = true;
    // The answer may be large (every camera); it gets time to leave.
    client.deadline = std::chrono::steady_clock::now() + 5 * kRequestTime;
    return onWritable(client);
}

bool ControlServer::onWritable(Client& client) {
    while (client.sent < client.out.size()) {
        const ssize_t n = ::send(client.fd.get(), client.out.data() + client.sent,
                                 client.out.size() - client.sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        if (n <= 0)
            return false;
        client.sent += static_cast<std::size_t>(n);
    }
    if (!client.draining)
        return false;
    ::shutdown(client.fd.get(), SHUT_WR);
    return true;
}

} // namespace camsim
