#include "onvifc/Soap.h"

#include "onvifc/wire/Token.h"
#include "qvipcsdk/wire/CurlParts.h"
#include "qvipcsdk/wire/DigestAuth.h"

#include <curl/curl.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace onvifc {

namespace {

using qvipc::wire::CurlHeaders;
using qvipc::wire::CurlSink;
using qvipc::wire::startsWithNoCase;
using wire::Node;

Error errorFromCurl(CURL* curl, CURLcode code, bool pinned) {
    switch (qvipc::wire::classifyCurl(curl, code, pinned)) {
    case qvipc::wire::CurlFault::Identity:
        return Error::Identity;
    case qvipc::wire::CurlFault::Timeout:
        return Error::Timeout;
    case qvipc::wire::CurlFault::Internal:
    case qvipc::wire::CurlFault::Network:
        break;
    }
    return Error::Unreachable;
}

std::string randomBytes(std::size_t count) {
    std::string out(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1) {
        return {};
    }
    return out;
}

std::string prefixOf(std::string_view ns) {
    if (ns == kDeviceNs) {
        return "tds";
    }
    if (ns == kMediaNs) {
        return "trt";
    }
    if (ns == kImagingNs) {
        return "timg";
    }
    return "tt";
}

// SOAP 1.2's Code/Subcode chain, or SOAP 1.1's faultcode.
SoapFault readFault(Node fault) {
    static constexpr std::string_view kSoap12 = wire::kSoap12;
    SoapFault out;
    if (const Node code = wire::child(fault, kSoap12, "Code")) {
        out.code = wire::qname(wire::child(code, kSoap12, "Value"),
                               wire::text(wire::child(code, kSoap12, "Value")))
                       .value_or(std::pair<std::string, std::string>());
        Node sub = wire::child(code, kSoap12, "Subcode");
        for (int depth = 0; sub != nullptr && depth < 8; ++depth) {
            const Node value = wire::child(sub, kSoap12, "Value");
            if (auto name = wire::qname(value, wire::text(value))) {
                out.subcodes.push_back(std::move(*name));
            }
            sub = wire::child(sub, kSoap12, "Subcode");
        }
        const Node reason = wire::child(fault, kSoap12, "Reason");
        out.reason = wire::text(wire::child(reason, kSoap12, "Text"));
    } else {
        // SOAP 1.1 puts its parts in no namespace.
        const Node faultcode = wire::childAnyNs(fault, "faultcode");
        out.code = wire::qname(faultcode, wire::text(faultcode))
                       .value_or(std::pair<std::string, std::string>());
        out.reason = wire::text(wire::childAnyNs(fault, "faultstring"));
    }
    return out;
}

Error errorOfFault(const SoapFault& fault, long status) {
    for (const auto& [ns, local] : fault.subcodes) {
        if (ns != kErrorNs) {
            continue;
        }
        if (local == "NotAuthorized") {
            return Error::NotAuthorized;
        }
        if (local == "ActionNotSupported" || local == "NoImagingForSource" ||
            local == "NotSupported") {
            return Error::NotSupported;
        }
        if (local == "InvalidArgVal" || local == "InvalidArgs" || local == "InvalidArg" ||
            local == "OperationProhibited") {
            return Error::InvalidArg;
        }
    }
    if (status == 401 || status == 403) {
        return Error::NotAuthorized;
    }
    return Error::Fault;
}

} // namespace

const char* ErrorText(Error error) {
    switch (error) {
    case Error::None:
        return "done";
    case Error::Timeout:
        return "no answer";
    case Error::Unreachable:
        return "unreachable";
    case Error::NotAuthorized:
        return "user name or password refused";
    case Error::NotSupported:
        return "not supported by this camera";
    case Error::InvalidArg:
        return "the camera refused a value";
    case Error::Fault:
        return "the camera reported a failure";
    case Error::BadReply:
        return "the camera's answer could not be read";
    case Error::Identity:
        return "not the key the camera is trusted by";
    }
    return "unknown";
}

std::string Envelope(const Request& request, std::string_view security) {
    const std::string prefix = prefixOf(request.ns);
    std::string out;
    out.reserve(1024 + request.content.size());
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
           " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\">";
    if (!security.empty()) {
        out += "<s:Header>";
        out += security;
        out += "</s:Header>";
    }
    out += "<s:Body><" + prefix + ":" + std::string(request.name) + ">";
    out += request.content;
    out += "</" + prefix + ":" + std::string(request.name) + "></s:Body></s:Envelope>";
    return out;
}

std::string UsernameTokenHeader(std::string_view user, std::string_view password,
                                std::string_view nonce, std::string_view created) {
    return "<wsse:Security s:mustUnderstand=\"true\" xmlns:wsse=\"" + std::string(wire::kWsse) +
           "\" xmlns:wsu=\"" + std::string(wire::kWsu) + "\"><wsse:UsernameToken><wsse:Username>" +
           wire::escape(user) +
           "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           wire::passwordDigest(nonce, created, password) +
           "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" +
           wire::base64(nonce) + "</wsse:Nonce><wsu:Created>" + std::string(created) +
           "</wsu:Created></wsse:UsernameToken></wsse:Security>";
}

Reply ReadReply(long status, std::string body, std::size_t limit) {
    Reply reply;
    reply.status = status;
    reply.document = wire::XmlDocument::parse(body, limit);
    const Node root = reply.document ? reply.document->root() : nullptr;
    std::string_view soap = wire::kSoap12;
    if (!wire::is(root, soap, "Envelope")) {
        soap = wire::kSoap11;
    }
    const Node content = wire::firstChild(wire::child(root, soap, "Body"));
    if (content == nullptr) {
        // Digest-only cameras answer a refused request with an HTML page.
        reply.error = status == 401 || status == 403 ? Error::NotAuthorized : Error::BadReply;
        reply.detail = "HTTP " + std::to_string(status) + " without a SOAP answer";
        return reply;
    }
    if (wire::is(content, soap, "Fault")) {
        reply.fault = readFault(content);
        reply.error = errorOfFault(reply.fault, status);
        reply.detail = reply.fault.reason;
        for (const auto& sub : reply.fault.subcodes) {
            reply.detail += (reply.detail.empty() ? "" : " ") + ("[" + sub.second + "]");
        }
        return reply;
    }
    if (status < 200 || status >= 300) {
        reply.error = Error::BadReply;
        reply.detail = "HTTP " + std::to_string(status);
        return reply;
    }
    reply.body = content;
    return reply;
}

struct CSoapClient::Http {
    struct Deleter {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };
    std::unique_ptr<CURL, Deleter> curl;
    qvipc::wire::DigestLogin digest;
    bool tls = false;
    std::string pin;
    // What the handle's handshakes note and are held to (its address is
    // the handle's CURLOPT_SSL_CTX_DATA).
    qvipc::wire::TlsKey key;
};

const std::string& CSoapClient::SeenPin() const {
    return m_http->key.seen;
}

CSoapClient::CSoapClient(std::string user, std::string password, Limits limits)
    : m_user(std::move(user)), m_password(std::move(password)), m_limits(limits),
      m_http(std::make_unique<Http>()) {}

CSoapClient::~CSoapClient() = default;

void CSoapClient::SetPassword(std::string password) {
    m_password = std::move(password);
    // A Digest nonce answered with the old password is of no use any more.
    m_http->digest = {};
}

void CSoapClient::RequireTls(std::string pin) {
    m_http->tls = true;
    m_http->pin = std::move(pin);
    CloseConnection();
}

void CSoapClient::CloseConnection() {
    m_http->curl.reset();
}

CSoapClient::SystemClock::time_point CSoapClient::CameraNow() const {
    if (!m_clock) {
        return SystemClock::now();
    }
    const auto since = SteadyClock::now() - m_clock->second;
    return m_clock->first + std::chrono::duration_cast<SystemClock::duration>(since);
}

Reply CSoapClient::post(const std::string& url, const Request& request, bool token) {
    Http& http = *m_http;
    if (!http.curl) {
        http.curl.reset(curl_easy_init());
        if (!http.curl) {
            return {Error::Unreachable, 0, std::nullopt, nullptr, {}, "libcurl failed"};
        }
        CURL* c = http.curl.get();
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, qvipc::wire::curlBody);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, qvipc::wire::curlHeader);
        curl_easy_setopt(c, CURLOPT_PROXY, "");
        curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
        // Service addresses come from the camera: never follow one to
        // another scheme, and over TLS never back to plain HTTP.
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, http.tls ? "https" : "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_MAXAGE_CONN, 2L);
        curl_easy_setopt(c, CURLOPT_MAXCONNECTS, 1L);
        qvipc::wire::pinnedTls(c, &http.key);
    }
    CURL* c = http.curl.get();
    if (http.tls && !startsWithNoCase(url, "https://")) {
        return {Error::Identity, 0, std::nullopt, nullptr, {}, "a plain address for a TLS camera"};
    }
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connect.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.total.count()));
    std::string path = "/";
    if (const auto scheme = url.find("://"); scheme != std::string::npos) {
        const auto slash = url.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : url.substr(slash);
    }
    const bool credentials = !m_user.empty();
    Reply reply;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // A fresh nonce for every request, the retry after a challenge too:
        // a camera remembers the nonces it saw.
        std::string security;
        if (token && credentials) {
            security = UsernameTokenHeader(m_user, m_password, randomBytes(16),
                                           wire::isoTime(CameraNow()));
        }
        const std::string body = Envelope(request, security);
        std::vector<std::string> lines{"Content-Type: application/soap+xml; charset=utf-8; "
                                       "action=\"" +
                                           std::string(request.ns) + "/" +
                                           std::string(request.name) + "\"",
                                       "Expect:"};
        const bool answered = credentials && http.digest.ready();
        if (answered) {
            lines.push_back("Authorization: " +
                            http.digest.answer(m_user, m_password, "POST", path));
        }
        const CurlHeaders headers(lines);
        CurlSink sink;
        sink.limit = m_limits.maxReply;
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
        http.key.pin = http.pin;
        http.key.refused = false;
        const CURLcode code = curl_easy_perform(c);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
        if (sink.overflow) {
            return {Error::BadReply, 0, std::nullopt, nullptr, {}, "an answer beyond the limit"};
        }
        if (code != CURLE_OK) {
            reply = {};
            reply.error =
                http.key.refused ? Error::Identity : errorFromCurl(c, code, !http.pin.empty());
            reply.detail = curl_easy_strerror(code);
            return reply;
        }
        if (http.tls && http.pin.empty() && !http.key.seen.empty()) {
            // The first handshake's key: every later connection of this
            // client must show the same one.
            http.pin = http.key.seen;
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        if (status == 401 && credentials) {
            // The first challenge, or a stale nonce, is answered once; a
            // refusal of an answer to a good nonce refuses the credentials.
            const bool stale = qvipc::wire::DigestLogin::stale(sink.challenges);
            if ((!answered || stale) && http.digest.take(sink.challenges)) {
                continue;
            }
        }
        return ReadReply(status, std::move(sink.body), m_limits.maxReply);
    }
    return {Error::NotAuthorized, 401, std::nullopt, nullptr, {}, "Digest refused"};
}

Reply CSoapClient::Call(const std::string& url, const Request& request) {
    const bool secret = !request.anonymous && !m_user.empty();
    Reply reply = post(url, request, secret && !m_digestOnly);
    if (!secret || reply.error != Error::NotAuthorized || m_deviceUrl.empty()) {
        return reply;
    }
    // A token made against a clock the camera no longer has: ask its time
    // again, then once more with a fresh token.
    if (!m_digestOnly && LearnClock(m_deviceUrl)) {
        reply = post(url, request, true);
        if (reply.error != Error::NotAuthorized) {
            return reply;
        }
    }
    // Some cameras check tokens against a clock they do not report (one
    // that gives local time as UTC, say); HTTP Digest needs no clock.
    Reply digest = post(url, request, false);
    if (digest.Ok()) {
        m_digestOnly = true;
        return digest;
    }
    return digest.error == Error::NotAuthorized ? reply : digest;
}

bool CSoapClient::LearnClock(const std::string& deviceUrl) {
    m_deviceUrl = deviceUrl;
    const Request ask{kDeviceNs, "GetSystemDateAndTime", {}, true};
    Reply reply = post(deviceUrl, ask, false);
    if (reply.error == Error::NotAuthorized && !m_user.empty()) {
        // A camera that wants credentials even for its clock gets a token
        // made against ours (and Digest, where it asks).
        reply = post(deviceUrl, ask, true);
    }
    if (!reply.Ok()) {
        return false;
    }
    const Node utc = wire::child(wire::child(reply.body, kDeviceNs, "SystemDateAndTime"), kSchemaNs,
                                 "UTCDateTime");
    const Node date = wire::child(utc, kSchemaNs, "Date");
    const Node time = wire::child(utc, kSchemaNs, "Time");
    const auto number = [](Node node, std::string_view name) {
        const std::string value = wire::text(wire::child(node, kSchemaNs, name));
        int out = -1;
        if (value.empty() || value.size() > 4 ||
            !std::all_of(value.begin(), value.end(),
                         [](char ch) { return ch >= '0' && ch <= '9'; })) {
            return -1;
        }
        out = std::stoi(value);
        return out;
    };
    char text[40] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", number(date, "Year"),
                  number(date, "Month"), number(date, "Day"), number(time, "Hour"),
                  number(time, "Minute"), number(time, "Second"));
    const auto when = wire::parseIsoTime(text);
    if (!when) {
        return false;
    }
    m_clock = std::pair(*when, SteadyClock::now());
    m_clockAnswer = std::move(reply.document);
    return true;
}

CSoapClient::Uploaded CSoapClient::Upload(const std::string& url, const std::string& path,
                                          const std::function<bool()>& cancelled) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {Error::None, 0, true, false};
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return {Error::None, 0, true, false};
    }
    struct Source : qvipc::wire::CurlFileSource {
        const std::function<bool()>* check = nullptr;
    } source;
    source.fd = fd;
    source.size = static_cast<curl_off_t>(info.st_size);
    source.check = &cancelled;
    const auto progress = +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
        auto* s = static_cast<Source*>(user);
        s->cancelled = *s->check && (*s->check)();
        return s->cancelled ? 1 : 0;
    };
    // The upload gets a connection of its own: the address is the camera's,
    // and a large image must not share the SOAP connection's time limit.
    const std::unique_ptr<CURL, Http::Deleter> curl(curl_easy_init());
    if (!curl) {
        return {Error::Unreachable, 0, false, false};
    }
    CURL* c = curl.get();
    const CurlHeaders headers({"Content-Type: application/octet-stream", "Expect:"});
    CurlSink sink;
    sink.limit = 64 * 1024;
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, m_http->tls ? "https" : "http,https");
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    if (!m_http->pin.empty()) {
        curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, m_http->pin.c_str());
    }
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_READFUNCTION, qvipc::wire::curlReadFile);
    // The read and seek callbacks see the file part of the source.
    qvipc::wire::CurlFileSource* file = &source;
    curl_easy_setopt(c, CURLOPT_READDATA, file);
    curl_easy_setopt(c, CURLOPT_SEEKFUNCTION, qvipc::wire::curlSeekFile);
    curl_easy_setopt(c, CURLOPT_SEEKDATA, file);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, source.size);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &source);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, qvipc::wire::curlBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, qvipc::wire::curlHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connect.count()));
    // As long as the link needs, within a cap; a transfer that stops
    // moving or crawls is given up.
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 30L * 60L * 1000L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 64L * 1024L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                     std::max(2L, static_cast<long>(m_limits.total.count() / 1000)));
    const CURLcode code = curl_easy_perform(c);
    if (source.cancelled) {
        return {Error::None, 0, false, true};
    }
    if (source.failed) {
        return {Error::None, 0, true, false};
    }
    if (code != CURLE_OK) {
        return {errorFromCurl(c, code, !m_http->pin.empty()), 0, false, false};
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    return {status >= 200 && status < 300 ? Error::None : Error::Fault, status, false, false};
}

} // namespace onvifc
