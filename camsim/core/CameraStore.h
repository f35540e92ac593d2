#pragma once

#include "core/Camera.h"

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace camsim {

// The cameras of one simulator and their saved state. Every part of the
// simulator (the raw-Ethernet responder, a device API over HTTP) reads and
// changes cameras only through withCamera, under the store's one lock; a
// change is saved to the state file before the lock is released and, when
// the address changed, the address moves on the interface.
class CameraStore {
public:
    // Called under the lock when a camera's address or netmask changed;
    // false means the interface refused and the change is undone.
    using AddressHook = std::function<bool(const Camera& before, const Camera& after)>;

    CameraStore(std::vector<Camera> cameras, std::filesystem::path stateFile);

    struct LoadResult {
        std::optional<std::vector<Camera>> cameras; // nothing: no state file yet
        std::string error;                          // a state file that cannot be used
    };
    static LoadResult load(const std::filesystem::path& stateFile);
    // The cameras of a state file's text; errors start with `where`.
    static LoadResult parse(std::string_view text, const std::string& where);

    // Writes the state file (through a temporary file and a rename, so that a
    // crash leaves the old or the new state, never half of one).
    bool save(std::string& error) const;

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
            commit(before, camera);
        } else {
            auto result = f(camera);
            commit(before, camera);
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
    void commit(const Camera& before, Camera& camera);
    bool saveLocked(std::string& error) const;

    mutable std::mutex m_mutex;
    std::vector<Camera> m_cameras;
    std::map<MacAddress, std::size_t> m_index; // MACs never change
    std::filesystem::path m_stateFile;
    AddressHook m_addressHook;
};

} // namespace camsim
