#pragma once
// The flood station (FloodStationMain.cpp) as a lab test drives it: started
// on the camera side of a LabNetwork, it answers every search of the tool
// with `cameras` invented cameras (FloodMacs.h) at `framesPerSecond` for
// `duration` from the first search it sees, then reports what it sent. A
// station still running when its object goes away is ended by its PID.

#include "FloodMacs.h"
#include "LabNetwork.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

class FloodStation {
public:
    struct Options {
        int cameras = 1;
        double framesPerSecond = 80000;
        std::chrono::milliseconds duration{5000};
        // How long it waits for the tool's first search before giving up.
        std::chrono::milliseconds waitForSearch{15000};
    };
    struct Figures {
        std::uint64_t frames = 0; // answers sent
        int rounds = 0;           // distinct searches answered
        double seconds = 0;       // time spent flooding
        double rate() const { return seconds > 0 ? frames / seconds : 0; }
    };

    FloodStation() = default;
    ~FloodStation();
    FloodStation(const FloodStation&) = delete;
    FloodStation& operator=(const FloodStation&) = delete;

    // Starts the station; "" or what went wrong.
    std::string start(LabNetwork& lab, const Options& options);
    // Waits until the flood has ended; "" or what went wrong.
    std::string finish(Figures& figures);

private:
    pid_t m_pid = -1;
    std::string m_stats;
    std::string m_log;
    std::chrono::steady_clock::time_point m_deadline;
};
