#pragma once
// Starting one of the program's executables from a lab test: its command
// line and environment as given, its standard streams on /dev/null (or
// both output streams in a file), and
// the suite's sanitizer rules passed on.

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

// The sanitizer options of this process, for a program it starts.
inline std::vector<std::string> SanitizerEnvironment() {
    std::vector<std::string> env;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) {
            env.push_back(std::string(name) + "=" + value);
        }
    }
    return env;
}

inline std::vector<char*> CStrings(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) {
        out.push_back(t.data());
    }
    out.push_back(nullptr);
    return out;
}

// `args[0]` started with `args` and `env`; its process id, or -1. With
// `output` given, its standard output and error go to that file, for the
// test to show when the program fails.
inline pid_t StartProgram(std::vector<std::string> args, std::vector<std::string> env,
                          const std::string& output = {}) {
    std::vector<char*> argv = CStrings(args);
    std::vector<char*> envp = CStrings(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) {
        if (fd == 1 && !output.empty()) {
            posix_spawn_file_actions_addopen(&actions, fd, output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        } else if (fd == 2 && !output.empty()) {
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        } else {
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        }
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
