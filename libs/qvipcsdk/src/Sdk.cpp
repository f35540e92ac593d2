#include "qvipcsdk/QvIpcSdk.h"

#include "Answers.h"
#include "Session.h"
#include "Texts.h"
#include "liveplay/LivePlay.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qvsdk::HttpResult;
using qvsdk::Session;

std::mutex g_initLock;
int g_initCount = 0;

thread_local int t_lastError = QV_ERR_NONE;

int fail(int error) {
    t_lastError = error;
    return -1;
}

int succeed() {
    t_lastError = QV_ERR_NONE;
    return 0;
}

// Each connection held open also holds a worker of the camera's server, so
// only the most recently used logins keep theirs.
constexpr std::size_t kMaxOpenConnections = 16;

// Handles are indexes into a table that only grows: a handle is never
// reused and stays valid until the process ends.
class Registry {
public:
    int add(std::shared_ptr<Session> session) {
        std::lock_guard guard(m_lock);
        if (m_sessions.size() >= static_cast<std::size_t>(INT_MAX)) {
            return -1;
        }
        m_sessions.push_back(std::move(session));
        return static_cast<int>(m_sessions.size());
    }

    std::shared_ptr<Session> find(int handle) {
        std::lock_guard guard(m_lock);
        if (handle <= 0 || static_cast<std::size_t>(handle) > m_sessions.size()) {
            return nullptr;
        }
        return m_sessions[static_cast<std::size_t>(handle) - 1];
    }

    // Called after a call finished, without the session's lock held.
    void noteUsed(const std::shared_ptr<Session>& session) {
        std::vector<std::shared_ptr<Session>> idle;
        {
            std::lock_guard guard(m_lock);
            m_recent.erase(std::remove(m_recent.begin(), m_recent.end(), session), m_recent.end());
            m_recent.push_back(session);
            while (m_recent.size() > kMaxOpenConnections) {
                idle.push_back(m_recent.front());
                m_recent.pop_front();
            }
        }
        for (auto& old : idle) {
            // A session busy on another thread keeps its connection this time.
            std::unique_lock sessionGuard(old->lock(), std::try_to_lock);
            if (sessionGuard.owns_lock()) {
                old->closeConnection();
            }
        }
    }

    // Closes every login's connection, waiting for a call in flight: the
    // TLS state of a connection goes before the TLS library is cleaned up.
    void closeConnections() {
        std::vector<std::shared_ptr<Session>> sessions;
        {
            std::lock_guard guard(m_lock);
            sessions = m_sessions;
            m_recent.clear();
        }
        for (const auto& session : sessions) {
            std::lock_guard sessionGuard(session->lock());
            session->closeConnection();
        }
    }

private:
    std::mutex m_lock;
    std::vector<std::shared_ptr<Session>> m_sessions;
    std::deque<std::shared_ptr<Session>> m_recent;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// Runs one call on a session: finds the handle, serialises use of the
// session, turns the HTTP outcome into 0 / -1 plus the error number.
template <typename Call>
int withSession(int handle, Call&& call) {
    try {
        auto session = registry().find(handle);
        if (!session) {
            return fail(QV_ERR_BAD_HANDLE);
        }
        int error = QV_ERR_NONE;
        {
            std::lock_guard guard(session->lock());
            error = call(*session);
        }
        registry().noteUsed(session);
        return error == QV_ERR_NONE ? succeed() : fail(error);
    } catch (...) {
        return fail(QV_ERR_INTERNAL);
    }
}

// Reads a record: the record is written only after the answer passed the parser.
template <typename Record, typename Parser>
int getRecord(int handle, Record* record, const std::string& path, Parser parse) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle, [&](Session& session) {
        const HttpResult result = session.get(path);
        if (result.error != QV_ERR_NONE) {
            return result.error;
        }
        Record parsed{};
        if (!parse(result.body, parsed)) {
            return QV_ERR_MALFORMED;
        }
        *record = parsed;
        return QV_ERR_NONE;
    });
}

int sendBody(int handle, const char* method, const std::string& path,
             const std::optional<std::string>& body) {
    if (!body) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle,
                       [&](Session& session) { return session.send(method, path, *body).error; });
}

template <typename Record, typename Builder>
int setRecord(int handle, const Record* record, const std::string& path, Builder build) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    // A bad handle is reported as such even when the record is also bad.
    if (!registry().find(handle)) {
        return fail(QV_ERR_BAD_HANDLE);
    }
    return sendBody(handle, "PUT", path, build(*record));
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

std::string queryEscape(const std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        }
    }
    return out;
}

int uploadFile(int handle, const char* escapedPath, const char* endpoint) {
    if (escapedPath == nullptr || *escapedPath == '\0') {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    if (!registry().find(handle)) {
        return fail(QV_ERR_BAD_HANDLE);
    }
    const std::string path = qvsdk::unescapeText(escapedPath);
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return fail(QV_ERR_FILE);
    }
    // The camera judges an image by its name, which may come with either
    // kind of separator.
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!qvsdk::isValidUtf8(name)) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    const std::string target = std::string(endpoint) + "?name=" + queryEscape(name);
    return withSession(handle, [&](Session& session) {
        return session.upload(target, file.fd, static_cast<long long>(info.st_size)).error;
    });
}

bool validPort(int port) {
    return port > 0 && port <= 65535;
}

// Live views, one per login handle at most.
liveplay::CViews& liveViews() {
    static liveplay::CViews views;
    return views;
}

int sdkError(liveplay::Error error) {
    switch (error) {
    case liveplay::Error::Ok:
        return QV_ERR_NONE;
    case liveplay::Error::Unavailable:
        return QV_ERR_NOT_SUPPORTED;
    case liveplay::Error::BadArgument:
        return QV_ERR_BAD_ARGUMENT;
    case liveplay::Error::NotAuthorized:
        return QV_ERR_AUTH;
    case liveplay::Error::Network:
        return QV_ERR_NETWORK;
    case liveplay::Error::Timeout:
        return QV_ERR_TIMEOUT;
    case liveplay::Error::Stream:
        return QV_ERR_DEVICE;
    case liveplay::Error::Internal:
        break;
    }
    return QV_ERR_INTERNAL;
}

} // namespace

extern "C" int Qv_Sdk_Init(void) {
    std::lock_guard lock(g_initLock);
    if (g_initCount == 0 && curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return -1;
    }
    ++g_initCount;
    return 0;
}

extern "C" int Qv_Sdk_Destroy(void) {
    std::lock_guard lock(g_initLock);
    if (g_initCount == 0) {
        return -1;
    }
    if (--g_initCount == 0) {
        liveViews().StopAll();
        registry().closeConnections();
        curl_global_cleanup();
    }
    return 0;
}

extern "C" int Qv_Sdk_GetLastError(void) {
    return t_lastError;
}

extern "C" int Qv_Sdk_SetTimeouts(int connectMs, int requestMs) {
    if (connectMs < 0 || requestMs < 0) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    if (connectMs > 0) {
        qvsdk::settings().connectMs = connectMs;
    }
    if (requestMs > 0) {
        qvsdk::settings().requestMs = requestMs;
    }
    return succeed();
}

extern "C" int Qv_Sdk_GetTimeouts(int* connectMs, int* requestMs) {
    if (connectMs != nullptr) {
        *connectMs = static_cast<int>(qvsdk::settings().connectMs.load());
    }
    if (requestMs != nullptr) {
        *requestMs = static_cast<int>(qvsdk::settings().requestMs.load());
    }
    return succeed();
}

extern "C" int Qv_Sdk_SetCancelCheck(QvCancelCheck check, void* context) {
    qvsdk::SetThreadCancelCheck(check, context);
    return succeed();
}

extern "C" int Qv_Sdk_SetConnectionReuse(int on) {
    qvsdk::settings().reuse = on != 0;
    return succeed();
}

namespace {

struct LoginArguments {
    std::string ip; // canonical dotted form
    std::string user;
    std::string password;
};

// The checks every login makes before it sends anything.
std::optional<LoginArguments> loginArguments(const char* ipAddr, int httpPort, const char* user,
                                             const char* password) {
    in_addr address{};
    if (ipAddr == nullptr || user == nullptr || password == nullptr ||
        inet_pton(AF_INET, ipAddr, &address) != 1 || !validPort(httpPort) ||
        std::strlen(user) > 31 || std::strlen(password) > 15) {
        return std::nullopt;
    }
    LoginArguments arguments{{}, qvsdk::unescapeText(user), qvsdk::unescapeText(password)};
    if (!qvsdk::isValidUtf8(arguments.user) || !qvsdk::isValidUtf8(arguments.password)) {
        return std::nullopt;
    }
    char canonical[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, canonical, sizeof canonical);
    arguments.ip = canonical;
    return arguments;
}

// Logs in on `session`; the error number, and on success the new handle.
int logIn(const std::shared_ptr<Session>& session, int& handle) {
    HttpResult result = session->get("/api/v1/device");
    qvsdk::DeviceInfo info;
    if (result.error == QV_ERR_NONE && !qvsdk::parseDeviceInfo(result.body, info)) {
        result.error = QV_ERR_MALFORMED;
    }
    if (result.error != QV_ERR_NONE) {
        return result.error;
    }
    handle = registry().add(session);
    if (handle < 0) {
        return QV_ERR_INTERNAL;
    }
    registry().noteUsed(session);
    return QV_ERR_NONE;
}

// What a camera says of TLS on its plain port, before any credentials.
struct TlsOffer {
    int error = QV_ERR_NONE; // the camera could not be asked
    int port = 0;            // 0: it offers none
};

TlsOffer askTlsOffer(const std::string& ip, int httpPort) {
    const HttpResult result =
        qvsdk::Probe("http://" + ip + ":" + std::to_string(httpPort) + "/api/v1/tls");
    TlsOffer offer;
    if (result.error == QV_ERR_NETWORK || result.error == QV_ERR_TIMEOUT ||
        result.error == QV_ERR_INTERNAL) {
        offer.error = result.error;
    } else if (result.status >= 500) {
        // A web server that cannot answer yet (a camera still booting) has
        // not said that the camera offers no TLS.
        offer.error = QV_ERR_NETWORK;
    } else if (result.status != 200 || !qvsdk::parseTlsOffer(result.body, offer.port)) {
        // A camera without TLS, including one older than the question.
        offer.port = 0;
    }
    return offer;
}

int loginTrusted(const LoginArguments& a, int httpPort, QvTrust& trust, int& handle) {
    const std::string pin(trust.pin, strnlen(trust.pin, sizeof trust.pin));
    const auto session = [&](int tlsPort) {
        return std::make_shared<Session>(a.ip, httpPort, a.user, a.password,
                                         qvsdk::Tls{tlsPort, pin});
    };
    const auto done = [&](const std::shared_ptr<Session>& s) {
        const qvsdk::Tls& used = s->tls();
        std::memset(trust.pin, 0, sizeof trust.pin);
        std::memcpy(trust.pin, used.pin.data(), std::min(used.pin.size(), sizeof trust.pin - 1));
        trust.tlsPort = used.port;
        return QV_ERR_NONE;
    };
    if (pin.empty()) {
        const TlsOffer offer = askTlsOffer(a.ip, httpPort);
        if (offer.error != QV_ERR_NONE) {
            return offer.error;
        }
        const auto s = session(offer.port);
        const int error = logIn(s, handle);
        return error == QV_ERR_NONE ? done(s) : error;
    }
    // A pinned camera is met on its TLS port only. When that port does not
    // answer or its handshake fails, the camera is asked on its plain port
    // whether it moved it (the new port is held to the same key): a camera
    // that answers there but offers no TLS any more is not the one that was
    // pinned, or was reset, and gets no credentials.
    const int port = trust.tlsPort;
    int error = QV_ERR_TIMEOUT;
    if (port != 0) {
        const auto s = session(port);
        error = logIn(s, handle);
        if (error == QV_ERR_NONE) {
            return done(s);
        }
        if (error != QV_ERR_NETWORK && error != QV_ERR_TIMEOUT && error != QV_ERR_IDENTITY) {
            return error;
        }
    }
    const TlsOffer offer = askTlsOffer(a.ip, httpPort);
    if (offer.error != QV_ERR_NONE) {
        return port != 0 ? error : offer.error;
    }
    if (offer.port == 0) {
        return QV_ERR_IDENTITY;
    }
    if (offer.port == port) {
        return error;
    }
    const auto s = session(offer.port);
    error = logIn(s, handle);
    return error == QV_ERR_NONE ? done(s) : error;
}

bool validPin(const QvTrust& trust) {
    const std::size_t length = strnlen(trust.pin, sizeof trust.pin);
    return length < sizeof trust.pin &&
           (length == 0 || std::string_view(trust.pin, length).starts_with("sha256//")) &&
           (trust.tlsPort == 0 || validPort(trust.tlsPort));
}

} // namespace

extern "C" int Qv_Ipc_Login(const char* ipAddr, const char* /*ipAddr2*/, int httpPort,
                            const char* user, const char* password, int /*reserved*/) {
    try {
        const auto arguments = loginArguments(ipAddr, httpPort, user, password);
        if (!arguments) {
            fail(QV_ERR_BAD_ARGUMENT);
            return -1;
        }
        auto session = std::make_shared<Session>(arguments->ip, httpPort, arguments->user,
                                                 arguments->password);
        int handle = -1;
        const int error = logIn(session, handle);
        if (error != QV_ERR_NONE) {
            fail(error);
            return -1;
        }
        succeed();
        return handle;
    } catch (...) {
        fail(QV_ERR_INTERNAL);
        return -1;
    }
}

extern "C" int Qv_Ipc_LoginTrusted(const char* ipAddr, int httpPort, const char* user,
                                   const char* password, QvTrust* trust) {
    try {
        const auto arguments = loginArguments(ipAddr, httpPort, user, password);
        if (!arguments || trust == nullptr || !validPin(*trust)) {
            fail(QV_ERR_BAD_ARGUMENT);
            return -1;
        }
        QvTrust result = *trust;
        int handle = -1;
        const int error = loginTrusted(*arguments, httpPort, result, handle);
        if (error != QV_ERR_NONE) {
            fail(error);
            return -1;
        }
        *trust = result;
        succeed();
        return handle;
    } catch (...) {
        fail(QV_ERR_INTERNAL);
        return -1;
    }
}

extern "C" int Qv_Ipc_GetSystemDate(int handle, QvSystemDate* record) {
    return getRecord(handle, record, "/api/v1/system/date", qvsdk::parseSystemDate);
}

extern "C" int Qv_Ipc_SetSystemDate(int handle, const QvSystemDate* record) {
    return setRecord(handle, record, "/api/v1/system/date", qvsdk::systemDateRequest);
}

extern "C" int Qv_Ipc_GetDeviceInfo(int handle, QvDeviceInfo* record) {
    return getRecord(handle, record, "/api/v1/device", qvsdk::parseDeviceRecord);
}

extern "C" int Qv_Ipc_GetPortInfo(int handle, QvPortInfo* record) {
    return getRecord(handle, record, "/api/v1/network/ports", qvsdk::parsePortInfo);
}

extern "C" int Qv_Ipc_SetPortInfo(int handle, const QvPortInfo* record) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    const auto body = qvsdk::portInfoRequest(*record);
    if (!registry().find(handle)) {
        return fail(QV_ERR_BAD_HANDLE);
    }
    if (!body) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle, [&](Session& session) {
        const int error = session.send("PUT", "/api/v1/network/ports", *body).error;
        // The camera answers on the old port and moves its API to the new
        // one: the handle follows, so a DDNS change after a port change in
        // the same Save reaches the camera.
        if (error == QV_ERR_NONE && validPort(record->httpPort)) {
            session.setPort(record->httpPort);
        }
        return error;
    });
}

extern "C" int Qv_Ipc_GetDDNS(int handle, QvDdnsInfo* record) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle, [&](Session& session) {
        const HttpResult result = session.get("/api/v1/network/ddns");
        if (result.error != QV_ERR_NONE) {
            return result.error;
        }
        QvDdnsInfo parsed{};
        // The camera seals the DDNS password under these credentials.
        if (!qvsdk::parseDdns(result.body, parsed, [&](const qvipc::wire::Sealed& sealed) {
                return session.open(sealed, "ddns.get");
            })) {
            return QV_ERR_MALFORMED;
        }
        *record = parsed;
        return QV_ERR_NONE;
    });
}

extern "C" int Qv_Ipc_SetDDNS(int handle, const QvDdnsInfo* record) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle, [&](Session& session) {
        int error = QV_ERR_NONE;
        const auto body = qvsdk::ddnsRequest(*record, [&](std::string_view secret) {
            return session.seal("ddns.set", secret, error);
        });
        if (!body) {
            return error != QV_ERR_NONE ? error : QV_ERR_BAD_ARGUMENT;
        }
        return session.send("PUT", "/api/v1/network/ddns", *body).error;
    });
}

extern "C" int Qv_Ipc_GetVideoConfig(int handle, QvVideoConfig* record) {
    if (record == nullptr || record->stream > 1) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    const int stream = record->stream;
    return getRecord(handle, record, "/api/v1/video/streams/" + std::to_string(stream),
                     [stream](std::string_view body, QvVideoConfig& out) {
                         return qvsdk::parseVideoConfig(body, stream, out);
                     });
}

extern "C" int Qv_Ipc_SetVideoConfig(int handle, const QvVideoConfig* record) {
    if (record == nullptr) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return setRecord(handle, record, "/api/v1/video/streams/" + std::to_string(record->stream),
                     qvsdk::videoConfigRequest);
}

extern "C" int Qv_Ipc_GetImagingConfig(int handle, QvImagingConfig* record) {
    return getRecord(handle, record, "/api/v1/video/imaging", qvsdk::parseImagingConfig);
}

extern "C" int Qv_Ipc_SetImagingConfig(int handle, const QvImagingConfig* record) {
    return setRecord(handle, record, "/api/v1/video/imaging", qvsdk::imagingConfigRequest);
}

extern "C" int Qv_Ipc_GetImagingSettings(int handle, QvImagingSettings* record) {
    return getRecord(handle, record, "/api/v1/video/picture", qvsdk::parseImagingSettings);
}

extern "C" int Qv_Ipc_SetImagingSettings(int handle, const QvImagingSettings* record) {
    return setRecord(handle, record, "/api/v1/video/picture", qvsdk::imagingSettingsRequest);
}

extern "C" int Qv_Ipc_SetDeviceName(int handle, const char* encodedName) {
    if (encodedName == nullptr || std::strlen(encodedName) > 127) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    if (!registry().find(handle)) {
        return fail(QV_ERR_BAD_HANDLE);
    }
    return sendBody(handle, "PUT", "/api/v1/system/name", qvsdk::deviceNameRequest(encodedName));
}

extern "C" int Qv_Ipc_ModifyPassword(int handle, const char* user, const char* newPassword) {
    if (user == nullptr || newPassword == nullptr || std::strlen(user) > 31 ||
        std::strlen(newPassword) > 15) {
        return fail(QV_ERR_BAD_ARGUMENT);
    }
    return withSession(handle, [&](Session& session) {
        // The new password travels sealed under the current one.
        int error = QV_ERR_NONE;
        const auto body = qvsdk::passwordRequest(user, newPassword, [&](std::string_view secret) {
            return session.seal("password.set", secret, error);
        });
        if (!body) {
            return error != QV_ERR_NONE ? error : QV_ERR_BAD_ARGUMENT;
        }
        const HttpResult result = session.send("PUT", "/api/v1/system/password", *body);
        if (result.error == QV_ERR_NONE) {
            // Later calls on this handle authenticate with the new password.
            session.setPassword(qvsdk::unescapeText(newPassword));
        }
        return result.error;
    });
}

extern "C" int Qv_Ipc_RebootSystem(int handle) {
    return withSession(handle, [](Session& session) {
        const int error = session.send("POST", "/api/v1/system/reboot", "{}").error;
        // The camera goes silent; a kept connection would only fail later.
        session.closeConnection();
        return error;
    });
}

extern "C" int Qv_Ipc_RestoreSystem(int handle) {
    return withSession(handle, [](Session& session) {
        const int error = session.send("POST", "/api/v1/system/restore", "{}").error;
        session.closeConnection();
        return error;
    });
}

extern "C" int Qv_Ipc_UpdateFirmware(int handle, const char* path) {
    return uploadFile(handle, path, "/api/v1/system/firmware");
}

extern "C" int Qv_Ipc_UploadOemConfigFile(int handle, const char* path) {
    return uploadFile(handle, path, "/api/v1/system/oem");
}

namespace {

// The stream of the session's camera, played with its login: the camera
// names its RTSP port. Nothing (the port read's error left) when it cannot.
std::optional<liveplay::Source> liveSource(int handle, const std::shared_ptr<Session>& session) {
    QvPortInfo ports{};
    if (Qv_Ipc_GetPortInfo(handle, &ports) != 0) {
        return std::nullopt;
    }
    std::lock_guard guard(session->lock());
    return liveplay::Source{"rtsp://" + session->ip() + ":" + std::to_string(ports.rtspPort1) +
                                "/stream1",
                            session->user(), session->password()};
}

} // namespace

extern "C" int Qv_IpcClient_LivePlay(int handle, QvPlayInfo* play, int /*option1*/,
                                     int /*option2*/) {
    try {
        auto session = registry().find(handle);
        if (!session) {
            return fail(QV_ERR_BAD_HANDLE);
        }
        if (play == nullptr) {
            return fail(QV_ERR_BAD_ARGUMENT);
        }
        // A handle wider than 32 bits carries its upper half in bytes 8 to 11.
        std::uint32_t upper = 0;
        std::memcpy(&upper, play->reserved1, sizeof upper);
        const std::uint64_t window = (static_cast<std::uint64_t>(upper) << 32) | play->window;
        if (window == 0) {
            return fail(QV_ERR_BAD_ARGUMENT);
        }
        const std::optional<liveplay::Source> source = liveSource(handle, session);
        if (!source) {
            return -1; // the port read left its error number
        }
        const int error =
            sdkError(liveViews().Start(static_cast<std::uint64_t>(handle), *source, window));
        return error == QV_ERR_NONE ? succeed() : fail(error);
    } catch (...) {
        return fail(QV_ERR_INTERNAL);
    }
}

extern "C" int Qv_IpcClient_LivePlayFrames(int handle, const QvFrameTarget* target) {
    try {
        auto session = registry().find(handle);
        if (!session) {
            return fail(QV_ERR_BAD_HANDLE);
        }
        if (target == nullptr || target->frame == nullptr || target->width < 0 ||
            target->height < 0) {
            return fail(QV_ERR_BAD_ARGUMENT);
        }
        const std::optional<liveplay::Source> source = liveSource(handle, session);
        if (!source) {
            return -1;
        }
        const QvFrameTarget to = *target;
        liveplay::FrameTarget frames;
        frames.width = to.width;
        frames.height = to.height;
        frames.frame = [to](const liveplay::Frame& f) {
            const QvFrame frame{f.width, f.height, f.stride, f.pixels, f.streamBytes};
            to.frame(to.user, &frame);
        };
        if (to.ended != nullptr) {
            frames.ended = [to](liveplay::Error error) { to.ended(to.user, sdkError(error)); };
        }
        const int error = sdkError(
            liveViews().Start(static_cast<std::uint64_t>(handle), *source, std::move(frames)));
        return error == QV_ERR_NONE ? succeed() : fail(error);
    } catch (...) {
        return fail(QV_ERR_INTERNAL);
    }
}

extern "C" int Qv_IpcClient_StopLivePlay(int handle) {
    if (!registry().find(handle)) {
        return fail(QV_ERR_BAD_HANDLE);
    }
    liveViews().Stop(static_cast<std::uint64_t>(handle));
    return succeed();
}
