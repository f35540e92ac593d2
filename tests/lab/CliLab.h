#pragma once
// orvantix-cli in the tool namespace against the simulator: the lab, a
// scratch directory, the program run with the lab's password, and the
// simulator's state and control channel. Needs root; skipped otherwise.

#include "LabNetwork.h"
#include "Program.h"
#include "SimControl.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

class CliLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
        }
        char dir[] = "/tmp/orvcli-test.XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        m_dir = dir;
        ASSERT_EQ(m_lab.create(1), "");
        ASSERT_EQ(m_lab.startSimulator(simulatorConfig()), "");
    }

    // Six cameras; camera 3 has a password of its own: its logins fail.
    virtual nlohmann::json simulatorConfig() const {
        return {{"cameras", 6},
                {"reboot_silence_ms", 1500},
                {"control_socket", m_dir + "/control.sock"},
                {"cameras_override", {{"3", {{"password", "other-pass"}}}}}};
    }

    void TearDown() override {
        if (HasFailure() && m_lab.simulatorPid() > 0) {
            std::fprintf(stderr, "simulator log:\n%s\n", m_lab.simulatorLog().c_str());
        }
        std::filesystem::remove_all(m_dir);
    }

    std::string file(const std::string& name, const std::string& content) {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path) << content;
        return path;
    }

    static std::string read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The program's command line: a camera command listens a second.
    static std::vector<std::string> command(std::vector<std::string> args) {
        args.insert(args.begin(), ORVANTIX_CLI);
        if (args.size() > 2 && args[1] != "discover" && args[1] != "trust-again" &&
            args[1] != "history") {
            args.insert(args.begin() + 2, {"--seconds", "1"});
        }
        return args;
    }
    std::vector<std::string> environment() const {
        // No keyring in the lab: rotated passwords are sealed in the site's
        // book under this passphrase.
        std::vector<std::string> env = {"ORVANTIX_PASSWORD=admin", "XDG_CONFIG_HOME=" + m_dir,
                                        "ORVANTIX_SITES=" + m_dir + "/sites", "PATH=/usr/bin:/bin",
                                        "ORVANTIX_SITE_PASSPHRASE=lab site passphrase"};
        for (std::string& e : SanitizerEnvironment()) {
            env.push_back(std::move(e));
        }
        return env;
    }

    // The program started with its output thrown away; its process id.
    pid_t start(std::vector<std::string> args) {
        const pid_t pid = StartProgram(command(std::move(args)), environment());
        EXPECT_GT(pid, 0);
        return pid;
    }

    // The program with the lab's password, its output and exit status.
    Ran cli(std::vector<std::string> args) {
        args = command(std::move(args));
        std::vector<std::string> env = environment();
        std::vector<char*> argv = CStrings(args);
        std::vector<char*> envp = CStrings(env);
        int out[2];
        int err[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        pid_t pid = -1;
        Ran run;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        std::string* sinks[2] = {&run.out, &run.err};
        for (int open = 2; open > 0 && ::poll(fds, 2, 120000) > 0;) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].revents == 0) {
                    continue;
                }
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        ::close(out[0]);
        ::close(err[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    nlohmann::json cameras() { return m_lab.state()["cameras"]; }

    // One request on the simulator's control channel.
    nlohmann::json control(const nlohmann::json& request) {
        return nlohmann::json::parse(SimControlRequest(m_dir + "/control.sock", request.dump()),
                                     nullptr, false);
    }

    LabNetwork m_lab;
    std::string m_dir;
};
