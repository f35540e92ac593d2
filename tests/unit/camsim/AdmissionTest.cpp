// The device API's own accept loop against clients that misbehave: heads
// sent a byte at a time, too many connections from one address, idle
// kept-alive connections, a TLS hello that never ends. A few workers only,
// so that a connection wrongly holding one shows at once. On loopback.

#include "FreePort.h"
#include "camsim/httpapi/DeviceApiServer.h"
#include "camsim/httpapi/MemoryDeviceApiHost.h"

#include "qvsp/wire/UniqueFd.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace camsim;
using qvsp::wire::UniqueFd;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// A connection from source (an address of 127/8) to 127.0.0.2:port.
UniqueFd connectFrom(const std::string& source, int port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        return UniqueFd();
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// What arrives within `limit`, until `count` answers ("HTTP/1.1 " lines)
// are there or the server closes; nothing when it reset or stayed silent.
std::optional<std::string> receive(int fd, std::chrono::milliseconds limit, int count = 1) {
    std::string got;
    const auto end = SteadyClock::now() + limit;
    for (;;) {
        std::size_t answers = 0;
        for (auto at = got.find("HTTP/1.1 "); at != std::string::npos;
             at = got.find("HTTP/1.1 ", at + 1))
            ++answers;
        if (static_cast<int>(answers) >= count && got.rfind("\r\n\r\n") != std::string::npos &&
            got.back() == '}')
            return got;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return got.empty() ? std::nullopt : std::optional<std::string>(got);
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

// True when the server ended the connection (closed or reset) within limit.
bool endedWithin(int fd, std::chrono::milliseconds limit) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
        return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

const std::string kRequest = "GET /api/v1/tls HTTP/1.1\r\nHost: camera\r\n\r\n";

class Admission : public ::testing::Test {
protected:
    void SetUp() override {
        m_port = freePort();
        m_tlsPort = freePort();
        m_host.add(CameraIdentity{"Cam", "pw", m_port, "QVIP3651", "13.1.0.5", "127.0.0.2", ""});
        DeviceApiOptions options;
        options.bindDevice = "lo";
        options.workersPerListener = 2;
        options.headTimeout = 400ms;
        options.keepAliveSeconds = 3;
        options.connectionsPerClient = 4;
        options.defaultTlsPort = m_tlsPort;
        m_server.emplace(m_host, options);
        ASSERT_TRUE(m_server->start());
    }

    // A normal request from a fresh address: answered, and how fast.
    std::chrono::milliseconds timedRequest(const std::string& source) {
        const UniqueFd fd = connectFrom(source, m_port);
        const auto started = SteadyClock::now();
        EXPECT_TRUE(fd && sendAll(fd.get(), kRequest));
        const auto answer = receive(fd.get(), 2s);
        EXPECT_TRUE(answer && answer->find("200 OK") != std::string::npos) << source;
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - started);
    }

    int m_port = 0;
    int m_tlsPort = 0;
    MemoryDeviceApiHost m_host;
    std::optional<DeviceApiServer> m_server;
};

} // namespace

TEST_F(Admission, SlowHeadsHoldNoWorkerAndAreCutAfterTheirTime) {
    // Twenty clients, each sending its head one byte at a time: with two
    // workers, any of them holding a worker would stop the API.
    std::vector<UniqueFd> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(connectFrom("127.0.1." + std::to_string(i + 1), m_port));
        ASSERT_TRUE(slow.back());
        ASSERT_TRUE(sendAll(slow.back().get(), "GET /api/v1/tls HT"));
    }
    for (auto& fd : slow)
        ASSERT_TRUE(sendAll(fd.get(), "T"));
    EXPECT_LT(timedRequest("127.0.2.1").count(), 200);

    // Idle kept-alive connections hold no worker either.
    std::vector<UniqueFd> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(connectFrom("127.0.3." + std::to_string(i + 1), m_port));
        ASSERT_TRUE(sendAll(idle.back().get(), kRequest));
        ASSERT_TRUE(receive(idle.back().get(), 1s));
    }
    EXPECT_LT(timedRequest("127.0.2.2").count(), 200);
    // Two requests in one segment are both answered; the kept connection
    // answers again later.
    ASSERT_TRUE(sendAll(idle[0].get(), kRequest + kRequest));
    const auto both = receive(idle[0].get(), 1s, 2);
    ASSERT_TRUE(both);
    EXPECT_NE(both->find("HTTP/1.1 200", both->find("HTTP/1.1 200") + 1), std::string::npos);

    // The head's time runs from its first byte: the slow ones are cut.
    for (auto& fd : slow)
        EXPECT_TRUE(endedWithin(fd.get(), 1s));
    // A head completed in time is answered even when it came in pieces.
    const UniqueFd pieces = connectFrom("127.0.2.3", m_port);
    ASSERT_TRUE(sendAll(pieces.get(), "GET /api/v1/tls HTTP/1.1\r\n"));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(sendAll(pieces.get(), "Host: camera\r\n\r\n"));
    EXPECT_TRUE(receive(pieces.get(), 1s));
}

TEST_F(Admission, OneAddressHoldsFewConnectionsOthersAreServed) {
    std::vector<UniqueFd> mine;
    for (int i = 0; i < 4; ++i) {
        mine.push_back(connectFrom("127.0.4.1", m_port));
        ASSERT_TRUE(mine.back());
    }
    const UniqueFd fifth = connectFrom("127.0.4.1", m_port);
    ASSERT_TRUE(fifth);
    EXPECT_TRUE(endedWithin(fifth.get(), 500ms)) << "one more than allowed is reset at once";
    EXPECT_TRUE(sendAll(mine[0].get(), kRequest));
    EXPECT_TRUE(receive(mine[0].get(), 1s)) << "those within the limit are served";
    EXPECT_LT(timedRequest("127.0.4.2").count(), 200) << "other addresses are not limited";
    mine.pop_back();
    std::this_thread::sleep_for(50ms);
    const UniqueFd again = connectFrom("127.0.4.1", m_port);
    ASSERT_TRUE(sendAll(again.get(), kRequest));
    EXPECT_TRUE(receive(again.get(), 1s)) << "a closed connection frees its place";
}

TEST_F(Admission, AnEndlessTlsHelloIsCutAndTheApiStaysServed) {
    // A record header that promises 512 bytes, then a trickle.
    std::vector<UniqueFd> hellos;
    for (int i = 0; i < 10; ++i) {
        hellos.push_back(connectFrom("127.0.5." + std::to_string(i + 1), m_tlsPort));
        ASSERT_TRUE(sendAll(hellos.back().get(), std::string("\x16\x03\x01\x02\x00\x01", 6)));
    }
    // Not TLS at all: refused at once.
    const UniqueFd plain = connectFrom("127.0.5.100", m_tlsPort);
    ASSERT_TRUE(sendAll(plain.get(), kRequest));
    EXPECT_TRUE(endedWithin(plain.get(), 300ms));
    EXPECT_LT(timedRequest("127.0.5.101").count(), 200);
    for (auto& fd : hellos)
        EXPECT_TRUE(endedWithin(fd.get(), 1s));
}
