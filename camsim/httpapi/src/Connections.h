#pragma once
// The connections of one device-API port, plain or TLS, accepted and watched
// here rather than by the HTTP library, which only reads and answers
// requests.
//
// Why: the library gives every accepted connection a worker at once, and a
// worker waits for the request head as long as the client trickles it, so a
// thousand clients that send their heads one byte at a time hold every
// worker and the API stops answering. Here one admission thread per port
// waits for all connections at once (epoll) and hands a connection to a
// worker only when a whole request head is there to read (peeked, not
// taken: `\r\n\r\n` on plain HTTP; a whole TLS record on TLS, where the
// handshake steps run on workers as well). A head must be complete within
// headTimeout of its first byte (of the accept for a new connection); a
// kept-alive connection goes back to the admission thread between requests,
// so an idle one holds no worker either. Each client address may hold
// perSource connections to one local address (camera), the port
// maxConnections in all; a connection beyond either is reset at once.

#include <openssl/ssl.h>

#include <httplib.h>

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace camsim {

// The HTTP library's server as a reader and answerer of requests on
// connections it does not own.
class RequestProcessor : public httplib::Server {
public:
    using httplib::Server::process_request;
    // The library ends content providers (trickled and stalled answers) once
    // its listening socket is invalid: that socket is ours.
    void setListening(int fd) { svr_sock_ = fd; }
    std::size_t keepAliveMaxCount() const { return keep_alive_max_count_; }
};

struct AdmissionLimits {
    std::chrono::milliseconds headTimeout{2500};
    std::chrono::milliseconds keepAlive{3000};
    // Longest wait for one read or write once a request is being served.
    std::chrono::milliseconds ioTimeout{5000};
    std::size_t perSource = 32;
    std::size_t maxConnections = 4096;
    int workers = 48;
};

// What a connection looks like when its head is not complete yet.
enum class HeadState { Complete, Partial, Refused };
// Whether `bytes` (what a plain connection holds so far) end a request head;
// Refused never (a plain head can always go on).
HeadState plainHead(std::string_view bytes, std::size_t limit);
// Whether `bytes` hold a whole TLS record; Refused when they cannot start
// one (not a handshake, alert, application or change-cipher record, or
// longer than TLS allows).
HeadState tlsRecord(std::string_view bytes);

// Follows a request head to its blank line ("\r\n\r\n") as it arrives in
// pieces, so that a head's deadline ends with the head and not the body.
class HeadEnd {
public:
    // How many bytes of data belong to the head: up to and including its
    // end, or all of them while it goes on.
    std::size_t feed(std::string_view data);
    bool ended() const { return m_matched == 4; }
    void reset() { m_matched = 0; }

private:
    int m_matched = 0;
};

class ConnectionListener {
public:
    // tls: the context of a TLS port, null for plain HTTP. accepts(local):
    // whether a connection that arrived at this local address is taken at
    // all (a TLS port: whether a camera offers TLS there); reset otherwise.
    ConnectionListener(RequestProcessor& processor, SSL_CTX* tls, AdmissionLimits limits,
                       std::function<bool(const sockaddr_in& local)> accepts);
    ~ConnectionListener();
    ConnectionListener(const ConnectionListener&) = delete;
    ConnectionListener& operator=(const ConnectionListener&) = delete;

    // Binds and listens; socketOptions runs on the listening socket first.
    bool open(const std::string& host, int port, const std::function<void(int)>& socketOptions);
    void start();
    // Ends admission, resets every open connection and joins every thread.
    void stop();

    // Connections open now (waiting for a head or being served).
    std::size_t openConnections() const;

private:
    struct Connection;
    class Stream;
    friend struct Connection;

    void run();
    // Accepts what waits, registered with epoll, into out.
    void acceptAll(int epoll, std::vector<std::unique_ptr<Connection>>& out);
    void serve(Connection* connection);
    // Back to the admission thread to wait for the next head until deadline.
    void park(std::unique_ptr<Connection> connection,
              std::chrono::steady_clock::time_point deadline);
    HeadState inspect(Connection& connection) const;
    bool admit(std::uint64_t source);
    void release(Connection& connection);

    RequestProcessor& m_processor;
    SSL_CTX* m_tls;
    const AdmissionLimits m_limits;
    std::function<bool(const sockaddr_in&)> m_accepts;
    int m_listen = -1;
    int m_wake = -1;
    int m_spare = -1; // given up to accept and refuse when out of descriptors
    std::thread m_admission;
    std::unique_ptr<httplib::ThreadPool> m_workers;
    std::atomic<bool> m_stopping{false};

    // Connections handed back by workers, taken by the admission thread.
    std::mutex m_returnLock;
    bool m_admitting = false;
    std::vector<std::pair<std::unique_ptr<Connection>, std::chrono::steady_clock::time_point>>
        m_returned;

    // Every open connection, and how many each source holds.
    mutable std::mutex m_countLock;
    std::set<Connection*> m_open;
    std::map<std::uint64_t, std::size_t> m_perSource;
};

} // namespace camsim
