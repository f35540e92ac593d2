// discover with a driver beside the maker's: its cameras are listed like the
// maker's own, and with --protocol onvif the maker's frames stay off, so
// nothing here touches a network adapter.

#include "DiscoverRun.h"
#include "ReducedDriver.h"

#include <gtest/gtest.h>

#include "file/RegularFile.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

TEST(CliDiscover, AnotherDriversCamerasAreListedLikeTheMakersOwn) {
    CReducedDriver reduced;
    int status = -1;
    const std::string csv =
        RunDiscover({"--protocol", "onvif", "--seconds", "1", "--format", "csv"}, reduced, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(csv, "name,mac,ip,netmask,gateway,http_port,model,display_model,version,adapter,"
                   "protocol\r\n"
                   "Reduced 1,onvif:urn:uuid:reduced-1,192.0.2.51,255.255.255.0,0.0.0.0,80,"
                   "QVIP3651,,13.1.0.5,,onvif\r\n"
                   "Reduced 2,onvif:urn:uuid:reduced-2,192.0.2.52,255.255.255.0,0.0.0.0,80,"
                   "QVIP3651,,13.1.0.5,,onvif\r\n");

    const std::string json =
        RunDiscover({"--protocol", "onvif", "--seconds", "1", "--format", "json"}, reduced, status);
    EXPECT_NE(json.find("\"http_port\": 80"), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"Reduced 2\""), std::string::npos);

    RunDiscover({"--protocol", "telnet"}, reduced, status);
    EXPECT_EQ(status, orv::cli::kExitBadInput);
}

TEST(CliDiscover, AHostileNameReachesTheTerminalAsEscapesAndAFileAsItCame) {
    CReducedDriver reduced;
    // ESC ] 0; retitles a terminal, BEL ends it, CR rewrites the row, the
    // override reverses what follows; =... is a formula to a spreadsheet.
    reduced.secondName = QString::fromUtf8("=X\x1b]0;owned\x07\rOK\u202e!");
    const std::string results = (std::filesystem::temp_directory_path() /
                                 ("orvantix-hostile-" + std::to_string(::getpid()) + ".csv"))
                                    .string();
    int status = -1;
    for (const char* format : {"table", "csv", "json"}) {
        const std::string out = RunDiscover({"--protocol", "onvif", "--seconds", "1", "--format",
                                             format, "--results", results.c_str()},
                                            reduced, status);
        EXPECT_EQ(status, 0);
        for (const char c : out) {
            const auto b = static_cast<unsigned char>(c);
            EXPECT_TRUE(b >= 0x20 || b == '\n' || (b == '\r' && std::string(format) == "csv"))
                << format << ": raw control byte " << int(b) << " in\n"
                << out;
        }
        std::string shown = "\\x1b]0;owned\\x07\\x0dOK\\u202e!";
        if (std::string(format) == "json") {
            // JSON writes each backslash of the escapes as two.
            for (std::size_t at = shown.find('\\'); at != std::string::npos;
                 at = shown.find('\\', at + 2)) {
                shown.insert(at, 1, '\\');
            }
        }
        EXPECT_NE(out.find(shown), std::string::npos) << format << ":\n" << out;
    }
    // The file keeps the name as received, formula-safe, as a spreadsheet
    // and a plan reader take it.
    const orv::FileContent file = orv::ReadRegularFile(results, 1 << 20);
    std::filesystem::remove(results);
    EXPECT_NE(file.bytes.find("'=X\x1b]0;owned\x07\rOK\u202e!"), std::string::npos) << file.bytes;
}
