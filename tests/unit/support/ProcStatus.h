#pragma once
// A number from /proc/self/status ("Threads:", "VmRSS:", "VmHWM:"); -1
// where the line is missing. Used by tests and measurements of threads
// and memory.

#include <cstring>
#include <fstream>
#include <string>

inline long StatusValue(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(std::strlen(key)));
        }
    }
    return -1;
}
