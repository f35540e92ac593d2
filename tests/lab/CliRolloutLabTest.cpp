// An upgrade rolled out in waves over forty cameras: one camera first, then
// a quarter of the others, then the rest. Five cameras of the second wave
// refuse the image and one is of a model the image is not made for; the job
// stops after the third failure and the third wave is never started. The
// simulator's upload counters are the judge of which camera received bytes,
// and the site's book keeps the version each upgraded camera came back with.

#include "CliLab.h"

#include <nlohmann/json.hpp>

#include <map>

using nlohmann::json;

namespace {

constexpr int kCameras = 40;

class CliRolloutLab : public CliLab {
protected:
    // Every tenth camera (10, 20, 30, 40) is a QVIP3751, for which the image
    // is not made; cameras 2 to 6 refuse it.
    json simulatorConfig() const override {
        json models = json::array();
        for (int i = 0; i < 9; ++i) {
            models.push_back("QVIP3651");
        }
        models.push_back("QVIP3751");
        json overrides = json::object();
        for (int camera = 2; camera <= 6; ++camera) {
            overrides[std::to_string(camera)] = {{"faults", {{"refuse_call", "firmware"}}}};
        }
        return {{"cameras", kCameras},
                {"password", "admin"},
                {"models", models},
                {"versions", {"13.1.0.5"}},
                {"reboot_silence_ms", 200},
                {"control_socket", m_dir + "/control.sock"},
                {"cameras_override", overrides}};
    }
};

} // namespace

TEST_F(CliRolloutLab, TheJobStopsAfterTheThresholdAndNoCameraOfTheWrongModelGetsAByte) {
    const std::string image = file("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(8192, 'f'));
    const std::string results = m_dir + "/results.json";
    const Ran run = cli({"upgrade", image, "--waves", "25", "--stop-after", "3", "--select", "all",
                         "--jobs", "16", "--results", results});
    EXPECT_NE(run.status, 0) << "cameras failed";

    std::map<std::string, json> byIp;
    for (const json& r : json::parse(read(results))) {
        byIp[r.value("ip", "")] = r;
    }
    ASSERT_EQ(byIp.size(), static_cast<std::size_t>(kCameras)) << run.out << run.err;
    // Waves of 1, 10 and 29 cameras in the order of their addresses.
    int notStarted = 0;
    int refused = 0;
    int succeeded = 0;
    for (int number = 1; number <= kCameras; ++number) {
        const json c = control({{"op", "get"}, {"camera", number}}).value("camera", json::object());
        const json& r = byIp.at(c.value("ip", ""));
        const auto bytes = c.value("uploadedBytes", std::uint64_t{0});
        const std::string reason = r.value("reason", "");
        SCOPED_TRACE("camera " + std::to_string(number) + ": " + r.dump());
        if (c.value("model", "") == "QVIP3751") {
            EXPECT_EQ(bytes, 0u);
        }
        if (reason.rfind("not started", 0) == 0) {
            // The third wave, and any camera of the second not yet started
            // when the third failure came back.
            EXPECT_GT(number, 1);
            EXPECT_EQ(r.value("outcome", ""), "Cancelled");
            EXPECT_EQ(reason, "not started: the job stopped after 3 failed cameras");
            EXPECT_EQ(bytes, 0u);
            ++notStarted;
        } else if (number == 10) {
            EXPECT_EQ(r.value("outcome", ""), "Failed");
            EXPECT_EQ(reason.rfind("not made for this camera's model", 0), 0u);
        } else if (number >= 2 && number <= 6) {
            EXPECT_EQ(r.value("outcome", ""), "Failed");
            ++refused;
        } else {
            EXPECT_LE(number, 11) << "a camera of the third wave was started";
            EXPECT_EQ(r.value("outcome", ""), "Succeeded");
            EXPECT_GT(bytes, 0u);
            ++succeeded;
        }
    }
    EXPECT_GE(notStarted, kCameras - 11);
    EXPECT_GE(refused, 3);

    // Each camera that took the image, with the version it rebooted into.
    const Ran history = cli({"history", "--job", "1", "--format", "json"});
    ASSERT_EQ(history.status, 0) << history.err;
    int upgraded = 0;
    for (const json& change : json::parse(history.out)) {
        if (change.value("setting", "") != "firmware" ||
            change.value("outcome", "") != "Succeeded") {
            continue;
        }
        EXPECT_EQ(change.value("before", ""), R"({"firmware":"13.1.0.5"})");
        EXPECT_EQ(json::parse(change.value("after", "{}")).value("firmware", ""), "13.8.0.1")
            << change.dump();
        ++upgraded;
    }
    EXPECT_EQ(upgraded, succeeded) << history.out;
}
