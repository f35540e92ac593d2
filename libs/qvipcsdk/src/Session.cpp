#include "Session.h"

#include "Answers.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

namespace qvsdk {

Settings& settings() {
    static Settings instance;
    return instance;
}

namespace {

struct Sink {
    std::string body;
    bool overflow = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (sink->body.size() + bytes > kMaxAnswerBytes) {
        sink->overflow = true;
        return 0; // makes the transfer fail with CURLE_WRITE_ERROR
    }
    sink->body.append(data, bytes);
    return bytes;
}

struct FileSource {
    int fd = -1;
    curl_off_t size = 0;
    curl_off_t position = 0;
    bool failed = false;
};

size_t readFile(char* buffer, size_t size, size_t count, void* user) {
    auto* source = static_cast<FileSource*>(user);
    const curl_off_t left = source->size - source->position;
    if (left <= 0) {
        return 0;
    }
    size_t want = size * count;
    if (static_cast<curl_off_t>(want) > left) {
        want = static_cast<size_t>(left);
    }
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

int seekFile(void* user, curl_off_t offset, int origin) {
    auto* source = static_cast<FileSource*>(user);
    if (origin != SEEK_SET || ::lseek(source->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    source->position = offset;
    return CURL_SEEKFUNC_OK;
}

struct HeaderList {
    curl_slist* list = nullptr;
    HeaderList(std::initializer_list<const char*> lines) {
        for (const char* line : lines) {
            curl_slist* next = curl_slist_append(list, line);
            if (next != nullptr) {
                list = next;
            }
        }
    }
    ~HeaderList() { curl_slist_free_all(list); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
};

int errorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return QV_ERR_TIMEOUT;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
        return QV_ERR_INTERNAL;
    default:
        return QV_ERR_NETWORK;
    }
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

} // namespace

Session::Session(std::string ip, int port, std::string user, std::string password)
    : m_ip(ip), m_baseUrl("http://" + ip + ":" + std::to_string(port)), m_user(std::move(user)),
      m_password(std::move(password)) {}

void Session::setPassword(std::string password) {
    m_password = std::move(password);
    if (m_curl) {
        curl_easy_setopt(m_curl.get(), CURLOPT_PASSWORD, m_password.c_str());
    }
}

CURL* Session::prepare(const std::string& path) {
    if (!m_curl) {
        m_curl.reset(curl_easy_init());
        if (!m_curl) {
            return nullptr;
        }
        CURL* c = m_curl.get();
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
        curl_easy_setopt(c, CURLOPT_USERNAME, m_user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, m_password.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
        curl_easy_setopt(c, CURLOPT_PROXY, "");
        curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L);
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

HttpResult Session::perform(CURL* curl) {
    HttpResult result;
    Sink sink;
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    if (sink.overflow) {
        result.error = QV_ERR_MALFORMED;
        return result;
    }
    if (code != CURLE_OK) {
        result.error = errorFromCurl(code);
        return result;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    result.error = errorFromStatus(result.status);
    result.body = std::move(sink.body);
    return result;
}

HttpResult Session::get(const std::string& path) {
    CURL* curl = prepare(path);
    if (curl == nullptr) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    return perform(curl);
}

HttpResult Session::send(const char* method, const std::string& path, const std::string& body) {
    CURL* curl = prepare(path);
    if (curl == nullptr) {
        return {QV_ERR_INTERNAL, 0, {}};
    }
    HeaderList headers{"Content-Type: application/json", "Expect:"};
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    if (std::string_view(method) != "POST") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    }
    HttpResult result = perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
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
    HeaderList headers{"Content-Type: application/octet-stream", "Expect:"};
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seekFile);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, source.size);
    // A large image takes as long as the link needs; what must not happen is
    // a transfer that stops moving.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 30L * 60L * 1000L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1024L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     std::max(2L, settings().requestMs.load() / 1000L));
    HttpResult result = perform(curl);
    if (source.failed) {
        result.error = QV_ERR_FILE;
    }
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, nullptr);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, nullptr);
    return result;
}

} // namespace qvsdk
