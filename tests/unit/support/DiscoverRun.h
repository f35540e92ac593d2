#pragma once
// The command line's discover run in the test's process with drivers of the
// test's own: what it wrote to standard output and its exit status.

#include "cli/Options.h"
#include "cli/Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

inline const orv::cli::Command& DiscoverCommand() {
    for (const orv::cli::Command& c : orv::cli::Commands()) {
        if (std::string(c.name) == "discover") {
            return c;
        }
    }
    throw std::logic_error("no discover");
}

inline std::string RunDiscover(std::vector<const char*> args, orv::device::IDeviceDriver& driver,
                               int& status) {
    std::string error;
    const std::optional<orv::cli::Options> options =
        orv::cli::Parse(DiscoverCommand(), static_cast<int>(args.size()), args.data(), error);
    EXPECT_TRUE(options) << error;
    if (!options) {
        status = -1;
        return {};
    }
    std::fflush(stdout);
    FILE* out = std::tmpfile();
    const int saved = ::dup(1);
    ::dup2(::fileno(out), 1);
    status = orv::cli::RunDiscoverWith(DiscoverCommand(), *options, {&driver});
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::string text;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        text += static_cast<char>(c);
    }
    std::fclose(out);
    return text;
}
