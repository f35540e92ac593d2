#pragma once
// A hostile station for lab tests on the camera side of a LabNetwork. Once
// it sees a tool's search request it answers it, repeating the request's
// transaction id, from invented cameras (MACs 02:46:4c:xx:xx:xx, numbered
// from 0) at `framesPerSecond`, in stages run back to back: each stage
// floods with its number of cameras for its time; each new search renews the
// id. It runs on a thread of its own inside the camera namespace, sends
// nothing before it has seen a search, and stops when destroyed.

#include "LabNetwork.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class FloodStation {
public:
    struct Stage {
        int cameras = 1;
        std::chrono::milliseconds duration{1000};
    };
    struct Figures {
        std::uint64_t frames = 0; // answers sent
        int rounds = 0;           // searches seen during the stage
        double seconds = 0;       // time spent flooding
        double rate() const { return seconds > 0 ? frames / seconds : 0; }
    };

    FloodStation(LabNetwork& lab, std::vector<Stage> stages, double framesPerSecond);
    ~FloodStation();
    FloodStation(const FloodStation&) = delete;
    FloodStation& operator=(const FloodStation&) = delete;

    // The stage flooding now (stages().size() once all are done, -1 before
    // the first search), for callers that keep an event loop going.
    int stage() const { return m_stage; }
    // Waits for the flood to end (it gives up after 15 s without a search);
    // "" or what went wrong, and the figures of each stage.
    std::string finish(std::vector<Figures>& figures);

    static bool IsInvented(const unsigned char* mac) {
        return mac[0] == 0x02 && mac[1] == 0x46 && mac[2] == 0x4c;
    }

private:
    void run(std::string ns, std::string interface, double rate);

    const std::vector<Stage> m_stages;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_stage{-1};
    std::vector<Figures> m_figures;
    std::string m_error;
    std::thread m_thread;
};
