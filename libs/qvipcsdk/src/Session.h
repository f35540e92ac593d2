#pragma once
// One login: the camera's address, the credentials and the HTTP handle that
// keeps the connection and the Digest nonce between calls.

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace qvsdk {

struct Settings {
    // A live camera on the local network connects in milliseconds; a dead
    // address must not hold the window thread for long.
    std::atomic<long> connectMs{2500};
    // No documented answer takes longer than this to arrive completely.
    std::atomic<long> requestMs{5000};
    std::atomic<bool> reuse{true};
};
Settings& settings();

struct HttpResult {
    int error = 0; // QV_ERR_*
    long status = 0;
    std::string body;
};

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

class Session {
public:
    Session(std::string ip, int port, std::string user, std::string password);

    // Callers hold lock() around every call on the session.
    std::mutex& lock() { return m_lock; }

    HttpResult get(const std::string& path);
    HttpResult send(const char* method, const std::string& path, const std::string& body);
    // Streams an open file of the given size as the request body.
    HttpResult upload(const std::string& path, int fd, long long size);

    void setPassword(std::string password);
    // What live play needs to open the camera's stream with this login.
    const std::string& ip() const { return m_ip; }
    const std::string& user() const { return m_user; }
    const std::string& password() const { return m_password; }
    // Closes the connection; the next call opens a new one.
    void closeConnection() { m_curl.reset(); }
    bool hasConnection() const { return m_curl != nullptr; }

private:
    CURL* prepare(const std::string& path);
    HttpResult perform(CURL* curl);

    std::mutex m_lock;
    std::string m_ip;
    std::string m_baseUrl;
    std::string m_user;
    std::string m_password;
    CurlHandle m_curl;
};

} // namespace qvsdk
