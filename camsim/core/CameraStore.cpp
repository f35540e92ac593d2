#include "core/CameraStore.h"

#include "qvipcsdk/wire/JsonLimits.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <system_error>

namespace camsim {

namespace {

constexpr int kStateVersion = 1;

// Compact, and no text can make the writer throw: a name that is not UTF-8
// is written with replacement characters.
std::string textOf(const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
// The state of the largest lab is a few megabytes; a file far beyond that
// is not ours.
constexpr off_t kMaxStateBytes = 256L * 1024 * 1024;
// State, cameras, a camera, its device config, a section, a list, an entry.
constexpr int kMaxStateNesting = 8;

// Reads a regular file only: a directory or a FIFO at the path must not
// hang or end the start-up.
std::optional<std::string> readStateFile(const std::filesystem::path& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kMaxStateBytes) {
        error = fd < 0 ? std::strerror(errno) : "not a regular file of at most 256 MiB";
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(done);
    return text;
}

} // namespace

CameraStore::CameraStore(std::vector<Camera> cameras, std::filesystem::path stateFile)
    : m_cameras(std::move(cameras)), m_stateFile(std::move(stateFile)) {
    for (std::size_t i = 0; i < m_cameras.size(); ++i)
        m_index.emplace(m_cameras[i].mac, i);
    m_dirty.assign(m_cameras.size(), 1);
    m_texts.resize(m_cameras.size());
    m_saver = std::thread([this] { saveBehind(); });
}

CameraStore::~CameraStore() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_saver.join();
}

void CameraStore::saveBehind() {
    // The process's signals go to the thread that waits for them (the
    // simulator reads them from a signalfd), never to this one.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || m_changes != m_saved; });
        if (m_changes == m_saved)
            return; // the end, with everything saved
        // The changes that follow within a moment share this write, unless
        // somebody waits for the file.
        if (!m_stopping && m_wanted <= m_saved)
            m_changed.wait_for(lock, kCoalesce,
                               [this] { return m_stopping || m_wanted > m_saved; });
        const std::uint64_t upTo = m_changes;
        std::vector<std::pair<std::size_t, Camera>> changed;
        for (std::size_t i = 0; i < m_dirty.size(); ++i) {
            if (m_dirty[i]) {
                changed.emplace_back(i, m_cameras[i]);
                m_dirty[i] = 0;
            }
        }
        lock.unlock();
        for (const auto& [index, camera] : changed)
            m_texts[index] = textOf(toJson(camera));
        std::string text = "{\"cameras\":[";
        for (std::size_t i = 0; i < m_texts.size(); ++i) {
            if (i > 0)
                text += ',';
            text += m_texts[i];
        }
        text += "],\"version\":" + std::to_string(kStateVersion) + "}\n";
        std::string error;
        if (!writeText(text, error))
            std::cerr << "orvantix-camsim: " << error << '\n';
        lock.lock();
        m_saved = upTo;
        m_lastError = error;
        m_written.notify_all();
    }
}

bool CameraStore::sync(std::string& error) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_changes;
    if (m_saved < target) {
        m_wanted = std::max(m_wanted, target);
        m_changed.notify_all();
        m_written.wait(lock, [&] { return m_saved >= target; });
    }
    error = m_lastError;
    return error.empty();
}

CameraStore::LoadResult CameraStore::load(const std::filesystem::path& stateFile) {
    LoadResult result;
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(stateFile, ec)))
        return result;
    const std::string where = "state file " + stateFile.string() + ": ";
    std::string why;
    const auto text = readStateFile(stateFile, why);
    if (!text) {
        result.error = where + why;
        return result;
    }
    return parse(*text, where);
}

CameraStore::LoadResult CameraStore::parse(std::string_view text, const std::string& where) {
    LoadResult result;
    if (!qvipc::wire::jsonNestingWithin(text, kMaxStateNesting)) {
        result.error = where + "nested deeper than " + std::to_string(kMaxStateNesting) + " levels";
        return result;
    }
    const auto j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        result.error = where + "not a JSON object";
        return result;
    }
    const auto version = j.find("version");
    if (version == j.end() || !version->is_number_integer() ||
        version->get<long long>() != kStateVersion) {
        result.error = where + "unknown version (expected " + std::to_string(kStateVersion) + ")";
        return result;
    }
    const auto cams = j.find("cameras");
    if (cams == j.end() || !cams->is_array() || cams->empty() ||
        cams->size() > static_cast<std::size_t>(kMaxCameras)) {
        result.error = where + "must hold 1 to " + std::to_string(kMaxCameras) + " cameras";
        return result;
    }
    std::vector<Camera> out;
    std::map<MacAddress, std::size_t> seen;
    for (const auto& cj : *cams) {
        std::string error;
        auto c = cameraFromJson(cj, error);
        if (!c) {
            result.error = where + "camera " + std::to_string(out.size() + 1) + ": " + error;
            return result;
        }
        if (!seen.emplace(c->mac, out.size()).second) {
            result.error = where + "MAC " + macText(c->mac) + " appears twice";
            return result;
        }
        out.push_back(std::move(*c));
    }
    result.cameras = std::move(out);
    return result;
}

bool CameraStore::save(std::string& error) {
    {
        std::lock_guard lock(m_mutex);
        std::fill(m_dirty.begin(), m_dirty.end(), 1);
        ++m_changes;
    }
    return sync(error);
}

bool CameraStore::writeText(const std::string& text, std::string& error) const {
    auto temp = m_stateFile;
    temp += ".tmp";
    // The file holds the cameras' passwords: only its owner reads it. A link
    // planted at the temporary name is not followed.
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    std::size_t done = 0;
    while (fd >= 0 && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool closed = fd >= 0 && ::close(fd) == 0;
    if (!closed || done != text.size()) {
        error = "cannot write " + temp.string() + ": " + std::strerror(errno);
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, m_stateFile, ec);
    if (ec) {
        error = "cannot replace " + m_stateFile.string() + ": " + ec.message();
        return false;
    }
    return true;
}

void CameraStore::setAddressHook(AddressHook hook) {
    std::lock_guard lock(m_mutex);
    m_addressHook = std::move(hook);
}

std::optional<std::size_t> CameraStore::indexOf(const MacAddress& mac) const {
    const auto it = m_index.find(mac);
    if (it == m_index.end())
        return std::nullopt;
    return it->second;
}

std::vector<Camera> CameraStore::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_cameras;
}

void CameraStore::commit(std::size_t index, const Camera& before, Camera& camera) {
    // The MAC is the camera's identity and the key of the index.
    camera.mac = before.mac;
    if (camera == before)
        return;
    const bool moved = camera.net.ip != before.net.ip || camera.net.netmask != before.net.netmask;
    if (moved && m_addressHook && !m_addressHook(before, camera)) {
        camera = before;
        return;
    }
    m_dirty[index] = 1;
    ++m_changes;
    m_changed.notify_one();
}

} // namespace camsim
