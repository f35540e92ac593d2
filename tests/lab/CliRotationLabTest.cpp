// A rotation of thirty cameras' passwords killed with SIGKILL halfway: each
// new password was kept before its camera was changed, so after the kill
// every camera takes a password the site holds (its own, the new one not
// yet confirmed, or the default), a later job logs into all of them, and
// the logins that worked make the new passwords the cameras' own. The
// simulator's state is the judge of what each camera has.

#include "CliLab.h"
#include "secrets/PasswordVault.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <set>
#include <thread>

using nlohmann::json;

namespace {

constexpr int kCameras = 30;
constexpr const char* kPassphrase = "lab site passphrase";

class CliRotationLab : public CliLab {
protected:
    // Every call answers after 150 ms: the rotation takes long enough to be
    // killed in the middle.
    json simulatorConfig() const override {
        json overrides = json::object();
        for (int camera = 1; camera <= kCameras; ++camera) {
            overrides[std::to_string(camera)] = {{"faults", {{"delay_ms", 150}}}};
        }
        return {{"cameras", kCameras},
                {"password", "admin"},
                {"reboot_silence_ms", 200},
                {"control_socket", m_dir + "/control.sock"},
                {"cameras_override", overrides}};
    }

    // The site's key of a camera of the simulator's state.
    static std::string keyOf(const json& camera) {
        std::string mac = camera.value("mac", "");
        std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
        return "mac:" + mac;
    }

    int changed() {
        int n = 0;
        for (const json& c : cameras()) {
            n += c.value("password", "") != "admin" ? 1 : 0;
        }
        return n;
    }
};

} // namespace

TEST_F(CliRotationLab, AKillHalfwayLocksNoCameraOutAndTheNextJobConfirmsTheNewPasswords) {
    const pid_t rotation = start({"passwords", "--rotate", "--select", "all", "--jobs", "4"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (changed() < 6 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(::kill(rotation, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(rotation, &status, 0), rotation);
    ASSERT_TRUE(WIFSIGNALED(status));
    const int before = changed();
    ASSERT_GE(before, 6);
    ASSERT_LT(before, kCameras) << "the kill came after the last camera";

    for (int camera = 1; camera <= kCameras; ++camera) {
        ASSERT_EQ(control({{"op", "faults"}, {"camera", camera}, {"faults", json::object()}}),
                  json({{"ok", true}}));
    }
    // Each camera has the default, or a password the site holds for it.
    auto vault = orv::secrets::CPasswordVault::Open("Default", m_dir + "/sites/Default.site",
                                                    nullptr, std::string(kPassphrase))
                     .vault;
    ASSERT_NE(vault, nullptr);
    const json state = cameras();
    int pending = 0;
    for (const json& c : state) {
        const std::string password = c.value("password", "");
        if (password == "admin") {
            continue;
        }
        const auto own = vault->Find(keyOf(c));
        ASSERT_TRUE(own) << c.dump();
        EXPECT_TRUE(own->current == password || own->pending == password) << c.dump();
        pending += own->pending == password ? 1 : 0;
    }
    EXPECT_GT(pending, 0) << "no camera was changed between keeping and confirming";

    // A camera the killed rotation had just rebooted answers again shortly.
    for (int tries = 0; tries < 5; ++tries) {
        const Ran seen = cli({"discover", "--format", "csv"});
        if (std::count(seen.out.begin(), seen.out.end(), '\n') == kCameras + 1) {
            break;
        }
    }
    // A later job with the default login reaches every camera, the changed
    // ones among them.
    const std::string profile = file("ports.json", R"({"ports": {"http": 80, "onvif": 8000,
                                                      "rtsp1": 556, "rtsp2": 557}})");
    const std::string results = m_dir + "/apply.json";
    const Ran apply = cli({"apply", "--profile", profile, "--select", "all", "--results", results});
    EXPECT_EQ(apply.status, 0) << apply.out << apply.err;
    std::set<std::string> reached;
    for (const json& r : json::parse(read(results))) {
        if (r.value("outcome", "") == "Succeeded") {
            reached.insert(r.value("mac", ""));
        }
    }
    int confirmed = 0;
    for (const json& c : cameras()) {
        const std::string password = c.value("password", "");
        if (password == "admin") {
            continue;
        }
        const std::string key = keyOf(c);
        EXPECT_EQ(reached.count(key.substr(4)), 1u) << key;
        const auto own = vault->Find(key);
        ASSERT_TRUE(own);
        EXPECT_EQ(own->current, password) << "confirmed by the login";
        EXPECT_EQ(own->pending, "");
        ++confirmed;
    }
    EXPECT_GE(confirmed, before);
}
