#pragma once
// Starting one of the program's executables from a lab test: its command
// line and environment as given, its standard streams on /dev/null, and
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

// `args[0]` started with `args` and `env`; its process id, or -1.
inline pid_t StartProgram(std::vector<std::string> args, std::vector<std::string> env) {
    std::vector<char*> argv = CStrings(args);
    std::vector<char*> envp = CStrings(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
