#pragma once
// The pieces of a libcurl conversation with a camera that the device SDK and
// the ONVIF client share: a bounded answer with its Digest challenges, a
// header list that frees itself, which failures are the TLS handshake's,
// and the handshake hook that notes the key a camera shows. Header-only:
// each user links libcurl and OpenSSL itself.

#include "qvipcsdk/wire/KeyPin.h"
#include "qvipcsdk/wire/TlsKey.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace qvipc::wire {

struct CurlSink {
    std::size_t limit = 0;
    std::string body;
    bool overflow = false;
    // The WWW-Authenticate values of the last response.
    std::vector<std::string> challenges;
};

// Bounds on what a camera may offer in its challenges.
inline constexpr std::size_t kMaxChallenges = 8;
inline constexpr std::size_t kMaxChallengeBytes = 2048;

inline bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return (a | 0x20) == (b | 0x20); });
}

// CURLOPT_HEADERFUNCTION for a CurlSink.
inline size_t curlHeader(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<CurlSink*>(user);
    const size_t bytes = size * count;
    std::string_view line(data, bytes);
    static constexpr std::string_view kName = "WWW-Authenticate:";
    if (startsWithNoCase(line, "HTTP/")) {
        sink->challenges.clear(); // a new response begins
    } else if (startsWithNoCase(line, kName) && sink->challenges.size() < kMaxChallenges &&
               line.size() <= kMaxChallengeBytes) {
        line.remove_prefix(kName.size());
        const auto first = line.find_first_not_of(" \t");
        const auto last = line.find_last_not_of(" \t\r\n");
        if (first != std::string_view::npos) {
            sink->challenges.emplace_back(line.substr(first, last - first + 1));
        }
    }
    return bytes;
}

// CURLOPT_WRITEFUNCTION for a CurlSink: an answer beyond its limit fails
// the transfer (CURLE_WRITE_ERROR) instead of growing without bound.
inline size_t curlBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<CurlSink*>(user);
    const size_t bytes = size * count;
    if (sink->body.size() + bytes > sink->limit) {
        sink->overflow = true;
        return 0;
    }
    sink->body.append(data, bytes);
    return bytes;
}

class CurlHeaders {
public:
    explicit CurlHeaders(const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            if (curl_slist* next = curl_slist_append(m_list, line.c_str())) {
                m_list = next;
            }
        }
    }
    ~CurlHeaders() { curl_slist_free_all(m_list); }
    CurlHeaders(const CurlHeaders&) = delete;
    CurlHeaders& operator=(const CurlHeaders&) = delete;
    curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

inline bool isTlsFailure(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_USE_SSL_FAILED:
        return true;
    default:
        return false;
    }
}

// What a failed transfer says about the camera, for each client to name in
// its own terms.
enum class CurlFault { Identity, Timeout, Internal, Network };

// `pinned`: the connection had to show a known key. A handshake that fails
// then puts the camera's identity in doubt, not the network: a stand-in
// that speaks no TLS, or other TLS, gets no credentials and no retry.
inline CurlFault classifyCurl(CURL* curl, CURLcode code, bool pinned) {
    if (code == CURLE_SSL_PINNEDPUBKEYNOTMATCH || (pinned && isTlsFailure(code))) {
        return CurlFault::Identity;
    }
    long osError = 0;
    if (code == CURLE_COULDNT_CONNECT &&
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError) == CURLE_OK &&
        osError == EHOSTUNREACH) {
        // Nothing on the link answered for the address: a camera unplugged
        // or switched off, as with a connect timeout, not one that refused.
        return CurlFault::Timeout;
    }
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return CurlFault::Timeout;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
        return CurlFault::Internal;
    default:
        return CurlFault::Network;
    }
}

// Cameras sign their own certificates, so no authority vouches for them:
// the key is what identifies a camera. The handshake's chain check notes
// the key shown and ends the handshake when it is not the pinned one,
// before a byte of the request leaves. The pin is held here rather than by
// libcurl's own pin option: setting that option once the first contact's
// key is known would change the handle's TLS settings, and libcurl would
// then open a new connection (a second handshake) for the next request.
inline int checkKey(X509_STORE_CTX* store, void* data) {
    auto* key = static_cast<TlsKey*>(data);
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    key->seen = leaf != nullptr ? keyPin(leaf) : std::string();
    key->refused = !key->pin.empty() && key->seen != key->pin;
    if (key->refused) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    return 1;
}

// CURLOPT_SSL_CTX_FUNCTION: libcurl asked for no chain check (no authority
// vouches for a camera), so the check above is made to count.
inline CURLcode checkKeyOnHandshake(CURL*, void* context, void* key) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    SSL_CTX_set_cert_verify_callback(ctx, checkKey, key);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    return CURLE_OK;
}

// TLS as both clients hold a camera to its key: TLS 1.2 at least, no
// authority (the certificate is the camera's own), the key shown noted into
// `key` and held to its pin where one is known, every connection showing it
// again (no session resumption).
inline void pinnedTls(CURL* curl, TlsKey* key) {
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, checkKeyOnHandshake);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, key);
    curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
}

// An open file sent as a request body (CURLOPT_READFUNCTION and
// CURLOPT_SEEKFUNCTION with the source as their data).
struct CurlFileSource {
    int fd = -1;
    curl_off_t size = 0;
    curl_off_t position = 0;
    bool failed = false;
    bool cancelled = false;
};

inline size_t curlReadFile(char* buffer, size_t size, size_t count, void* user) {
    auto* source = static_cast<CurlFileSource*>(user);
    const curl_off_t left = source->size - source->position;
    if (left <= 0) {
        return 0;
    }
    const size_t want = std::min(size * count, static_cast<size_t>(left));
    ssize_t got = 0;
    do {
        got = ::read(source->fd, buffer, want);
    } while (got < 0 && errno == EINTR);
    // A file that ends early or cannot be read is a failed upload, never a
    // short one that the camera might take for complete.
    if (got <= 0) {
        source->failed = true;
        return CURL_READFUNC_ABORT;
    }
    source->position += got;
    return static_cast<size_t>(got);
}

inline int curlSeekFile(void* user, curl_off_t offset, int origin) {
    auto* source = static_cast<CurlFileSource*>(user);
    if (origin != SEEK_SET || ::lseek(source->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    source->position = offset;
    return CURL_SEEKFUNC_OK;
}

} // namespace qvipc::wire
