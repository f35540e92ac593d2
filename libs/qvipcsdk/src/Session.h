#pragma once
// One login: the camera's address, the credentials and the HTTP handle that
// keeps the connection and the Digest nonce between calls.

#include "qvipcsdk/wire/DigestAuth.h"
#include "qvipcsdk/wire/Seal.h"
#include "qvipcsdk/wire/TlsKey.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvsdk {

struct Settings {
    // A live camera on the local network connects in milliseconds; a dead
    // address must not hold the window thread for long.
    std::atomic<long> connectMs{2500};
    // No documented answer takes longer than this to arrive completely.
    std::atomic<long> requestMs{5000};
    std::atomic<bool> reuse{true};
};

// An upload that moves fewer bytes per second than this over the stall
// window (the request limit, at least 2 s) is given up: a camera on the
// local network that reads this slowly will not finish.
inline constexpr long kUploadMinBytesPerSecond = 64 * 1024;
Settings& settings();
// Asked by the calling thread's uploads while they send.
void SetThreadCancelCheck(int (*check)(void*), void* context);

struct HttpResult {
    int error = 0; // QV_ERR_*
    long status = 0;
    std::string body;
};

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// The camera's TLS port and the key it must show. Port 0: plain HTTP.
struct Tls {
    int port = 0;
    std::string pin; // libcurl's "sha256//..." form; empty: the first contact
};

// One unauthenticated GET on a connection of its own (the TLS offer is asked
// before any credentials exist for the connection).
HttpResult Probe(const std::string& url);

class Session {
public:
    Session(std::string ip, int port, std::string user, std::string password, Tls tls = {});

    // Callers hold lock() around every call on the session.
    std::mutex& lock() { return m_lock; }

    HttpResult get(const std::string& path);
    HttpResult send(const char* method, const std::string& path, const std::string& body);
    // Streams an open file of the given size as the request body.
    HttpResult upload(const std::string& path, int fd, long long size);

    // Seals a secret for a request under a single-use nonce the camera hands
    // out (POST /api/v1/system/nonce); nothing, with the error, otherwise.
    std::optional<qvipc::wire::Sealed> seal(std::string_view purpose, std::string_view secret,
                                            int& error);
    // Opens a secret the camera sealed in an answer.
    std::optional<std::string> open(const qvipc::wire::Sealed& sealed,
                                    std::string_view purpose) const;

    void setPassword(std::string password);
    // The camera now serves its plain API on `port`: later plain calls go
    // there (a TLS session stays on the camera's TLS port).
    void setPort(int port);
    bool secure() const { return m_tls.port != 0; }
    const Tls& tls() const { return m_tls; }
    // What live play needs to open the camera's stream with this login.
    const std::string& ip() const { return m_ip; }
    const std::string& user() const { return m_user; }
    const std::string& password() const { return m_password; }
    // Closes the connection; the next call opens a new one.
    void closeConnection() { m_curl.reset(); }
    bool hasConnection() const { return m_curl != nullptr; }

private:
    CURL* prepare(const std::string& path);
    // Sends the request (with the Digest answer once a challenge is known)
    // and, when the camera asks, once more with a fresh answer. `rewind`
    // puts an upload back to its start for that second go.
    HttpResult perform(CURL* curl, const char* method, const std::string& path,
                       std::vector<std::string> headers, const std::function<bool()>& rewind);

    std::mutex m_lock;
    Tls m_tls;
    // The key the camera showed on the last TLS handshake.
    qvipc::wire::TlsKey m_key;
    std::string m_ip;
    std::string m_baseUrl;
    std::string m_user;
    std::string m_password;
    CurlHandle m_curl;
    qvipc::wire::DigestLogin m_digest;
};

} // namespace qvsdk
