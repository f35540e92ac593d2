#include "Connections.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;

// Longest head the admission thread looks into; a longer one goes to a
// worker, whose reader refuses it (414 or 400) as it always did.
constexpr std::size_t kHeadPeek = 16 * 1024;
// A TLS record's payload is at most 2^14 bytes plus expansion (RFC 8446).
constexpr std::size_t kMaxTlsRecord = (1u << 14) + 2048;

// How long a worker looks out for the next request on a kept connection
// before handing it back: a client calling in a loop sends it within a
// fraction of this, and so skips a round through the admission thread.
constexpr std::chrono::milliseconds kLinger{2};

constexpr std::uint64_t kListenTag = ~std::uint64_t{0};
constexpr std::uint64_t kWakeTag = ~std::uint64_t{0} - 1;

std::string ipText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

// Reset rather than a polite close: a refused client learns at once and the
// simulator keeps no connection in TIME_WAIT for it.
void resetAndClose(int fd) {
    linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = poll(&p, 1, timeoutMs);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0;
    }
}

} // namespace

HeadState plainHead(std::string_view bytes, std::size_t limit) {
    if (bytes.find("\r\n\r\n") != std::string_view::npos || bytes.size() >= limit) {
        return HeadState::Complete;
    }
    return HeadState::Partial;
}

std::size_t HeadEnd::feed(std::string_view data) {
    static constexpr char kEnd[] = "\r\n\r\n";
    std::size_t i = 0;
    for (; i < data.size() && !ended(); ++i) {
        if (data[i] == kEnd[m_matched]) {
            ++m_matched;
        } else {
            m_matched = data[i] == '\r' ? 1 : 0;
        }
    }
    return i;
}

HeadState tlsRecord(std::string_view bytes) {
    if (bytes.empty()) {
        return HeadState::Partial;
    }
    const auto type = static_cast<unsigned char>(bytes[0]);
    // change_cipher_spec, alert, handshake, application_data
    if (type < 20 || type > 23 || (bytes.size() >= 2 && bytes[1] != 3)) {
        return HeadState::Refused;
    }
    if (bytes.size() < 5) {
        return HeadState::Partial;
    }
    const std::size_t length = static_cast<std::size_t>(static_cast<unsigned char>(bytes[3])) << 8 |
                               static_cast<unsigned char>(bytes[4]);
    if (length == 0 || length > kMaxTlsRecord) {
        return HeadState::Refused;
    }
    return bytes.size() >= 5 + length ? HeadState::Complete : HeadState::Partial;
}

struct ConnectionListener::Connection {
    Connection(ConnectionListener& owner_, int fd_, const sockaddr_in& local_,
               const sockaddr_in& peer_, std::uint64_t source_)
        : owner(owner_), fd(fd_), local(local_), peer(peer_), source(source_),
          requestsLeft(owner_.m_processor.keepAliveMaxCount()) {}

    ~Connection() {
        owner.release(*this);
        if (ssl) {
            if (closeGracefully) {
                SSL_shutdown(ssl.get());
            }
            ssl.reset();
        }
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::size_t buffered() const { return buffer.size() - offset; }

    ConnectionListener& owner;
    const int fd;
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl{nullptr, SSL_free};
    bool handshaken = false;
    bool closeGracefully = false;
    const sockaddr_in local;
    const sockaddr_in peer;
    const std::uint64_t source;
    // Bytes read ahead of the request being served (decrypted on TLS).
    std::string buffer;
    std::size_t offset = 0;
    std::size_t requestsLeft;
    // While waiting in the admission thread.
    Clock::time_point deadline;
    bool headStarted = false;
};

// A connection as the HTTP library reads and writes it: non-blocking
// underneath, each wait bounded by the I/O limit and, while the head is
// read, by the head's own deadline (so a worker that holds a connection
// whose head turned out incomplete gives it up in time).
class ConnectionListener::Stream : public httplib::Stream {
public:
    Stream(Connection& connection, const AdmissionLimits& limits)
        : m_c(connection), m_limits(limits) {}

    void beginRequest() {
        m_head.reset();
        m_headDeadline = Clock::now() + m_limits.headTimeout;
    }

    bool is_readable() const override {
        return m_c.buffered() > 0 || (m_c.ssl && SSL_pending(m_c.ssl.get()) > 0) ||
               waitFor(m_c.fd, POLLIN, static_cast<int>(m_limits.ioTimeout.count()));
    }

    bool is_writable() const override {
        return waitFor(m_c.fd, POLLOUT, static_cast<int>(m_limits.ioTimeout.count()));
    }

    ssize_t read(char* ptr, size_t size) override {
        if (m_c.buffered() == 0) {
            m_c.buffer.clear();
            m_c.offset = 0;
            const ssize_t n = fill();
            if (n <= 0) {
                return n;
            }
        }
        const std::size_t n = std::min(size, m_c.buffered());
        std::memcpy(ptr, m_c.buffer.data() + m_c.offset, n);
        m_c.offset += n;
        m_head.feed(std::string_view(ptr, n));
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        std::size_t sent = 0;
        while (sent < size) {
            short waitEvents = POLLOUT;
            if (m_c.ssl) {
                ERR_clear_error();
                const int n =
                    SSL_write(m_c.ssl.get(), ptr + sent,
                              static_cast<int>(std::min<std::size_t>(size - sent, 1 << 20)));
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                    continue;
                }
                const int error = SSL_get_error(m_c.ssl.get(), n);
                if (error == SSL_ERROR_WANT_READ) {
                    waitEvents = POLLIN;
                } else if (error != SSL_ERROR_WANT_WRITE) {
                    return -1;
                }
            } else {
                const ssize_t n = send(m_c.fd, ptr + sent, size - sent, MSG_NOSIGNAL);
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                    continue;
                }
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    return -1;
                }
            }
            if (!waitFor(m_c.fd, waitEvents, static_cast<int>(m_limits.ioTimeout.count()))) {
                return -1;
            }
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = ipText(m_c.peer);
        port = ntohs(m_c.peer.sin_port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = ipText(m_c.local);
        port = ntohs(m_c.local.sin_port);
    }

    // The library answers 500 to a descriptor above FD_SETSIZE, a limit of
    // the select() its own streams use; this one never selects, so it names
    // a descriptor that passes (the library uses it for nothing else).
    socket_t socket() const override { return 0; }

private:
    // Reads what is there into the buffer, waiting for it within the limits.
    ssize_t fill() {
        char chunk[16 * 1024];
        for (;;) {
            short waitEvents = POLLIN;
            if (m_c.ssl) {
                ERR_clear_error();
                const int n = SSL_read(m_c.ssl.get(), chunk, sizeof chunk);
                if (n > 0) {
                    m_c.buffer.assign(chunk, static_cast<std::size_t>(n));
                    return n;
                }
                const int error = SSL_get_error(m_c.ssl.get(), n);
                if (error == SSL_ERROR_ZERO_RETURN) {
                    return 0;
                }
                if (error == SSL_ERROR_WANT_WRITE) {
                    waitEvents = POLLOUT;
                } else if (error != SSL_ERROR_WANT_READ) {
                    return -1;
                }
            } else {
                const ssize_t n = recv(m_c.fd, chunk, sizeof chunk, 0);
                if (n > 0) {
                    m_c.buffer.assign(chunk, static_cast<std::size_t>(n));
                    return n;
                }
                if (n == 0) {
                    return 0;
                }
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    return -1;
                }
            }
            int timeout = static_cast<int>(m_limits.ioTimeout.count());
            if (!m_head.ended()) {
                timeout = std::min(timeout, millisecondsUntil(m_headDeadline));
            }
            if (timeout <= 0 || !waitFor(m_c.fd, waitEvents, timeout)) {
                return -1;
            }
        }
    }

    Connection& m_c;
    const AdmissionLimits& m_limits;
    HeadEnd m_head;
    Clock::time_point m_headDeadline;
};

ConnectionListener::ConnectionListener(RequestProcessor& processor, SSL_CTX* tls,
                                       AdmissionLimits limits,
                                       std::function<bool(const sockaddr_in&)> accepts)
    : m_processor(processor), m_tls(tls), m_limits(limits), m_accepts(std::move(accepts)) {}

ConnectionListener::~ConnectionListener() {
    stop();
    for (const int fd : {m_listen, m_wake, m_spare}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool ConnectionListener::open(const std::string& host, int port,
                              const std::function<void(int)>& socketOptions) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        return false;
    }
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (m_listen < 0 || m_wake < 0) {
        return false;
    }
    int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Accepted connections inherit it: answers leave without waiting for
    // the client's acknowledgement of the last segment.
    setsockopt(m_listen, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (socketOptions) {
        socketOptions(m_listen);
    }
    // One listener stands for every camera on the port, where a real camera
    // has a queue of its own.
    if (bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listen, SOMAXCONN) != 0) {
        return false;
    }
    m_processor.setListening(m_listen);
    return true;
}

void ConnectionListener::start() {
    m_workers = std::make_unique<httplib::ThreadPool>(
        static_cast<std::size_t>(std::max(1, m_limits.workers)));
    {
        std::lock_guard guard(m_returnLock);
        m_admitting = true;
    }
    m_admission = std::thread([this] { run(); });
}

void ConnectionListener::stop() {
    if (m_stopping.exchange(true)) {
        return;
    }
    if (m_admission.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
        m_admission.join();
    }
    // Answers being trickled or stalled end, and so do reads and writes of
    // the connections still with a worker.
    m_processor.setListening(INVALID_SOCKET);
    {
        std::lock_guard guard(m_countLock);
        for (Connection* c : m_open) {
            shutdown(c->fd, SHUT_RDWR);
        }
    }
    if (m_workers) {
        m_workers->shutdown();
        m_workers.reset();
    }
}

std::size_t ConnectionListener::openConnections() const {
    std::lock_guard guard(m_countLock);
    return m_open.size();
}

bool ConnectionListener::admit(std::uint64_t source) {
    std::lock_guard guard(m_countLock);
    std::size_t& count = m_perSource[source];
    if (count >= m_limits.perSource || m_open.size() >= m_limits.maxConnections) {
        if (count == 0) {
            m_perSource.erase(source);
        }
        return false;
    }
    ++count;
    return true;
}

void ConnectionListener::release(Connection& connection) {
    std::lock_guard guard(m_countLock);
    m_open.erase(&connection);
    const auto it = m_perSource.find(connection.source);
    if (it != m_perSource.end() && --it->second == 0) {
        m_perSource.erase(it);
    }
}

void ConnectionListener::acceptAll(int epoll, std::vector<std::unique_ptr<Connection>>& out) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        const int fd = accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if ((errno == EMFILE || errno == ENFILE) && m_spare >= 0) {
                // Out of descriptors: the waiting client is refused rather
                // than left to make the listener ready for ever.
                close(m_spare);
                const int refused = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (refused >= 0) {
                    resetAndClose(refused);
                }
                m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            return;
        }
        sockaddr_in local{};
        socklen_t localLength = sizeof local;
        if (peer.sin_family != AF_INET ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            (m_accepts && !m_accepts(local))) {
            resetAndClose(fd);
            continue;
        }
        const std::uint64_t source =
            std::uint64_t{peer.sin_addr.s_addr} << 32 | local.sin_addr.s_addr;
        if (m_stopping || !admit(source)) {
            resetAndClose(fd);
            continue;
        }
        auto connection = std::make_unique<Connection>(*this, fd, local, peer, source);
        {
            std::lock_guard guard(m_countLock);
            m_open.insert(connection.get());
        }
        if (m_tls) {
            connection->ssl.reset(SSL_new(m_tls));
            if (!connection->ssl || SSL_set_fd(connection->ssl.get(), fd) != 1) {
                continue;
            }
            SSL_set_accept_state(connection->ssl.get());
        }
        connection->deadline = Clock::now() + m_limits.headTimeout;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.u64 = static_cast<std::uint64_t>(fd);
        if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
            continue;
        }
        out.push_back(std::move(connection));
    }
}

HeadState ConnectionListener::inspect(Connection& c) const {
    if (c.buffered() > 0 && !c.ssl) {
        // Read ahead by the last request: what came after it, and more.
        std::string bytes = c.buffer.substr(c.offset);
        char chunk[kHeadPeek];
        const ssize_t n = recv(c.fd, chunk, sizeof chunk, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        return plainHead(bytes, kHeadPeek);
    }
    if (c.buffered() > 0 || (c.ssl && SSL_pending(c.ssl.get()) > 0)) {
        return HeadState::Complete;
    }
    char chunk[kHeadPeek];
    const std::size_t want = c.ssl ? 5 : sizeof chunk;
    ssize_t n = recv(c.fd, chunk, want, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) {
        return HeadState::Refused; // the client closed its side
    }
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? HeadState::Partial
                                                                         : HeadState::Refused;
    }
    if (!c.ssl) {
        return plainHead(std::string_view(chunk, static_cast<std::size_t>(n)), kHeadPeek);
    }
    const HeadState header = tlsRecord(std::string_view(chunk, static_cast<std::size_t>(n)));
    if (header != HeadState::Partial || n < 5) {
        return header;
    }
    // A whole record is there when the socket holds its length.
    int available = 0;
    if (ioctl(c.fd, FIONREAD, &available) != 0) {
        return HeadState::Refused;
    }
    const std::size_t length = static_cast<std::size_t>(static_cast<unsigned char>(chunk[3])) << 8 |
                               static_cast<unsigned char>(chunk[4]);
    return static_cast<std::size_t>(available) >= 5 + length ? HeadState::Complete
                                                             : HeadState::Partial;
}

void ConnectionListener::run() {
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenTag;
    epoll_ctl(epoll, EPOLL_CTL_ADD, m_listen, &event);
    event.data.u64 = kWakeTag;
    epoll_ctl(epoll, EPOLL_CTL_ADD, m_wake, &event);

    std::unordered_map<int, std::unique_ptr<Connection>> waiting;
    std::set<std::pair<Clock::time_point, int>> deadlines;
    auto forget = [&](int fd) {
        const auto it = waiting.find(fd);
        if (it == waiting.end()) {
            return std::unique_ptr<Connection>();
        }
        auto connection = std::move(it->second);
        waiting.erase(it);
        deadlines.erase({connection->deadline, fd});
        epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        return connection;
    };
    auto adopt = [&](std::unique_ptr<Connection> connection, Clock::time_point deadline,
                     bool registered) {
        const int fd = connection->fd;
        if (deadline != Clock::time_point{}) {
            connection->deadline = deadline;
        }
        if (!registered) {
            epoll_event e{};
            e.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
            e.data.u64 = static_cast<std::uint64_t>(fd);
            if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &e) != 0) {
                return;
            }
        }
        deadlines.insert({connection->deadline, fd});
        waiting[fd] = std::move(connection);
    };

    std::vector<epoll_event> events(256);
    while (!m_stopping) {
        const int timeout = deadlines.empty() ? -1 : millisecondsUntil(deadlines.begin()->first);
        const int n = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), timeout);
        if (n < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < n && !m_stopping; ++i) {
            const std::uint64_t tag = events[static_cast<std::size_t>(i)].data.u64;
            if (tag == kListenTag) {
                std::vector<std::unique_ptr<Connection>> accepted;
                acceptAll(epoll, accepted);
                for (auto& connection : accepted) {
                    adopt(std::move(connection), Clock::time_point{}, true);
                }
                continue;
            }
            if (tag == kWakeTag) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = ::read(m_wake, &count, sizeof count);
                std::vector<std::pair<std::unique_ptr<Connection>, Clock::time_point>> back;
                {
                    std::lock_guard guard(m_returnLock);
                    back.swap(m_returned);
                }
                for (auto& [connection, deadline] : back) {
                    connection->headStarted = false;
                    adopt(std::move(connection), deadline, false);
                }
                continue;
            }
            const int fd = static_cast<int>(tag);
            const auto it = waiting.find(fd);
            if (it == waiting.end()) {
                continue;
            }
            Connection& c = *it->second;
            HeadState state = inspect(c);
            // A client gone before its head was whole is not waited for.
            if (state == HeadState::Partial &&
                (events[static_cast<std::size_t>(i)].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))) {
                state = HeadState::Refused;
            }
            if (state == HeadState::Partial) {
                // A head has begun: it gets its own time, and no more.
                if (!c.headStarted) {
                    c.headStarted = true;
                    const auto due = std::min(c.deadline, Clock::now() + m_limits.headTimeout);
                    deadlines.erase({c.deadline, fd});
                    c.deadline = due;
                    deadlines.insert({due, fd});
                }
                continue;
            }
            auto connection = forget(fd);
            if (state == HeadState::Complete) {
                Connection* raw = connection.release();
                m_workers->enqueue([this, raw] { serve(raw); });
            }
        }
        // Heads not complete in time, idle connections past keep-alive.
        const auto now = Clock::now();
        while (!deadlines.empty() && deadlines.begin()->first <= now) {
            forget(deadlines.begin()->second);
        }
    }
    {
        std::lock_guard guard(m_returnLock);
        m_admitting = false;
        m_returned.clear();
    }
    waiting.clear();
    close(epoll);
}

void ConnectionListener::park(std::unique_ptr<Connection> connection, Clock::time_point deadline) {
    {
        std::lock_guard guard(m_returnLock);
        if (!m_admitting || m_stopping) {
            return; // the connection closes
        }
        m_returned.emplace_back(std::move(connection), deadline);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
}

void ConnectionListener::serve(Connection* raw) {
    std::unique_ptr<Connection> c(raw);
    if (m_stopping) {
        return;
    }
    if (c->ssl && !c->handshaken) {
        ERR_clear_error();
        const int result = SSL_accept(c->ssl.get());
        if (result != 1) {
            const int error = SSL_get_error(c->ssl.get(), result);
            if (error == SSL_ERROR_WANT_READ) {
                // The client's next flight: waited for like a head, within
                // the time the connection had for its first one.
                const auto deadline = c->deadline;
                park(std::move(c), deadline);
            } else if (error == SSL_ERROR_WANT_WRITE &&
                       waitFor(c->fd, POLLOUT, static_cast<int>(m_limits.ioTimeout.count()))) {
                serve(c.release());
            }
            return;
        }
        c->handshaken = true;
        if (SSL_pending(c->ssl.get()) == 0) {
            park(std::move(c), Clock::now() + m_limits.headTimeout);
            return;
        }
    }
    Stream stream(*c, m_limits);
    for (;;) {
        stream.beginRequest();
        const bool last = c->requestsLeft <= 1;
        bool closed = false;
        const bool answered = m_processor.process_request(stream, last, closed, nullptr);
        --c->requestsLeft;
        c->closeGracefully = answered;
        if (!answered || closed || last || m_stopping) {
            return;
        }
        // A request already there (pipelined, or sent right after the
        // answer: a client calling in a loop) is served at once; otherwise
        // the connection waits for its next head without a worker.
        if (c->buffered() == 0 && !(c->ssl && SSL_pending(c->ssl.get()) > 0)) {
            waitFor(c->fd, POLLIN, static_cast<int>(kLinger.count()));
        }
        const HeadState next = inspect(*c);
        if (next == HeadState::Refused) {
            return;
        }
        if (next == HeadState::Partial) {
            park(std::move(c), Clock::now() + m_limits.keepAlive);
            return;
        }
    }
}

} // namespace camsim
