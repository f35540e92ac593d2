#pragma once

#include "core/Camera.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

namespace camsim {

// The cameras of one simulator and their saved state. Every part of the
// simulator (the raw-Ethernet responder, a device API over HTTP) reads and
// changes cameras only through withCamera, under the store's one lock; when
// the address changed, the address moves on the interface before the lock is
// released.
//
// Changes reach the state file from a saver thread of the store's own,
// within kCoalesce of the first of them: the changes of a job over many
// cameras share one write. (Writing the whole file under the lock at every
// change made a job over 1000 cameras wait for 1000 writes of 1000 cameras.)
// sync() waits until the file holds every change made before it; the store
// saves what is left when it is destroyed.
class CameraStore {
public:
    static constexpr std::chrono::milliseconds kCoalesce{200};

    // Called under the lock when a camera's address or netmask changed;
    // false means the interface refused and the change is undone.
    using AddressHook = std::function<bool(const Camera& before, const Camera& after)>;

    CameraStore(std::vector<Camera> cameras, std::filesystem::path stateFile);
    ~CameraStore();
    CameraStore(const CameraStore&) = delete;
    CameraStore& operator=(const CameraStore&) = delete;

    struct LoadResult {
        std::optional<std::vector<Camera>> cameras; // nothing: no state file yet
        std::string error;                          // a state file that cannot be used
    };
    static LoadResult load(const std::filesystem::path& stateFile);
    // The cameras of a state file's text; errors start with `where`.
    static LoadResult parse(std::string_view text, const std::string& where);

    // Writes the state file whole (through a temporary file and a rename,
    // so that a crash leaves the old or the new state, never half of one)
    // and returns once it is written.
    bool save(std::string& error);
    // Returns once every change made before the call is in the state file;
    // false with the reason when the last write failed.
    bool sync(std::string& error);

    void setAddressHook(AddressHook hook);

    std::size_t size() const { return m_cameras.size(); }
    std::optional<std::size_t> indexOf(const MacAddress& mac) const;

    // Runs f(Camera&) under the lock and returns its result. Changes made by
    // f are kept, saved and applied to the interface.
    template <class F>
    auto withCamera(std::size_t index, F&& f) -> std::invoke_result_t<F, Camera&> {
        std::lock_guard lock(m_mutex);
        Camera& camera = m_cameras.at(index);
        const Camera before = camera;
        if constexpr (std::is_void_v<std::invoke_result_t<F, Camera&>>) {
            f(camera);
            commit(index, before, camera);
        } else {
            auto result = f(camera);
            commit(index, before, camera);
            return result;
        }
    }

    // Reads one camera under the lock without the cost of change tracking.
    template <class F>
    auto viewCamera(std::size_t index, F&& f) const -> std::invoke_result_t<F, const Camera&> {
        std::lock_guard lock(m_mutex);
        return f(m_cameras.at(index));
    }

    // Read-only walk over every camera, under the lock.
    template <class F>
    void forEach(F&& f) const {
        std::lock_guard lock(m_mutex);
        for (const Camera& c : m_cameras)
            f(c);
    }

    std::vector<Camera> snapshot() const;

private:
    void commit(std::size_t index, const Camera& before, Camera& camera);
    bool writeText(const std::string& text, std::string& error) const;
    void saveBehind();

    mutable std::mutex m_mutex;
    // Under m_mutex: changes made, changes the file holds, changes a sync
    // waits for.
    std::uint64_t m_changes = 0;
    std::uint64_t m_saved = 0;
    std::uint64_t m_wanted = 0;
    // Under m_mutex: the cameras changed since the saver last looked.
    std::vector<char> m_dirty;
    // The saver's own: each camera's text in the file, made anew only for
    // the cameras that changed (thousands of unchanged ones cost a copy of
    // their text, not a serialisation).
    std::vector<std::string> m_texts;
    std::string m_lastError;
    bool m_stopping = false;
    std::condition_variable m_changed; // a change, a sync or the end
    std::condition_variable m_written;
    std::vector<Camera> m_cameras;
    std::map<MacAddress, std::size_t> m_index; // MACs never change
    std::filesystem::path m_stateFile;
    AddressHook m_addressHook;
    std::thread m_saver; // last: it starts once the rest is set up
};

} // namespace camsim
