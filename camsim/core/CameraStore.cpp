#include "core/CameraStore.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <system_error>

namespace camsim {

namespace {
constexpr int kStateVersion = 1;
}

CameraStore::CameraStore(std::vector<Camera> cameras, std::filesystem::path stateFile)
    : m_cameras(std::move(cameras)), m_stateFile(std::move(stateFile)) {
    for (std::size_t i = 0; i < m_cameras.size(); ++i)
        m_index.emplace(m_cameras[i].mac, i);
}

CameraStore::LoadResult CameraStore::load(const std::filesystem::path& stateFile) {
    LoadResult result;
    std::error_code ec;
    if (!std::filesystem::exists(stateFile, ec))
        return result;
    std::ifstream in(stateFile);
    const auto j = nlohmann::json::parse(in, nullptr, false);
    const std::string where = "state file " + stateFile.string() + ": ";
    if (j.is_discarded() || !j.is_object()) {
        result.error = where + "not a JSON object";
        return result;
    }
    if (j.value("version", 0) != kStateVersion) {
        result.error = where + "unknown version (expected " + std::to_string(kStateVersion) + ")";
        return result;
    }
    const auto cams = j.find("cameras");
    if (cams == j.end() || !cams->is_array() || cams->empty()) {
        result.error = where + "no cameras";
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

bool CameraStore::save(std::string& error) const {
    std::lock_guard lock(m_mutex);
    return saveLocked(error);
}

bool CameraStore::saveLocked(std::string& error) const {
    nlohmann::json cams = nlohmann::json::array();
    for (const Camera& c : m_cameras)
        cams.push_back(toJson(c));
    const nlohmann::json j = {{"version", kStateVersion}, {"cameras", std::move(cams)}};
    auto temp = m_stateFile;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << j.dump(2) << '\n';
        out.flush();
        if (!out) {
            error = "cannot write " + temp.string();
            return false;
        }
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

void CameraStore::commit(const Camera& before, Camera& camera) {
    // The MAC is the camera's identity and the key of the index.
    camera.mac = before.mac;
    if (camera == before)
        return;
    const bool moved = camera.net.ip != before.net.ip || camera.net.netmask != before.net.netmask;
    if (moved && m_addressHook && !m_addressHook(before, camera)) {
        camera = before;
        return;
    }
    std::string error;
    if (!saveLocked(error))
        std::cerr << "orvantix-camsim: " << error << '\n';
}

} // namespace camsim
