#pragma once
// A hostile station for lab tests on the camera side of a LabNetwork. Once
// it sees a tool's search request it answers it, repeating the request's
// transaction id, from `cameras` invented cameras (MACs 02:46:4c:xx:xx:xx,
// numbered from 0) at `framesPerSecond` for `duration`; each new search
// renews the id. It runs on a thread of its own inside the camera namespace,
// sends nothing before it has seen a search, and stops when destroyed.

#include "LabNetwork.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

class FloodStation {
public:
    struct Figures {
        std::uint64_t frames = 0; // answers sent
        int rounds = 0;           // searches answered
        double seconds = 0;       // time spent flooding
        double rate() const { return seconds > 0 ? frames / seconds : 0; }
    };

    FloodStation(LabNetwork& lab, int cameras, double framesPerSecond,
                 std::chrono::milliseconds duration);
    ~FloodStation();
    FloodStation(const FloodStation&) = delete;
    FloodStation& operator=(const FloodStation&) = delete;

    // Waits for the flood to end (it gives up after 15 s without a search);
    // "" or what went wrong.
    std::string finish(Figures& figures);

    static bool IsInvented(const unsigned char* mac) {
        return mac[0] == 0x02 && mac[1] == 0x46 && mac[2] == 0x4c;
    }

private:
    void run(std::string ns, std::string interface, int cameras, double rate,
             std::chrono::duration<double> duration);

    std::atomic<bool> m_stop{false};
    Figures m_figures;
    std::string m_error;
    std::thread m_thread;
};
