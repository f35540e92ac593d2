#include "Session.h"

#include "Answers.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "qvipcsdk/wire/CurlParts.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

namespace qvsdk {

using qvipc::wire::CurlHeaders;
using qvipc::wire::CurlSink;

Settings& settings() {
    static Settings instance;
    return instance;
}

namespace {

using FileSource = qvipc::wire::CurlFileSource;

// A job that is cancelled while a large image is on its way stops sending
// it, rather than keeping the link busy for minutes for a camera whose
// result nobody waits for.
struct CancelCheck {
    int (*check)(void*) = nullptr;
    void* context = nullptr;
};
thread_local CancelCheck t_cancel;

int uploadProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* source = static_cast<FileSource*>(user);
    if (t_cancel.check != nullptr && t_cancel.check(t_cancel.context) != 0) {
        source->cancelled = true;
        return 1; // aborts the transfer
    }
    return 0;
}

int errorFromCurl(CURL* curl, CURLcode code, bool pinned) {
    switch (qvipc::wire::classifyCurl(curl, code, pinned)) {
    case qvipc::wire::CurlFault::Identity:
        return QV_ERR_IDENTITY;
    case qvipc::wire::CurlFault::Timeout:
        return QV_ERR_TIMEOUT;
    case qvipc::wire::CurlFault::Internal:
        return QV_ERR_INTERNAL;
    case qvipc::wire::CurlFault::Network:
        break;
    }
    return QV_ERR_NETWORK;
}

int errorFromStatus(long status) {
    if (status >= 200 && status < 300) {
        return QV_ERR_NONE;
    }
    if (status == 401) {
        return QV_ERR_AUTH;
    }
    if (status >= 400 && status < 500) {
        return QV_ERR_REJECTED;
    }
    if (status >= 500 && status < 600) {
        return QV_ERR_DEVICE;
    }
    return QV_ERR_MALFORMED;
}

void setCommonOptions(CURL* c) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, qvipc::wire::curlBody);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, qvipc::wire::curlHeader);
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, settings().connectMs.load());
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, settings().requestMs.load());
}

} // namespace

HttpResult Probe(const std::string& url) {
    const CurlHandle curl(curl_easy_init());
    if (!curl) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    CURL* c = curl.get();
    setCommonOptions(c);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    CurlSink sink{kMaxAnswerBytes, {}, false, {}};
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
    const CURLcode code = curl_easy_perform(c);
    HttpResult result;
    if (sink.overflow) {
        result.error = QV_ERR_MALFORMED;
    } else if (code != CURLE_OK) {
        result.error = errorFromCurl(c, code, false);
    } else {
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
        result.error = errorFromStatus(result.status);
        result.body = std::move(sink.body);
    }
    return result;
}

void SetThreadCancelCheck(int (*check)(void*), void* context) {
    t_cancel = {check, context};
}

Session::Session(std::string ip, int port, std::string user, std::string password, Tls tls)
    : m_tls(std::move(tls)), m_ip(std::move(ip)), m_user(std::move(user)),
      m_password(std::move(password)) {
    if (secure()) {
        m_baseUrl = "https://" + m_ip + ":" + std::to_string(m_tls.port);
    } else {
        setPort(port);
    }
}

void Session::setPassword(std::string password) {
    m_password = std::move(password);
}

void Session::setPort(int port) {
    if (secure()) {
        return;
    }
    m_baseUrl = "http://" + m_ip + ":" + std::to_string(port);
    // The old port's connection leads nowhere any more.
    closeConnection();
}

std::optional<qvipc::wire::Sealed> Session::seal(std::string_view purpose, std::string_view secret,
                                                 int& error) {
    const HttpResult result = send("POST", "/api/v1/system/nonce", "{}");
    std::string nonce;
    error = result.error;
    if (error == QV_ERR_NONE && (!parseSealNonce(result.body, nonce) || !m_digest.ready())) {
        error = QV_ERR_MALFORMED;
    }
    if (error != QV_ERR_NONE) {
        return std::nullopt;
    }
    auto sealed =
        qvipc::wire::sealSecret({m_user, m_digest.realm(), m_password}, nonce, purpose, secret);
    if (!sealed) {
        error = QV_ERR_INTERNAL;
    }
    return sealed;
}

std::optional<std::string> Session::open(const qvipc::wire::Sealed& sealed,
                                         std::string_view purpose) const {
    if (!m_digest.ready()) {
        return std::nullopt;
    }
    return qvipc::wire::openSecret({m_user, m_digest.realm(), m_password}, sealed, purpose);
}

CURL* Session::prepare(const std::string& path) {
    if (!m_curl) {
        m_curl.reset(curl_easy_init());
        if (!m_curl) {
            return nullptr;
        }
        CURL* c = m_curl.get();
        // Digest is answered here rather than by libcurl: a challenge
        // without qop must be refused and SHA-256 preferred, and the same
        // credentials key the sealing of secrets.
        setCommonOptions(c);
        // A TLS session never falls back to plain HTTP, not even by a
        // redirect.
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, secure() ? "https" : "http");
        if (secure()) {
            qvipc::wire::pinnedTls(c, &m_key);
        }
        // The camera drops idle connections after a few seconds; an older one
        // is not worth the risk of writing into a socket being closed.
        curl_easy_setopt(c, CURLOPT_MAXAGE_CONN, 2L);
        curl_easy_setopt(c, CURLOPT_MAXCONNECTS, 1L);
    }
    CURL* c = m_curl.get();
    const std::string url = m_baseUrl + path;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, settings().connectMs.load());
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, settings().requestMs.load());
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 0L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 0L);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, settings().reuse.load() ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(c, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, nullptr);
    curl_easy_setopt(c, CURLOPT_SEEKDATA, nullptr);
    return c;
}

HttpResult Session::perform(CURL* curl, const char* method, const std::string& path,
                            std::vector<std::string> headers, const std::function<bool()>& rewind) {
    HttpResult result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool answered = m_digest.ready();
        std::vector<std::string> lines = headers;
        if (answered) {
            lines.push_back("Authorization: " + m_digest.answer(m_user, m_password, method, path));
        }
        const CurlHeaders list(lines);
        CurlSink sink{kMaxAnswerBytes, {}, false, {}};
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
        m_key.pin = m_tls.pin;
        m_key.refused = false;
        const CURLcode code = curl_easy_perform(curl);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, nullptr);
        result = {};
        if (sink.overflow) {
            result.error = QV_ERR_MALFORMED;
            return result;
        }
        if (code != CURLE_OK) {
            // A pinned handshake that failed before the peer showed a key
            // (a camera still booting cuts it off) is no answer; whether
            // the camera still offers TLS there is asked on its plain port
            // (see Qv_Ipc_LoginTrusted), and one that says no is refused.
            result.error = m_key.refused ? QV_ERR_IDENTITY
                                         : errorFromCurl(curl, code,
                                                         !m_tls.pin.empty() && !m_key.seen.empty());
            return result;
        }
        if (secure() && m_tls.pin.empty() && !m_key.seen.empty()) {
            // The first contact's key: later connections of this login must
            // show the same one.
            m_tls.pin = m_key.seen;
        }
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        result.error = errorFromStatus(result.status);
        result.body = std::move(sink.body);
        if (result.status != 401) {
            return result;
        }
        // A refusal of an answer to a good nonce refuses the credentials;
        // the first challenge, or a stale nonce, is answered once.
        const bool stale = qvipc::wire::DigestLogin::stale(sink.challenges);
        const bool retry = (!answered || stale) && m_digest.take(sink.challenges);
        if (!retry || (rewind && !rewind())) {
            return result;
        }
    }
    return result;
}

HttpResult Session::get(const std::string& path) {
    CURL* curl = prepare(path);
    if (curl == nullptr) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    return perform(curl, "GET", path, {}, {});
}

HttpResult Session::send(const char* method, const std::string& path, const std::string& body) {
    CURL* curl = prepare(path);
    if (curl == nullptr) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    if (std::string_view(method) != "POST") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    }
    HttpResult result =
        perform(curl, method, path, {"Content-Type: application/json", "Expect:"}, {});
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    return result;
}

HttpResult Session::upload(const std::string& path, int fd, long long size) {
    CURL* curl = prepare(path);
    if (curl == nullptr) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    FileSource source;
    source.fd = fd;
    source.size = static_cast<curl_off_t>(size);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, qvipc::wire::curlReadFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, qvipc::wire::curlSeekFile);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, source.size);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, uploadProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &source);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // A large image takes as long as the link needs, within the total cap;
    // what must not happen is a transfer that stops moving or crawls.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 30L * 60L * 1000L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kUploadMinBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     std::max(2L, settings().requestMs.load() / 1000L));
    // The camera reads a refused upload to its end; a second go after a
    // stale nonce sends the file again from its start.
    const auto rewind = [&source] {
        return qvipc::wire::curlSeekFile(&source, 0, SEEK_SET) == CURL_SEEKFUNC_OK;
    };
    HttpResult result =
        perform(curl, "PUT", path, {"Content-Type: application/octet-stream", "Expect:"}, rewind);
    if (source.failed) {
        result.error = QV_ERR_FILE;
    } else if (source.cancelled) {
        result.error = QV_ERR_CANCELLED;
    }
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, nullptr);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, nullptr);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, nullptr);
    return result;
}

} // namespace qvsdk
