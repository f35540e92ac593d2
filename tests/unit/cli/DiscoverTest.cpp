// discover with a driver beside the maker's: its cameras are listed like the
// maker's own, and with --protocol onvif the maker's frames stay off, so
// nothing here touches a network adapter.

#include "ReducedDriver.h"
#include "cli/Options.h"
#include "cli/Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

const orv::cli::Command& discover() {
    for (const orv::cli::Command& c : orv::cli::Commands()) {
        if (std::string(c.name) == "discover") {
            return c;
        }
    }
    throw std::logic_error("no discover");
}

// Runs discover and returns what it wrote to standard output.
std::string run(std::vector<const char*> args, orv::device::IDeviceDriver& driver, int& status) {
    std::string error;
    const std::optional<orv::cli::Options> options =
        orv::cli::Parse(discover(), static_cast<int>(args.size()), args.data(), error);
    EXPECT_TRUE(options) << error;
    std::fflush(stdout);
    FILE* out = std::tmpfile();
    const int saved = ::dup(1);
    ::dup2(::fileno(out), 1);
    status = orv::cli::RunDiscoverWith(discover(), *options, {&driver});
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

} // namespace

TEST(CliDiscover, AnotherDriversCamerasAreListedLikeTheMakersOwn) {
    CReducedDriver reduced;
    int status = -1;
    const std::string csv =
        run({"--protocol", "onvif", "--seconds", "1", "--format", "csv"}, reduced, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(csv, "name,mac,ip,netmask,gateway,http_port,model,display_model,version,adapter\r\n"
                   "Reduced 1,onvif:urn:uuid:reduced-1,192.0.2.51,255.255.255.0,0.0.0.0,80,"
                   "QVIP3651,,13.1.0.5,\r\n"
                   "Reduced 2,onvif:urn:uuid:reduced-2,192.0.2.52,255.255.255.0,0.0.0.0,80,"
                   "QVIP3651,,13.1.0.5,\r\n");

    const std::string json =
        run({"--protocol", "onvif", "--seconds", "1", "--format", "json"}, reduced, status);
    EXPECT_NE(json.find("\"http_port\": 80"), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"Reduced 2\""), std::string::npos);

    run({"--protocol", "telnet"}, reduced, status);
    EXPECT_EQ(status, orv::cli::kExitBadInput);
}
