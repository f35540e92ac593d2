#include "api/Control.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace camsim {

using nlohmann::json;

namespace {

// A request longer than this is not a control request.
constexpr std::size_t kMaxRequest = 64 * 1024;
// Longest a fault may hold an answer back; a test that wants longer is wrong.
constexpr long long kMaxFaultMs = 10 * 60 * 1000;

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
        "close_midway",       "malformed_json", "huge_answer", "fail_call"};
    FaultPlan plan;
    for (const auto& [key, value] : j.items()) {
        if (!known.count(key)) {
            error = "unknown fault \"" + key + "\"";
            return std::nullopt;
        }
        if (key == "fail_call") {
            if (!value.is_string()) {
                error = "\"fail_call\" must be a route name";
                return std::nullopt;
            }
            plan.failCall = value.get<std::string>();
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
            else
                plan.hugeAnswer = on;
        }
    }
    return plan;
}

json Control::describe(std::size_t index) {
    json camera = m_store.viewCamera(index, [](const Camera& c) { return toJson(c); });
    camera["number"] = index + 1;
    camera["rebooting"] = m_server.isRebooting(m_host.keyOf(index));
    return camera;
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
        // Faults belong to the address and port the camera answers at now.
        m_server.setFaults(m_host.keyOf(*index), *plan);
        answer = {{"ok", true}};
    } else {
        answer = failure("unknown op \"" + op + "\" (get, faults)");
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
        ::chmod(text.c_str(), 0600) != 0 || ::listen(m_listen.get(), 8) != 0) {
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

void ControlServer::run() {
    for (;;) {
        pollfd fds[2] = {{m_listen.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        if (fds[0].revents & POLLIN) {
            const qvsp::wire::UniqueFd client(
                ::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client)
                serveOne(client.get());
        }
    }
}

void ControlServer::serveOne(int client) {
    // A client that connects and says nothing must not hold the channel.
    const timeval limit{2, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string request;
    char buffer[4096];
    while (request.find('\n') == std::string::npos && request.size() < kMaxRequest) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    if (const auto end = request.find('\n'); end != std::string::npos)
        request.resize(end);
    const std::string answer = m_handler(request) + "\n";
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace camsim
