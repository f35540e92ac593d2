#include "LabNetwork.h"

#include "SimControl.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::atomic<int> g_counter{0};

// Waits for `pid` up to `timeout`; true when it ended.
bool waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD))
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

pid_t spawn(const std::vector<std::string>& args, const std::string& logFile, int& status) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

} // namespace

std::string LabNetwork::run(const std::vector<std::string>& args) {
    int status = 0;
    const auto log = (m_dir / "commands.log").string();
    const pid_t pid = spawn(args, log, status);
    if (pid < 0)
        return "cannot start " + args[0] + ": " + std::strerror(status);
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    if (!WIFEXITED(ws) || WEXITSTATUS(ws) != 0) {
        std::string cmd;
        for (const auto& a : args)
            cmd += a + " ";
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return "command failed: " + cmd + "\n" + text.str();
    }
    return {};
}

std::string LabNetwork::runIn(const std::string& ns, std::vector<std::string> args) {
    args.insert(args.begin(), {"ip", "netns", "exec", ns});
    return run(args);
}

std::string LabNetwork::create(int adapters) {
    // A run that was killed (a CI timeout, a lost session) could not remove
    // its namespaces; the first lab of a process removes those of every
    // process that is gone. Their names carry the creator's process id.
    static std::once_flag swept;
    std::call_once(swept, [this] {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/var/run/netns", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("orvt-", 0) != 0 && name.rfind("orvc-", 0) != 0)
                continue;
            const std::string pid = name.substr(5, name.find('x', 5) - 5);
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
                std::filesystem::exists("/proc/" + pid, ec))
                continue;
            run({"ip", "netns", "del", name});
        }
    });
    char templ[] = "/tmp/orvlab-test.XXXXXX";
    if (!::mkdtemp(templ))
        return "mkdtemp failed";
    m_dir = templ;
    const std::string id = std::to_string(::getpid()) + "x" + std::to_string(g_counter++);
    m_toolNs = "orvt-" + id;
    m_camNs = "orvc-" + id;
    if (auto e = run({"ip", "netns", "add", m_toolNs}); !e.empty())
        return e;
    m_toolNsMade = true;
    if (auto e = run({"ip", "netns", "add", m_camNs}); !e.empty())
        return e;
    m_camNsMade = true;
    for (const auto& ns : {m_toolNs, m_camNs}) {
        for (const char* key :
             {"net.ipv6.conf.all.disable_ipv6=1", "net.ipv6.conf.default.disable_ipv6=1"})
            if (auto e = runIn(ns, {"sysctl", "-qw", key}); !e.empty())
                return e;
        if (auto e = run({"ip", "-n", ns, "link", "set", "lo", "up"}); !e.empty())
            return e;
    }
    std::string bridge;
    if (adapters > 1) {
        bridge = "ob" + id;
        if (auto e = run({"ip", "-n", m_camNs, "link", "add", bridge, "type", "bridge"});
            !e.empty())
            return e;
    }
    for (int i = 0; i < adapters; ++i) {
        const std::string tool = "ot" + id + static_cast<char>('a' + i);
        const std::string cam = "oc" + id + static_cast<char>('a' + i);
        const std::string pair = "0" + std::to_string(i); // adapters stay below ten
        const std::string toolMac = "02:4f:56:00:" + pair + ":01";
        const std::string camMac = "02:4f:56:00:" + pair + ":02";
        const std::string ip = "192.0.2." + std::to_string(1 + i * 2) + "/24";
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"ip", "link", "add", tool, "netns", m_toolNs, "address", toolMac, "type", "veth",
                  "peer", "name", cam, "netns", m_camNs, "address", camMac},
                 {"ip", "-n", m_toolNs, "addr", "add", ip, "dev", tool},
                 {"ip", "-n", m_toolNs, "link", "set", tool, "up"},
                 {"ip", "-n", m_camNs, "link", "set", cam, "up"}}) {
            if (auto e = run(args); !e.empty())
                return e;
        }
        if (!bridge.empty()) {
            if (auto e = run({"ip", "-n", m_camNs, "link", "set", cam, "master", bridge});
                !e.empty())
                return e;
        }
        m_toolIfs.push_back(tool);
        if (bridge.empty())
            m_simIf = cam;
    }
    if (!bridge.empty()) {
        if (auto e = run({"ip", "-n", m_camNs, "link", "set", bridge, "up"}); !e.empty())
            return e;
        m_simIf = bridge;
    }
    // From here on this thread, and every thread it starts, lives in the
    // tool namespace.
    m_homeNs = qvsp::wire::UniqueFd(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    qvsp::wire::UniqueFd toolNs(
        ::open(("/var/run/netns/" + m_toolNs).c_str(), O_RDONLY | O_CLOEXEC));
    if (!m_homeNs || !toolNs || ::setns(toolNs.get(), CLONE_NEWNET) != 0)
        return std::string("cannot enter the tool namespace: ") + std::strerror(errno);
    m_entered = true;
    return {};
}

std::string LabNetwork::setAdapterUp(int i, bool up) {
    return run({"ip", "-n", m_toolNs, "link", "set", adapter(i), up ? "up" : "down"});
}

std::string LabNetwork::addAddress(int i, const std::string& cidr) {
    return run({"ip", "-n", m_toolNs, "addr", "add", cidr, "dev", adapter(i)});
}

std::string LabNetwork::routeRange(const std::string& toolAddress, const std::string& range) {
    if (m_toolIfs.size() != 1)
        return "a routed range needs a lab of one adapter";
    // The camera side's end of the link stands for the router: a fixed
    // neighbour entry, so no address needs to answer for it.
    const std::string router = "192.0.2.254";
    const std::string camMac = "02:4f:56:00:00:02";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"ip", "-n", m_toolNs, "addr", "add", toolAddress + "/32", "dev", adapter(0)},
             {"ip", "-n", m_toolNs, "neigh", "add", router, "lladdr", camMac, "dev", adapter(0),
              "nud", "permanent"},
             {"ip", "-n", m_toolNs, "route", "add", range, "via", router, "dev", adapter(0), "src",
              toolAddress}}) {
        if (auto e = run(args); !e.empty())
            return e;
    }
    return {};
}

std::string LabNetwork::removeAdapter(int i) {
    return run({"ip", "-n", m_toolNs, "link", "del", adapter(i)});
}

std::string LabNetwork::startSimulator(nlohmann::json config) {
    config["interface"] = m_simIf;
    config["state_file"] = (m_dir / "state.json").string();
    // state() asks the simulator to write what it holds before reading it.
    if (!config.contains("control_socket"))
        config["control_socket"] = (m_dir / "control.sock").string();
    m_control = config["control_socket"].get<std::string>();
    const auto ready = m_dir / "ready";
    std::filesystem::remove(ready);
    config["ready_file"] = ready.string();
    const auto configFile = m_dir / "camsim.json";
    std::ofstream(configFile) << config.dump(2);
    int status = 0;
    m_simPid =
        spawn({"ip", "netns", "exec", m_camNs, ORVANTIX_CAMSIM, "--config", configFile.string()},
              (m_dir / "camsim.log").string(), status);
    if (m_simPid < 0)
        return std::string("cannot start the simulator: ") + std::strerror(status);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(ready)) {
        int ws = 0;
        if (::waitpid(m_simPid, &ws, WNOHANG) == m_simPid) {
            m_simPid = -1;
            return "the simulator ended early:\n" + simulatorLog();
        }
        if (std::chrono::steady_clock::now() > end)
            return "the simulator did not become ready:\n" + simulatorLog();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

void LabNetwork::stopSimulator() {
    if (m_simPid <= 0)
        return;
    ::kill(m_simPid, SIGTERM);
    if (!waitFor(m_simPid, std::chrono::seconds(5))) {
        ::kill(m_simPid, SIGKILL);
        waitFor(m_simPid, std::chrono::seconds(5));
    }
    m_simPid = -1;
}

nlohmann::json LabNetwork::state() const {
    // A simulator that has ended wrote everything on its way out.
    if (m_simPid > 0)
        SimControlRequest(m_control, R"({"op": "sync"})");
    std::ifstream in(m_dir / "state.json");
    return nlohmann::json::parse(in, nullptr, false);
}

void LabNetwork::writeState(const nlohmann::json& state) const {
    std::ofstream(m_dir / "state.json") << state.dump(2);
}

std::string LabNetwork::simulatorLog() const {
    std::ifstream in(m_dir / "camsim.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool LabNetwork::addressLive(const std::string& ip, std::chrono::milliseconds timeout) {
    qvsp::wire::UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(9);
    if (!s || inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1)
        return false;
    if (::connect(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    if (errno != EINPROGRESS)
        return errno == ECONNREFUSED;
    pollfd p{s.get(), POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &len);
    return error == ECONNREFUSED || error == 0;
}

LabNetwork::~LabNetwork() {
    stopSimulator();
    if (m_entered)
        ::setns(m_homeNs.get(), CLONE_NEWNET);
    // Deleting a namespace takes its interfaces, bridge and addresses along.
    if (m_toolNsMade)
        run({"ip", "netns", "del", m_toolNs});
    if (m_camNsMade)
        run({"ip", "netns", "del", m_camNs});
    if (!m_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
}

nlohmann::json LabNetwork::BenchmarkRange() {
    return {{"first", "198.18.0.10"},
            {"last", "198.19.255.250"},
            {"netmask", "255.254.0.0"},
            {"gateway", "198.18.0.1"},
            {"dns", "198.18.0.1"}};
}
