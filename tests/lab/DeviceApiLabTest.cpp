// The device SDK from the tool namespace against the simulator's device API
// in the camera namespace, over the lab's veth link; the discovery library
// watches the same cameras. Needs root; skipped otherwise.

#include "Capture.h"
#include "LabDiscovery.h"
#include "LabNetwork.h"
#include "SimControl.h"

#include "qvipcsdk/QvIpcSdk.h"
#include "qvsp/Qvsp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

namespace {

constexpr auto kSilence = 1500ms;
constexpr const char* kPassword = "s3cret";

json control(const std::string& path, const json& request) {
    return json::parse(SimControlRequest(path, request.dump()), nullptr, false);
}

std::string percentEncoded(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        char piece[4];
        std::snprintf(piece, sizeof piece, "%%%02X", c);
        out += piece;
    }
    return out;
}

template <typename Record>
bool sameBytes(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

void setText(char* field, std::size_t width, const json& text) {
    std::memset(field, 0, width);
    const auto s = text.get<std::string>();
    std::memcpy(field, s.data(), std::min(s.size(), width - 1));
}

// The DDNS record as the camera stored it, read from its state; built here
// independently of the SDK's own parser.
QvDdnsInfo storedDdns(const json& camera) {
    const json& d = camera["deviceConfig"]["ddns"];
    QvDdnsInfo r{};
    r.enable = d["enabled"].get<bool>() ? 1 : 0;
    setText(r.provider, sizeof r.provider, d["provider"]);
    setText(r.user, sizeof r.user, d["user"]);
    setText(r.password, sizeof r.password, d["password"]);
    setText(r.hash, sizeof r.hash, d["hash"]);
    setText(r.host, sizeof r.host, d["host"]);
    return r;
}

class ApiLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
        m_control = "/tmp/orvlab-ctl-" + std::to_string(::getpid()) + "-" +
                    std::to_string(s_count++) + ".sock";
        Qv_Sdk_SetTimeouts(2500, 5000);
    }

    void build(json config = json::object()) {
        ASSERT_EQ(m_lab.create(1), "");
        config["password"] = kPassword;
        config["reboot_silence_ms"] = kSilence.count();
        config["control_socket"] = m_control;
        if (!config.contains("cameras"))
            config["cameras"] = 3;
        ASSERT_EQ(m_lab.startSimulator(config), "");
    }

    void TearDown() override {
        if (HasFailure() && m_lab.simulatorPid() > 0)
            std::fprintf(stderr, "simulator log:\n%s\n", m_lab.simulatorLog().c_str());
        std::error_code ec;
        std::filesystem::remove(m_control, ec);
    }

    json camera(int number) {
        const json answer = control(m_control, {{"op", "get"}, {"camera", number}});
        EXPECT_TRUE(answer.contains("camera")) << answer.dump();
        return answer.value("camera", json::object());
    }

    static int login(const std::string& ip, int port = 80, const char* password = kPassword) {
        return Qv_Ipc_Login(ip.c_str(), "", port, "admin", password, 0);
    }

    static inline int s_count = 0;
    LabNetwork m_lab; // first, so that it goes last
    std::string m_control;
};

} // namespace

TEST_F(ApiLab, NamePortAndPasswordSetThroughTheSdkShowOnTheWire) {
    build();
    LabQvsp qvsp(200ms);
    LabEvents answers;
    ASSERT_TRUE(StartLabDiscovery(qvsp, m_lab.adapter(0), &LabEvents::callback, answers.user()));
    const auto first = answers.waitFor(
        [](const LabEvent& s) { return std::string(s.info.IpAddr) == "192.0.2.11"; }, 3s);
    ASSERT_TRUE(first);

    const int handle = login("192.0.2.11");
    ASSERT_GT(handle, 0);
    const std::string name = "Tor Ost ü 2";
    ASSERT_EQ(Qv_Ipc_SetDeviceName(handle, percentEncoded(name).c_str()), 0);
    ASSERT_EQ(Qv_Ipc_ModifyPassword(handle, "admin", "n3u"), 0);
    // Last: from here on the camera answers at its new port only.
    QvPortInfo ports{};
    ASSERT_EQ(Qv_Ipc_GetPortInfo(handle, &ports), 0);
    ports.httpPort = 8081;
    ASSERT_EQ(Qv_Ipc_SetPortInfo(handle, &ports), 0);
    const auto changed = Clock::now();

    const auto next = answers.waitFor(
        [&](const LabEvent& s) {
            return s.type == CAP_SEARCH_RESP && s.at > changed &&
                   std::memcmp(s.info.Mac, first->info.Mac, 8) == 0;
        },
        2s);
    ASSERT_TRUE(next);
    EXPECT_EQ(std::string(next->info.DevName), name);
    EXPECT_EQ(next->info.HttpPort, 8081);
    EXPECT_STREQ(next->info.IpAddr, "192.0.2.11");
    EXPECT_GT(login("192.0.2.11", 8081, "n3u"), 0);

    // The raw-Ethernet path proves the new password too, and moves the HTTP
    // port once more; the API follows it there.
    tagQvIpcInfo request = next->info;
    std::snprintf(request.UserName, sizeof request.UserName, "admin");
    std::snprintf(request.Password, sizeof request.Password, "n3u");
    request.HttpPort = 8082;
    qvsp.ModifyIpcInfo(&request);
    const auto result =
        answers.waitFor([](const LabEvent& s) { return s.type == CAP_MODIFY_RESULT; }, 3s);
    qvsp.UnInitQvsp();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->result, 0);
    EXPECT_GT(login("192.0.2.11", 8082, "n3u"), 0) << Qv_Sdk_GetLastError();
    EXPECT_EQ(login("192.0.2.11", 8081, "n3u"), -1);
    EXPECT_EQ(camera(2)["http_port"], 8082);
}

// Sends raw bytes to the camera on a new connection; the status line back.
std::string sendRaw(const std::string& ip, const std::string& request) {
    const qvsp::wire::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    const timeval limit{3, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) < 0)
        return "not sent";
    char buffer[256] = {};
    const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer - 1, 0);
    const std::string answer(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    return answer.substr(0, answer.find('\r'));
}

TEST_F(ApiLab, NeitherANewPasswordNorTheDdnsPasswordTravelsInClearNorReplays) {
    build();
    const auto file = std::filesystem::temp_directory_path() /
                      ("orvlab-secrets-" + std::to_string(::getpid()) + ".pcap");
    Capture capture(m_lab.adapter(0), file);
    ASSERT_TRUE(capture.running()) << "tcpdump did not start (scripts/install-deps.sh)";
    const char* newPassword = "N3u-Pass!9";
    const char* ddnsPassword = "dyn-Secret-7";

    const int handle = login("192.0.2.10");
    ASSERT_GT(handle, 0);
    ASSERT_EQ(Qv_Ipc_ModifyPassword(handle, "admin", newPassword), 0) << Qv_Sdk_GetLastError();
    QvDdnsInfo ddns{};
    ddns.enable = 1;
    std::snprintf(ddns.provider, sizeof ddns.provider, "dyn.example.net");
    std::snprintf(ddns.user, sizeof ddns.user, "hof-ost");
    std::snprintf(ddns.password, sizeof ddns.password, "%s", ddnsPassword);
    std::snprintf(ddns.host, sizeof ddns.host, "cam1.dyn.example.net");
    ASSERT_EQ(Qv_Ipc_SetDDNS(handle, &ddns), 0) << Qv_Sdk_GetLastError();
    QvDdnsInfo back{};
    ASSERT_EQ(Qv_Ipc_GetDDNS(handle, &back), 0) << Qv_Sdk_GetLastError();
    EXPECT_TRUE(sameBytes(back, ddns));
    EXPECT_EQ(camera(1)["password"], newPassword);
    EXPECT_TRUE(sameBytes(storedDdns(camera(1)), ddns));
    capture.stop("GET /api/v1/network/ddns");
    const std::string wire = capture.bytes();
    std::filesystem::remove(file);

    ASSERT_NE(wire.find("PUT /api/v1/system/password"), std::string::npos) << "captured";
    EXPECT_EQ(wire.find(newPassword), std::string::npos);
    EXPECT_EQ(wire.find(ddnsPassword), std::string::npos);
    // The DDNS save once more, byte for byte, on a new connection: refused.
    const auto start = wire.find("PUT /api/v1/network/ddns");
    ASSERT_NE(start, std::string::npos);
    const auto headerEnd = wire.find("\r\n\r\n", start);
    const auto length = wire.find("Content-Length: ", start);
    ASSERT_LT(length, headerEnd);
    const std::size_t body = std::stoul(wire.substr(length + 16));
    const std::string request = wire.substr(start, headerEnd + 4 + body - start);
    EXPECT_EQ(sendRaw("192.0.2.10", request), "HTTP/1.1 401 Unauthorized");
}
