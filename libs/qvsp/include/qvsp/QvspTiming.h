#pragma once

#include <chrono>

// Intervals of one discovery instance. The defaults are what the program
// uses; tests shorten them so that they do not sleep through real time.
struct QvspTiming {
    // A present camera must be seen again within 30 s; searching every 10 s
    // leaves room for two lost rounds.
    std::chrono::milliseconds searchInterval{10000};
    // How long a modify exchange may wait for each camera answer.
    std::chrono::milliseconds answerTimeout{1500};
    // Challenge requests sent before a silent camera is given up.
    int attempts = 2;
};
