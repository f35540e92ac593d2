// orvantix-cli in the tool namespace against the simulator, judged by the
// simulator's state file and control channel. Needs root; skipped otherwise.

#include "CliLab.h"
#include "Capture.h"
#include "site/SiteBook.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

using json = nlohmann::json;
using namespace std::chrono_literals;

namespace {

// The rows of a results CSV, without the header, as "MAC operation outcome".
std::vector<std::string> outcomes(const std::string& csv) {
    std::vector<std::string> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::string cell;
        bool quoted = false;
        for (const char c : line) {
            if (c == '"') {
                quoted = !quoted;
            } else if (c == ',' && !quoted) {
                cells.push_back(cell);
                cell.clear();
            } else if (c != '\r') {
                cell += c;
            }
        }
        cells.push_back(cell);
        rows.push_back(cells.at(1) + " " + cells.at(4) + " " + cells.at(5) +
                       (cells.at(6).empty() ? "" : ": " + cells.at(6)));
    }
    return rows;
}

} // namespace

TEST_F(CliLab, DiscoverListsEveryCameraWithItsAdapter) {
    const Ran run = cli({"discover", "--seconds", "1", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listed = json::parse(run.out);
    const json state = cameras();
    ASSERT_EQ(listed.size(), state.size());
    for (std::size_t i = 0; i < state.size(); ++i) {
        const json& c = listed[i]; // in address order, as the state's
        std::string mac = state[i]["mac"];
        std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
        EXPECT_EQ(c["mac"], mac);
        EXPECT_EQ(c["ip"], state[i]["ip"]);
        EXPECT_EQ(c["name"], state[i]["name"]);
        EXPECT_EQ(c["version"], state[i]["version"]);
        EXPECT_EQ(c["http_port"], state[i]["http_port"]);
        EXPECT_EQ(c["adapter"], m_lab.adapter(0));
    }
    EXPECT_EQ(cli({"discover", "--interface", "nosuch0"}).status, 2);
}

TEST_F(CliLab, SetIpMovesAndVerifiesEachCameraAndReportsTheOneThatRefused) {
    const std::string plan = file("plan.csv", "mac,ip,netmask,gateway,http_port,name\n"
                                              "02:4f:56:10:00:01,192.0.2.101,,,8080,Gate's 1\n"
                                              "02-4F-56-10-00-03,192.0.2.103,,,,\n"
                                              "02:4F:56:10:00:04,,,,,\n");
    // The dry run shows the name as written, not in the form sent.
    const Ran dry = cli({"set-ip", "--plan", plan, "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("Gate's 1"), std::string::npos) << dry.out;
    EXPECT_EQ(dry.out.find('\\'), std::string::npos) << dry.out;
    const std::string results = m_dir + "/results.csv";
    const Ran run = cli({"set-ip", "--plan", plan, "--results", results});
    EXPECT_EQ(run.status, 1) << run.err;
    const json state = cameras();
    EXPECT_EQ(state[0]["ip"], "192.0.2.101");
    EXPECT_EQ(state[0]["http_port"], 8080);
    EXPECT_EQ(state[0]["name"], "Gate's 1");
    EXPECT_EQ(state[2]["ip"], "192.0.2.12") << "its password differs";
    EXPECT_EQ(state[3]["ip"], "192.0.2.13");
    EXPECT_EQ(outcomes(read(results)),
              (std::vector<std::string>{
                  "02:4F:56:10:00:01 Modify IP,Port,Netmask Succeeded",
                  "02:4F:56:10:00:03 Modify IP,Port,Netmask Failed: wrong user name or password",
                  "02:4F:56:10:00:04 Modify IP,Port,Netmask Succeeded",
                  "02:4F:56:10:00:01 Verify Address Succeeded"}));
}

TEST_F(CliLab, SetIpRefusesAFaultyPlanBeforeSendingAnything) {
    // Something else on the cameras' side answers for .200.
    ASSERT_EQ(std::system(("ip -n " + m_lab.cameraNamespace() + " addr add 192.0.2.200/24 dev " +
                           m_lab.cameraInterface())
                              .c_str()),
              0);
    const json before = cameras();
    // Each plan moves camera 1 as well: had anything been sent, it would
    // have moved.
    const std::string good = "02:4F:56:10:00:01,192.0.2.150\n";
    const struct {
        const char* rows;
        const char* expected;
    } plans[] = {
        {"02:4F:56:10:00:02,192.0.2.300\n", "plan.csv:3: ip: Invalid IP address."},
        {"02:4F:56:10:00:02,192.0.2.150\n", "plan.csv:3: ip: 192.0.2.150 is planned on line 2"},
        {"02:4F:56:10:00:99,192.0.2.151\n", "02:4F:56:10:00:99: did not answer discovery"},
        {"02:4F:56:10:00:02,192.0.2.13\n", "192.0.2.13 is the address of camera 02:4F:56:10:00:04"},
        {"02:4F:56:10:00:02,192.0.2.200\n", "192.0.2.200 is in use by 02:4F:56:00:00:02"},
        {"02:4F:56:10:00:02,192.0.2.1\n", "192.0.2.1 is in use by this computer"},
    };
    for (const auto& p : plans) {
        const std::string plan = file("plan.csv", "mac,ip\n" + good + p.rows);
        const Ran run = cli({"set-ip", "--plan", plan});
        EXPECT_EQ(run.status, 2) << p.rows;
        EXPECT_NE(run.err.find(p.expected), std::string::npos) << run.err;
    }
    EXPECT_EQ(cameras(), before);
}

TEST_F(CliLab, ApplyGivesTheProfileToTheSelectionAndChecksItFirst) {
    const std::string profile = file(
        "profile.json",
        R"({"name": "Gate {n:02}", "ports": {"http": 80, "onvif": 8000, "rtsp1": 554, "rtsp2": 555},
            "ddns": {"enable": true, "provider": "dynu.com", "user": "u", "password": "p", "host": "h"},
            "image": {"power_line": 60, "outdoor": "Indoor", "local_display": "PAL"},
            "video": {"primary": {"frame_size": "720P", "frame_rate": 30, "bit_rate": 2048},
                      "secondary": {"enabled": true, "codec": "MJPEG"}}})");
    const Ran run = cli(
        {"apply", "--profile", profile, "--select", "ip=192.0.2.10-192.0.2.12", "--format", "csv"});
    EXPECT_EQ(run.status, 1) << run.err;
    const json state = cameras();
    for (int i : {0, 1}) {
        const json& c = state[static_cast<std::size_t>(i)];
        EXPECT_EQ(c["name"], "Gate 0" + std::to_string(i + 1));
        const json& config = c["deviceConfig"];
        EXPECT_EQ(config["ports"]["onvif"], 8000);
        EXPECT_EQ(config["ddns"]["host"], "h");
        EXPECT_EQ(config["imaging"]["powerLineFrequency"], 60);
        EXPECT_EQ(config["imaging"]["localDisplay"], 2);
        EXPECT_EQ(config["streams"][1]["frameSize"], 5);
        EXPECT_EQ(config["streams"][1]["frameRate"], 30);
        EXPECT_EQ(config["streams"][0]["codec"], 2);
        EXPECT_EQ(config["streams"][0]["enabled"], true);
    }
    EXPECT_NE(state[2]["name"], "Gate 03");
    EXPECT_EQ(state[3]["name"], "Kamera Süd 04") << "not selected";
    const std::vector<std::string> rows = outcomes(run.out);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const std::string& r) {
                                return r.find("Failed: wrong user name or password") !=
                                       std::string::npos;
                            }),
              6);

    // A size the reference camera's model class does not offer (class 1,
    // camera 1) and an unknown key are refused before any camera is touched.
    const Ran big = cli({"apply", "--profile",
                         file("big.json", R"({"video": {"primary": {"frame_size": "1080P"},
                                                        "secondary": {}}})"),
                         "--select", "all"});
    EXPECT_EQ(big.status, 2);
    EXPECT_NE(big.err.find("video.primary.frame_size: is not offered for model class 1"),
              std::string::npos)
        << big.err;
    const Ran typo = cli({"apply", "--profile", file("typo.json", R"({"ports": {"htpp": 81}})")});
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("typo.json: ports.htpp: unknown key"), std::string::npos) << typo.err;
    EXPECT_EQ(cameras(), state);
}

TEST_F(CliLab, RotatedPasswordsAreAppliedAndKeptOwnerOnlyNeverPrinted) {
    const std::string out = m_dir + "/secrets.csv";
    const Ran run =
        cli({"passwords", "--rotate", "--out", out, "--select", "ip=192.0.2.10-192.0.2.11"});
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    const std::string secrets = read(out);
    const json state = cameras();
    std::set<std::string> seen;
    for (int i : {0, 1}) {
        const std::string password = state[static_cast<std::size_t>(i)]["password"];
        EXPECT_NE(password, "admin");
        EXPECT_NE(secrets.find("," + password + ",yes"), std::string::npos);
        EXPECT_EQ((run.out + run.err).find(password), std::string::npos);
        seen.insert(password);
    }
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(state[2]["password"], "other-pass");
    // An existing file is never written over, and then nothing changes.
    EXPECT_EQ(cli({"passwords", "--rotate", "--out", out, "--select", "all"}).status, 2);
    EXPECT_EQ(read(out), secrets);
    EXPECT_EQ(cameras(), state);
}

TEST_F(CliLab, UpgradeOemRebootAndRestoreReachTheSelectedCameras) {
    // Camera 1 (QV-N3951, family 11) takes platform 2 and CMOS 4.
    const std::string image = file("QVFImage_24.bin", "QVFW:11.1.3.0\nimage\n");
    EXPECT_EQ(cli({"upgrade", image, "--select", "ip=192.0.2.10-192.0.2.11"}).status, 2)
        << "two firmware families";
    const Ran upgrade = cli({"upgrade", image, "--select", "mac=02:4F:56:10:00:01"});
    EXPECT_EQ(upgrade.status, 0) << upgrade.err;

    const std::string logo = file("logo.png", "logo");
    // A dry run names each selected camera and what it would get, and sends
    // nothing.
    const json before = cameras();
    const Ran plan = cli({"oem", "--dry-run", "--company", "Acme", "--image", logo, "--select",
                          "ip=192.0.2.11-192.0.2.12"});
    EXPECT_EQ(plan.status, 0) << plan.err;
    for (const char* line :
         {"192.0.2.11", "192.0.2.12", "Upload OEM Files: company Acme, 1 image(s)", "Reboot"}) {
        EXPECT_NE(plan.out.find(line), std::string::npos) << line << "\n" << plan.out;
    }
    EXPECT_EQ(plan.out.find("192.0.2.13"), std::string::npos) << plan.out;
    const Ran restorePlan = cli({"restore", "--dry-run", "--select", "mac=02:4F:56:10:00:05"});
    EXPECT_EQ(restorePlan.status, 0) << restorePlan.err;
    EXPECT_NE(restorePlan.out.find("Restore, then Reboot after 25 s"), std::string::npos);
    EXPECT_EQ(cameras(), before);

    const Ran oem = cli({"oem", "--company", "Acme", "--image", logo, "--select",
                         "mac=02:4F:56:10:00:02", "--results", m_dir + "/oem.json"});
    EXPECT_EQ(oem.status, 0) << oem.err;
    EXPECT_EQ(cameras()[1]["deviceConfig"]["oem"]["info"]["company"], "Acme");
    EXPECT_EQ(json::parse(read(m_dir + "/oem.json"))[0]["outcome"], "Succeeded");

    EXPECT_EQ(cli({"reboot", "--select", "mac=02:4F:56:10:00:04"}).status, 2)
        << "no terminal, no --yes";
    EXPECT_EQ(control({{"op", "get"}, {"camera", 4}})["camera"]["rebooting"], false);
    EXPECT_EQ(cli({"reboot", "--yes", "--select", "mac=02:4F:56:10:00:04"}).status, 0);
    EXPECT_EQ(control({{"op", "get"}, {"camera", 4}})["camera"]["rebooting"], true);

    EXPECT_EQ(cli({"restore", "--yes", "--select", "mac=02:4F:56:10:00:05"}).status, 0);
    EXPECT_EQ(cameras()[4]["name"], "IPCamera");
    EXPECT_EQ(cameras()[0]["version"], "11.1.3.0");
}

namespace {

// The sizes of the TLS records of application data (content type 23) the
// tool sent to a camera's TLS port, as tcpdump reads them from a capture. In
// TLS 1.3 the client's Finished and alerts travel as such records too
// (under 80 bytes); a request with its Digest answer takes several hundred.
std::vector<int> applicationRecordsTo443(const std::filesystem::path& pcap) {
    const std::string command =
        "tcpdump -nn -r " + pcap.string() +
        " 'tcp dst port 443 and tcp[((tcp[12:1] & 0xf0) >> 2):1] = 0x17' 2>/dev/null";
    std::vector<int> sizes;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return sizes;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const char* length = std::strstr(line, "length ");
        sizes.push_back(length != nullptr ? std::atoi(length + 7) : -1);
    }
    ::pclose(pipe);
    return sizes;
}

} // namespace

TEST_F(CliLab, PasswordsTravelOnlyOverTlsAndAnotherKeyGetsNoLoginUntilTrustedAgain) {
    const std::string first = m_dir + "/first.pcap";
    Capture capture(m_lab.adapter(0), first);
    ASSERT_TRUE(capture.running()) << "tcpdump did not start (scripts/install-deps.sh)";
    const std::string out = m_dir + "/secrets.csv";
    const Ran rotated = cli({"passwords", "--rotate", "--out", out, "--select", "ip=192.0.2.10"});
    ASSERT_EQ(rotated.status, 0) << rotated.err;
    // tcpdump hands packets on in blocks, up to a second late, and nothing
    // in clear marks the last one.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    capture.stop();
    const std::string wire = capture.bytes();
    const std::string password = cameras()[0]["password"];
    ASSERT_NE(password, "admin");
    EXPECT_EQ(wire.find(password), std::string::npos);
    for (const char* clear : {"Digest", "\"iv\"", "\"data\"", "nonce", "password"}) {
        EXPECT_EQ(wire.find(clear), std::string::npos) << clear << " crossed the wire in clear";
    }
    // In clear only the question whether the camera offers TLS.
    for (auto at = wire.find("/api/v1/"); at != std::string::npos;
         at = wire.find("/api/v1/", at + 1)) {
        EXPECT_EQ(wire.compare(at, 12, "/api/v1/tls "), 0) << wire.substr(at, 40);
    }
    const std::vector<int> sent = applicationRecordsTo443(first);
    EXPECT_GT(std::count_if(sent.begin(), sent.end(), [](int size) { return size > 200; }), 3)
        << "the rotation went over TLS";
    const json camera = control({{"op", "get"}, {"camera", 1}})["camera"];
    const std::string pins = read(m_dir + "/orvantix/pins.json");
    EXPECT_NE(pins.find(camera["tlsPin"].get<std::string>()), std::string::npos) << pins;

    // Another key at the same address: a stand-in, or the camera replaced.
    control({{"op", "renew-identity"}, {"camera", 1}});
    const auto awake = [this] {
        for (int i = 0;
             i < 100 && control({{"op", "get"}, {"camera", 1}})["camera"]["rebooting"] != false;
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    awake();
    const std::string second = m_dir + "/second.pcap";
    Capture refused(m_lab.adapter(0), second);
    ASSERT_TRUE(refused.running());
    const Ran stranger =
        cli({"passwords", "--rotate", "--out", m_dir + "/again.csv", "--select", "ip=192.0.2.10"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    refused.stop();
    EXPECT_EQ(stranger.status, 1) << stranger.out << stranger.err;
    EXPECT_NE(stranger.out.find("the camera's identity changed since "), std::string::npos)
        << stranger.out;
    EXPECT_NE(stranger.out.find("if it was replaced or reset, trust it again"), std::string::npos);
    for (const int size : applicationRecordsTo443(second)) {
        EXPECT_LT(size, 80) << "no request was sent to the other key";
    }
    EXPECT_EQ(cameras()[0]["password"], password);

    awake();
    const Ran trusted = cli({"trust-again", "02:4f:56:10:00:01"});
    EXPECT_EQ(trusted.status, 0) << trusted.err;
    EXPECT_NE(trusted.out.find("02:4F:56:10:00:01: the key trusted since "), std::string::npos)
        << trusted.out;
    const Ran accepted = cli({"reboot", "--yes", "--password-file", file("pw", password + "\n"),
                              "--select", "ip=192.0.2.10"});
    EXPECT_EQ(accepted.status, 0) << accepted.out << accepted.err;
    const std::string newPin = control({{"op", "get"}, {"camera", 1}})["camera"]["tlsPin"];
    EXPECT_NE(read(m_dir + "/orvantix/pins.json").find(newPin), std::string::npos);
}

// The maker's cameras answering both ways beside two other makers' ONVIF-only
// models, one of them without Imaging and firmware upgrade.
class CliMixedLab : public CliLab {
protected:
    nlohmann::json simulatorConfig() const override {
        nlohmann::json config = CliLab::simulatorConfig();
        config["cameras"] = 3;
        config.erase("cameras_override");
        config["onvif_models"] = {{{"maker", "Lumora"},
                                   {"model", "LX-40"},
                                   {"count", 2},
                                   {"mac_base", "02:6c:75:00:00:00"},
                                   {"versions", {"2.1.4"}},
                                   {"onvif_port", 8899},
                                   {"imaging", false},
                                   {"firmware_upgrade", false},
                                   {"tls_port", 0}}, // older firmware: no HTTPS
                                  {{"maker", "Kestrel"},
                                   {"model", "K7"},
                                   {"mac_base", "02:6b:65:00:00:00"},
                                   {"versions", {"7.0"}}}};
        return config;
    }
};

TEST_F(CliMixedLab, DiscoverListsEveryCameraOnceWithHowItIsReached) {
    const Ran run = cli({"discover", "--seconds", "3", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listed = json::parse(run.out);
    const json state = cameras();
    ASSERT_EQ(listed.size(), state.size()) << run.out;
    for (std::size_t i = 0; i < state.size(); ++i) {
        const json& c = listed[i];
        std::string mac = state[i]["mac"];
        std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
        EXPECT_EQ(c["mac"], mac) << "the MAC, from the login's details for ONVIF-only cameras";
        EXPECT_EQ(c["ip"], state[i]["ip"]);
        EXPECT_EQ(c["name"], state[i]["name"]);
        EXPECT_EQ(c["version"], state[i]["version"]);
        EXPECT_EQ(c["protocol"], i < 3 ? "native+onvif" : "onvif") << c;
    }
    EXPECT_EQ(listed[3]["model"], "LX-40");
    EXPECT_EQ(listed[5]["model"], "K7");

    const json onlyOnvif = json::parse(
        cli({"discover", "--protocol", "onvif", "--seconds", "3", "--format", "json"}).out);
    ASSERT_EQ(onlyOnvif.size(), state.size());
    EXPECT_EQ(onlyOnvif[0]["protocol"], "onvif");
}

TEST_F(CliMixedLab, SetIpMovesAnOnvifOnlyCameraByPlanAndVerifiesItAtItsNewAddress) {
    const std::string plan = file("plan.csv", "mac,ip,netmask,gateway,http_port,name\n"
                                              "02:6c:75:00:00:01,192.0.2.101,,192.0.2.254,,Yard\n");
    const std::string results = m_dir + "/results.csv";
    const Ran run = cli({"set-ip", "--plan", plan, "--seconds", "4", "--results", results});
    EXPECT_EQ(run.status, 0) << run.err;
    const json state = cameras();
    EXPECT_EQ(state[3]["ip"], "192.0.2.101");
    EXPECT_EQ(state[3]["gateway"], "192.0.2.254");
    EXPECT_EQ(state[3]["name"], "Yard");
    EXPECT_EQ(state[4]["ip"], "192.0.2.14") << "the other camera of the model stays";
    EXPECT_EQ(outcomes(read(results)),
              (std::vector<std::string>{"02:6C:75:00:00:01 Modify IP,Port,Netmask Succeeded",
                                        "02:6C:75:00:00:01 Verify Address Succeeded"}));
}

TEST_F(CliMixedLab, AnOnvifPasswordCrossesInClearOnlyWithItsOwnConsentAndIsWrittenNowhere) {
    const std::string secret = "Cl3ar-0n-w1re!";
    const std::string file = this->file("new.txt", secret + "\n");
    const std::vector<std::string> args = {"passwords", "--set",    "--new-password-file",
                                           file,        "--select", "mac=02:6c:75:00:00:02",
                                           "--seconds", "4"};

    const std::string declined = m_dir + "/declined.pcap";
    Capture refused(m_lab.adapter(0), declined);
    ASSERT_TRUE(refused.running()) << "tcpdump did not start (scripts/install-deps.sh)";
    std::vector<std::string> sealedOnly = args;
    sealedOnly.push_back("--allow-plain-http"); // consent for sealing does not cover clear text
    const Ran no = cli(sealedOnly);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    refused.stop();
    EXPECT_EQ(no.status, 1) << no.out << no.err;
    EXPECT_NE(no.err.find("--allow-clear-password"), std::string::npos) << no.err;
    EXPECT_NE(no.out.find("not sent: the camera offers no encrypted connection"), std::string::npos)
        << no.out;
    EXPECT_EQ(cameras()[4]["password"], "admin");
    EXPECT_EQ(refused.bytes().find(secret), std::string::npos);

    const std::string allowed = m_dir + "/allowed.pcap";
    Capture capture(m_lab.adapter(0), allowed);
    ASSERT_TRUE(capture.running());
    std::vector<std::string> clear = args;
    clear.push_back("--allow-clear-password");
    const Ran yes = cli(clear);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    capture.stop();
    EXPECT_EQ(yes.status, 0) << yes.out << yes.err;
    EXPECT_EQ(cameras()[4]["password"], secret);
    // What the question warned of: ONVIF's SetUser carries it as it is.
    EXPECT_NE(capture.bytes().find("<tt:Password>" + secret + "</tt:Password>"), std::string::npos);
    EXPECT_EQ(yes.out.find(secret), std::string::npos);
    EXPECT_EQ(yes.err.find(secret), std::string::npos);
    // Neither the log (beside the program in a build tree) nor any other
    // file the program wrote holds it.
    std::vector<std::filesystem::path> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir)) {
        if (entry.is_regular_file() && entry.path() != file &&
            entry.path().extension() != ".pcap") {
            written.push_back(entry.path());
        }
    }
    const auto logs = std::filesystem::path(ORVANTIX_CLI).parent_path() / "Logs";
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
        written.push_back(entry.path());
    }
    ASSERT_FALSE(written.empty());
    for (const auto& path : written) {
        EXPECT_EQ(read(path.string()).find(secret), std::string::npos) << path;
    }
}

TEST_F(CliMixedLab, AProfileReachesOnvifOnlyCamerasAndWhatTheyLackIsNamed) {
    const std::string profile = file("profile.json",
                                     R"({"name": "Yard {n}",
            "image": {"power_line": 60, "outdoor": "Indoor", "local_display": "PAL"}})");
    const Ran run = cli({"apply", "--profile", profile, "--select", "ip=192.0.2.13-192.0.2.14",
                         "--seconds", "4", "--format", "csv"});
    EXPECT_EQ(run.status, 1) << run.err << run.out;
    const json state = cameras();
    for (int i : {3, 4}) {
        const json& c = state[static_cast<std::size_t>(i)];
        EXPECT_EQ(c["name"], "Yard " + std::to_string(i - 2)) << c["name"];
        EXPECT_NE(c["deviceConfig"]["imaging"]["powerLineFrequency"], 60) << i;
    }
    const std::vector<std::string> rows = outcomes(run.out);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const std::string& r) {
                                return r.find(
                                           "Modify Image Failed: not supported by this camera") !=
                                       std::string::npos;
                            }),
              2)
        << run.out;
    EXPECT_EQ(state[0]["name"], cameras()[0]["name"]) << "the maker's cameras were not selected";
}

// Another maker's camera is given only what the profile names: its one
// HTTP and ONVIF port moves (over plain HTTP, the Lumora: the rest of the
// session follows it; over HTTPS, the Kestrel), the next command finds it
// there, and it takes its own maker's image but not this maker's.
TEST_F(CliMixedLab, OtherMakersCamerasTakeAProfilesPortsAndStreamThenTheirOwnFirmware) {
    const std::string profile = file("k7.json", R"({"ports": {"http": 80, "onvif": 8000,
                                                              "rtsp1": 8554, "rtsp2": 555},
            "video": {"primary": {"frame_size": "1080P", "i_frame": 40}, "secondary": {}}})");
    const json before = cameras();
    const Ran applied =
        cli({"apply", "--profile", profile, "--select", "mac=02:6c:75:00:00:01", "--select",
             "mac=02:6b:65:00:00:01", "--seconds", "4", "--format", "csv"});
    EXPECT_EQ(applied.status, 0) << applied.err << applied.out;
    for (const int i : {3, 5}) {
        const json after = cameras()[static_cast<std::size_t>(i)]["deviceConfig"];
        EXPECT_EQ(after["ports"]["onvif"], 8000) << i;
        EXPECT_EQ(after["ports"]["rtsp1"], 8554) << i;
        EXPECT_EQ(after["streams"][1]["iFrameInterval"], 40) << i << ": the main stream";
        EXPECT_EQ(after["streams"][0],
                  before[static_cast<std::size_t>(i)]["deviceConfig"]["streams"][0])
            << i << ": the secondary stream was not named";
    }

    const std::vector<std::string> kestrel = {"--select", "mac=02:6b:65:00:00:01", "--seconds",
                                              "4"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), kestrel.begin(), kestrel.end());
        return cli(args);
    };
    const std::string own = file("k7-7.1.bin", "FW K7 7.1\n" + std::string(4096, 'k'));
    const std::string makers = file("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(4096, 'f'));
    const Ran refused = with({"upgrade", makers});
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("The model of devices is unmatched."), std::string::npos)
        << refused.err;
    const Ran upgraded = with({"upgrade", own});
    EXPECT_EQ(upgraded.status, 0) << upgraded.err << upgraded.out;
    EXPECT_EQ(cameras()[5]["version"], "7.1");
}

TEST_F(CliMixedLab, AnOnvifCameraThatOffersHttpsGetsItsPasswordOnlyOverIt) {
    const std::string secret = "Tls-0nly-pw!";
    const std::string file = this->file("new.txt", secret + "\n");
    const std::string wire = m_dir + "/https.pcap";
    Capture capture(m_lab.adapter(0), wire);
    ASSERT_TRUE(capture.running()) << "tcpdump did not start (scripts/install-deps.sh)";
    // No consent given: the camera turns out to offer HTTPS, and the
    // password goes there.
    const Ran run = cli({"passwords", "--set", "--new-password-file", file, "--select",
                         "mac=02:6b:65:00:00:01", "--seconds", "4"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    capture.stop();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(cameras()[5]["password"], secret);
    const std::string bytes = capture.bytes();
    EXPECT_EQ(bytes.find(secret), std::string::npos);
    EXPECT_EQ(bytes.find("SetUser"), std::string::npos) << "no SOAP call of it in clear";
    const std::vector<int> sent = applicationRecordsTo443(wire);
    EXPECT_GT(std::count_if(sent.begin(), sent.end(), [](int size) { return size > 200; }), 2)
        << "the calls went over TLS";
    // The key it showed is kept, so a stand-in is refused next time.
    const json camera = control({{"op", "get"}, {"camera", 6}})["camera"];
    EXPECT_NE(read(m_dir + "/orvantix/pins.json").find(camera["tlsPin"].get<std::string>()),
              std::string::npos);
    // Another key at its address, once it is back from its reboot; the
    // login is its new password, so its details tell the MAC.
    control({{"op", "renew-identity"}, {"camera", 6}});
    for (int i = 0;
         i < 100 && control({{"op", "get"}, {"camera", 6}})["camera"]["rebooting"] != false; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const Ran stranger = cli({"passwords", "--set", "--new-password-file", file, "--password-file",
                              file, "--select", "mac=02:6b:65:00:00:01", "--seconds", "4"});
    EXPECT_EQ(stranger.status, 1) << stranger.out << stranger.err;
    EXPECT_NE(stranger.out.find("the camera's identity changed since "), std::string::npos)
        << stranger.out;
}

// Names, ports, image options and both streams: what a profile changes.
constexpr const char* kEveryKindOfChange =
    R"({"name": "Gate {n:02}", "ports": {"http": 80, "onvif": 8000, "rtsp1": 556, "rtsp2": 557},
        "image": {"power_line": 60, "outdoor": "Indoor", "local_display": "PAL"},
        "video": {"primary": {"frame_size": "720P", "frame_rate": 30, "bit_rate": 2048},
                  "secondary": {"enabled": true, "codec": "MJPEG"}}})";

// A job's changes are in the site's book with their values before, and an
// undo puts every answering camera back as it was, field for field; the
// camera whose login failed was never changed and is left alone.
TEST_F(CliLab, AJobIsInTheSiteHistoryAndItsUndoPutsEveryCameraBack) {
    const json before = cameras();
    const std::string profile = file("profile.json", kEveryKindOfChange);
    const Ran applied = cli({"apply", "--profile", profile, "--site", "Werk Süd"});
    ASSERT_EQ(applied.status, 1) << applied.err; // camera 3 refuses the login
    const json changed = cameras();
    ASSERT_NE(changed[0]["deviceConfig"]["ports"], before[0]["deviceConfig"]["ports"]);

    const Ran jobs = cli({"history", "--site", "Werk Süd", "--format", "csv"});
    EXPECT_EQ(jobs.status, 0) << jobs.err;
    EXPECT_NE(jobs.out.find("1,"), std::string::npos) << jobs.out;
    EXPECT_NE(jobs.out.find(",6,1,"), std::string::npos) << "6 cameras, 1 failed:\n" << jobs.out;
    const Ran ports = cli({"history", "--site", "Werk Süd", "--job", "1", "--format", "json"});
    const json rows = json::parse(ports.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << ports.out;
    const auto first = std::find_if(rows.begin(), rows.end(), [](const json& r) {
        return r["setting"] == "ports" && r["outcome"] == "Succeeded";
    });
    ASSERT_NE(first, rows.end()) << ports.out;
    EXPECT_NE((*first)["before"].get<std::string>().find("\"onvif\":"), std::string::npos);
    EXPECT_NE((*first)["after"].get<std::string>().find("\"rtsp\":556"), std::string::npos);

    const Ran undone = cli({"undo", "1", "--site", "Werk Süd"});
    EXPECT_EQ(undone.status, 0) << undone.out << undone.err;
    const json after = cameras();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i]["name"], before[i]["name"]) << i;
        EXPECT_EQ(after[i]["deviceConfig"], before[i]["deviceConfig"]) << i;
    }
    // The undo is a job of its own, which says what it undid.
    const Ran listed = cli({"history", "--site", "Werk Süd", "--format", "json"});
    const json list = json::parse(listed.out, nullptr, false);
    ASSERT_EQ(list.size(), 2u) << listed.out;
    EXPECT_EQ(list[1]["undoes"], "1");
    EXPECT_EQ(list[1]["name"], "Undo job 1");
    // A site that does not exist is named, not made, by a reader.
    const Ran unknown = cli({"history", "--site", "Nirgendwo"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("sites: Werk Süd"), std::string::npos) << unknown.err;
}

// A hundred cameras that answer slowly, so a job over them lasts seconds.
class CliSiteLab : public CliLab {
protected:
    nlohmann::json simulatorConfig() const override {
        // About ten seconds for a job on four cameras at a time.
        return {{"cameras", 100},
                {"answer_delay_ms", 150},
                {"control_socket", m_dir + "/control.sock"}};
    }

    std::unique_ptr<orv::site::CSiteBook> book() const {
        orv::site::CSiteBook::Opened opened =
            orv::site::CSiteBook::Open(m_dir + "/sites/Default.site");
        EXPECT_FALSE(opened.error.has_value()) << (opened.error ? opened.error->text : "");
        return std::move(opened.book);
    }
    // The cameras (by MAC) whose rtsp port the state shows as `port`.
    std::set<std::string> withRtsp(int port) {
        std::set<std::string> out;
        for (const json& c : cameras()) {
            if (c["deviceConfig"]["ports"]["rtsp1"] == port) {
                out.insert(c["mac"].get<std::string>());
            }
        }
        return out;
    }
    static std::string macOf(const std::string& key) {
        std::string mac = key.substr(4); // "mac:"
        std::transform(mac.begin(), mac.end(), mac.begin(), ::tolower);
        return mac;
    }
};

// Killed in the middle of a job: every camera whose change the tool had
// seen succeed is in the site's book (at most the cameras in flight are
// changed without a record), and the book is whole.
TEST_F(CliSiteLab, AKillMidJobLosesNoFinishedCameraAndLeavesTheBookWhole) {
    const std::string profile =
        file("ports.json", R"({"ports": {"http": 80, "onvif": 8000, "rtsp1": 556, "rtsp2": 557}})");
    const pid_t pid = start({"apply", "--profile", profile, "--jobs", "4"});
    // Past discovery and the first cameras, well before the hundredth.
    std::set<std::string> changed;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (changed.size() < 20 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        changed = withRtsp(556);
    }
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the job ended before the kill";
    changed = withRtsp(556);
    ASSERT_LT(changed.size(), 100u) << "the job ended before the kill";

    auto site = book();
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->IntegrityCheck(), "ok");
    ASSERT_EQ(site->Jobs().size(), 1u);
    std::set<std::string> recorded;
    for (const orv::site::ChangeEntry& c : site->ChangesOfJob(site->Jobs()[0].id)) {
        if (c.setting == "ports" && c.outcome == "Succeeded") {
            recorded.insert(macOf(c.camera));
        }
    }
    for (const std::string& mac : recorded) {
        EXPECT_TRUE(changed.count(mac)) << mac << " recorded but not changed";
    }
    std::size_t unrecorded = 0;
    for (const std::string& mac : changed) {
        unrecorded += recorded.count(mac) == 0 ? 1 : 0;
    }
    std::printf("[ measure ] killed with %zu cameras changed, %zu of them recorded\n",
                changed.size(), recorded.size());
    EXPECT_LE(unrecorded, 4u) << "no more than the four cameras in flight";
    // The next start reads the book as it is.
    const Ran history = cli({"history", "--job", "1", "--format", "csv"});
    EXPECT_EQ(history.status, 0) << history.err;
}

// Two programs on one site at once, each on half the cameras: both finish,
// and the book holds both jobs whole.
TEST_F(CliSiteLab, TwoProgramsOnOneSiteBothFinishAndTheBookHoldsBothJobs) {
    const std::string profile =
        file("ports.json", R"({"ports": {"http": 80, "onvif": 8000, "rtsp1": 556, "rtsp2": 557}})");
    ASSERT_EQ(cli({"history"}).status, 0) << "the site exists before both start";
    const pid_t a = start({"apply", "--profile", profile, "--select", "ip=192.0.2.10-192.0.2.59"});
    const pid_t b = start({"apply", "--profile", profile, "--select", "ip=192.0.2.60-192.0.2.109"});
    for (const pid_t pid : {a, b}) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    auto site = book();
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->IntegrityCheck(), "ok");
    const std::vector<orv::site::JobSummary> jobs = site->JobSummaries();
    ASSERT_EQ(jobs.size(), 2u);
    for (const orv::site::JobSummary& job : jobs) {
        EXPECT_EQ(job.cameras, 50) << job.job.id;
        EXPECT_EQ(job.failed, 0) << job.job.id;
    }
    EXPECT_EQ(withRtsp(556).size(), 100u);
    EXPECT_EQ(site->Inventory().size(), 100u);
}

// A backup keeps every setting; after a profile changed them, a camera gets
// its own back, and another camera (its replacement) gets them too, field
// for field, while addresses stay where they are.
TEST_F(CliLab, ABackupGivesACameraItsSettingsBackOrToItsReplacement) {
    const json before = cameras();
    const Ran backup = cli({"backup", "--format", "csv"});
    EXPECT_EQ(backup.status, 1) << "camera 3 refuses the login:\n" << backup.err;
    const std::string profile = file("profile.json", kEveryKindOfChange);
    // Changed behind this site's back: by a tool working in another site.
    ASSERT_EQ(cli({"apply", "--profile", profile, "--site", "Elsewhere"}).status, 1);
    const std::string first = before[0]["mac"];
    const std::string second = before[1]["mac"];

    const Ran own = cli({"restore-backup", "--camera", first});
    EXPECT_EQ(own.status, 0) << own.out << own.err;
    json now = cameras();
    EXPECT_EQ(now[0]["name"], before[0]["name"]);
    EXPECT_EQ(now[0]["deviceConfig"], before[0]["deviceConfig"]);

    // The first camera's settings on the second, which keeps its address.
    const Ran replaced = cli({"restore-backup", "--camera", first, "--to", second});
    EXPECT_EQ(replaced.status, 0) << replaced.out << replaced.err;
    now = cameras();
    EXPECT_EQ(now[1]["name"], before[0]["name"]);
    EXPECT_EQ(now[1]["ip"], before[1]["ip"]);
    for (const char* section : {"ports", "imaging", "streams", "ddns"}) {
        EXPECT_EQ(now[1]["deviceConfig"][section], before[0]["deviceConfig"][section]) << section;
    }
    // A camera the site never kept settings of is named.
    const Ran unknown = cli({"restore-backup", "--camera", "02:4f:56:10:00:99"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("knows no settings of 02:4F:56:10:00:99"), std::string::npos)
        << unknown.err;
}
