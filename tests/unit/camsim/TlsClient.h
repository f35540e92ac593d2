#pragma once
// An outside client's view of a TLS port: the certificate OpenSSL is shown,
// and libcurl calls pinned to a camera's key (the control channel's tlsPin,
// libcurl's own pin form).

#include "qvsp/wire/UniqueFd.h"

#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <string>

// The certificate a server presents at ip:port (PEM), with at most
// `maxVersion` (0: any); empty when the handshake fails.
inline std::string peerCertificate(const std::string& ip, int port, int maxVersion = 0) {
    const qvsp::wire::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    timeval limit{2, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {};
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    if (maxVersion != 0)
        SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
    SSL_CTX_set_security_level(ctx.get(), 0);
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
    SSL_set_fd(ssl.get(), fd.get());
    if (SSL_connect(ssl.get()) != 1)
        return {};
    std::unique_ptr<X509, decltype(&X509_free)> cert(SSL_get1_peer_certificate(ssl.get()),
                                                     X509_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!cert || PEM_write_bio_X509(bio.get(), cert.get()) != 1)
        return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

struct Answer {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

inline std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One call with libcurl: pinned to `pin` (over https), with Digest when a
// password is given; a POST of `post` when given, a GET otherwise.
inline Answer curlCall(const std::string& url, const std::string& pin, const char* password,
                       const std::string* post, const char* type) {
    Answer answer;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, 2000L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 4000L);
    // Self-signed: trust comes from the pin alone, as the SDK does it.
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    if (!pin.empty())
        curl_easy_setopt(curl.get(), CURLOPT_PINNEDPUBLICKEY, pin.c_str());
    if (password) {
        curl_easy_setopt(curl.get(), CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
        curl_easy_setopt(curl.get(), CURLOPT_USERNAME, "admin");
        curl_easy_setopt(curl.get(), CURLOPT_PASSWORD, password);
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr,
                                                                        curl_slist_free_all);
    if (post) {
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, post->data());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(post->size()));
        headers.reset(curl_slist_append(nullptr, (std::string("Content-Type: ") + type).c_str()));
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    }
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
    answer.code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

inline Answer curlGet(const std::string& url, const std::string& pin,
                      const char* password = nullptr) {
    return curlCall(url, pin, password, nullptr, nullptr);
}

inline Answer curlPost(const std::string& url, const std::string& pin, const std::string& body,
                       const char* password = nullptr,
                       const char* type = "application/soap+xml; charset=utf-8") {
    return curlCall(url, pin, password, &body, type);
}
