#pragma once
// tcpdump on one of the lab's adapters, into a file the test reads.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// Every byte between tool and camera, as tcpdump sees it on the lab link.
class Capture {
public:
    Capture(const std::string& adapter, std::filesystem::path file) : m_file(std::move(file)) {
        std::vector<std::string> args = {"tcpdump", "-i", adapter,         "-U", "-s",
                                         "0",       "-w", m_file.string(), "tcp"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, log().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawnp(&m_pid, "tcpdump", &quiet, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&quiet);
        // It says so once the filter is in place.
        for (int i = 0; i < 500 && m_pid > 0 && !running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Capture() {
        stop();
        std::filesystem::remove(log());
    }
    bool running() const {
        std::ifstream in(log());
        std::stringstream text;
        text << in.rdbuf();
        return m_pid > 0 && text.str().find("listening on") != std::string::npos;
    }
    // Ends the capture once `last` is in the file: tcpdump hands packets on
    // in blocks, up to a second late.
    void stop(const std::string& last = {}) {
        if (m_pid <= 0)
            return;
        for (int i = 0; i < 300 && bytes().find(last) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(m_pid, SIGINT);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    std::string bytes() const {
        std::ifstream in(m_file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string log() const { return m_file.string() + ".log"; }

    std::filesystem::path m_file;
    pid_t m_pid = -1;
};
