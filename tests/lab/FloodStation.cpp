#include "FloodStation.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Beside the simulator: every program of the build lands in one directory.
std::string floodProgram() {
    return (std::filesystem::path(ORVANTIX_CAMSIM).parent_path() / "orvantix-flood").string();
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string FloodStation::start(LabNetwork& lab, const Options& o) {
    if (m_pid > 0)
        return "the station is already running";
    const auto dir = lab.directory();
    m_stats = (dir / ("flood-" + std::to_string(o.cameras) + ".json")).string();
    m_log = (dir / ("flood-" + std::to_string(o.cameras) + ".log")).string();
    std::filesystem::remove(m_stats);
    const auto seconds = [](std::chrono::milliseconds ms) {
        return std::to_string(ms.count() / 1e3);
    };
    m_pid = lab.spawnOnCameraSide(
        {floodProgram(), "--interface", lab.cameraInterface(), "--cameras",
         std::to_string(o.cameras), "--rate", std::to_string(o.framesPerSecond), "--seconds",
         seconds(o.duration), "--wait", seconds(o.waitForSearch), "--stats", m_stats},
        m_log);
    m_deadline =
        std::chrono::steady_clock::now() + o.waitForSearch + o.duration + std::chrono::seconds(5);
    return m_pid > 0 ? "" : "cannot start the flood station";
}

std::string FloodStation::finish(Figures& figures) {
    if (m_pid <= 0)
        return "the station is not running";
    const auto left = m_deadline - std::chrono::steady_clock::now();
    const bool ended =
        LabNetwork::waitForExit(m_pid, std::chrono::duration_cast<std::chrono::milliseconds>(left));
    if (!ended)
        LabNetwork::stopProcess(m_pid);
    m_pid = -1;
    const auto stats = nlohmann::json::parse(fileText(m_stats), nullptr, false);
    if (!ended || !stats.is_object())
        return "the flood station failed:\n" + fileText(m_log);
    figures.frames = stats.value("frames", std::uint64_t{0});
    figures.rounds = stats.value("rounds", 0);
    figures.seconds = stats.value("seconds", 0.0);
    return {};
}

FloodStation::~FloodStation() {
    if (m_pid > 0)
        LabNetwork::stopProcess(m_pid);
}
