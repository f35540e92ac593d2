// A camera that misbehaves makes a call fail within its bound, with the
// error number that says why, and never fills a record.

#include "TestCameras.h"

#include <gtest/gtest.h>

#include <httplib.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace testcams;

namespace {

class SdkFaults : public ::testing::Test {
protected:
    // Short limits keep the suite fast; DefaultLimitsBoundAStall checks the
    // documented defaults once.
    static constexpr int kConnectMs = 1000;
    static constexpr int kRequestMs = 1500;

    void SetUp() override {
        Qv_Sdk_SetTimeouts(kConnectMs, kRequestMs);
        handle = lab.login(0);
        ASSERT_GT(handle, 0);
    }
    void TearDown() override { Qv_Sdk_SetTimeouts(2500, 5000); }

    // Makes one Get under the plan; returns the error number and the seconds it took.
    std::pair<int, double> getUnder(const camsim::FaultPlan& plan) {
        lab.server.setFaults(lab.key(0), plan);
        QvImagingSettings record;
        std::memset(&record, 0x77, sizeof record);
        const auto start = std::chrono::steady_clock::now();
        const int result = Qv_Ipc_GetImagingSettings(handle, &record);
        const double seconds = secondsSince(start);
        const int error = Qv_Sdk_GetLastError();
        EXPECT_NE(result, 0);
        for (std::size_t i = 0; i < sizeof record; ++i) {
            EXPECT_EQ(reinterpret_cast<const unsigned char*>(&record)[i], 0x77);
        }
        lab.server.clearFaults(lab.key(0));
        return {error, seconds};
    }

    Lab lab{2};
    int handle = -1;
};

TEST_F(SdkFaults, SlowAnswersEndInATimeout) {
    camsim::FaultPlan delayed;
    delayed.delay = std::chrono::milliseconds(4000);
    camsim::FaultPlan trickle;
    trickle.trickle = true;
    trickle.trickleInterval = std::chrono::milliseconds(300);
    camsim::FaultPlan stall;
    stall.stallAfterHeaders = true;
    for (const auto& plan : {delayed, trickle, stall}) {
        const auto [error, seconds] = getUnder(plan);
        EXPECT_EQ(error, QV_ERR_TIMEOUT);
        EXPECT_GT(seconds, kRequestMs / 1000.0 - 0.1);
        EXPECT_LT(seconds, kRequestMs / 1000.0 + 0.5);
    }
}

TEST_F(SdkFaults, CutAndBrokenAnswers) {
    camsim::FaultPlan cut;
    cut.closeMidway = true;
    auto [error, seconds] = getUnder(cut);
    EXPECT_EQ(error, QV_ERR_NETWORK);
    EXPECT_LT(seconds, 0.5);

    camsim::FaultPlan malformed;
    malformed.malformedJson = true;
    std::tie(error, seconds) = getUnder(malformed);
    EXPECT_EQ(error, QV_ERR_MALFORMED);

    camsim::FaultPlan huge;
    huge.hugeAnswer = true;
    std::tie(error, seconds) = getUnder(huge);
    EXPECT_EQ(error, QV_ERR_MALFORMED);
    EXPECT_LT(seconds, 0.5);

    camsim::FaultPlan down;
    down.httpDown = true;
    std::tie(error, seconds) = getUnder(down);
    EXPECT_EQ(error, QV_ERR_NETWORK);
    EXPECT_LT(seconds, 0.5);

    // After the faults the same handle works again.
    QvImagingSettings record{};
    EXPECT_EQ(Qv_Ipc_GetImagingSettings(handle, &record), 0);
}

TEST_F(SdkFaults, OneNamedCallFailsTheOthersWork) {
    camsim::FaultPlan plan;
    plan.failCall = "picture.get";
    const auto [error, seconds] = getUnder(plan);
    EXPECT_EQ(error, QV_ERR_DEVICE);
    plan.failCall = "ports.set";
    lab.server.setFaults(lab.key(0), plan);
    QvPortInfo ports{};
    ASSERT_EQ(Qv_Ipc_GetPortInfo(handle, &ports), 0);
    EXPECT_NE(Qv_Ipc_SetPortInfo(handle, &ports), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_DEVICE);
    lab.server.setFaults(lab.key(0), camsim::FaultPlan{.refuseCall = "ports.set"});
    EXPECT_NE(Qv_Ipc_SetPortInfo(handle, &ports), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
}

TEST_F(SdkFaults, DefaultLimitsBoundAStall) {
    Qv_Sdk_SetTimeouts(2500, 5000);
    camsim::FaultPlan stall;
    stall.stallAfterHeaders = true;
    const auto [error, seconds] = getUnder(stall);
    EXPECT_EQ(error, QV_ERR_TIMEOUT);
    EXPECT_LT(seconds, 5.5);
}

// A camera that offers only the old Digest form (no qop) never gets an
// answer; one that offers SHA-256 beside MD5 gets a SHA-256 answer.
TEST(SdkDigest, RefusesAChallengeWithoutQopAndPrefersSha256) {
    httplib::Server camera;
    std::mutex lock;
    std::vector<std::string> offer;
    std::vector<std::string> answers;
    camera.Get("/api/v1/device", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard guard(lock);
        answers.push_back(req.get_header_value("Authorization"));
        if (!req.has_header("Authorization")) {
            res.status = 401;
            for (const auto& header : offer) {
                res.set_header("WWW-Authenticate", header);
            }
            return;
        }
        res.set_content(R"({"model":"QVIP3651","version":"13.1.0.5","deviceName":"C"})",
                        "application/json");
    });
    camera.set_keep_alive_max_count(1); // stop() need not wait for a kept connection
    const int port = camera.bind_to_any_port("127.0.0.1");
    std::thread serving([&camera] { camera.listen_after_bind(); });
    auto login = [&](std::vector<std::string> challenges) {
        {
            std::lock_guard guard(lock);
            offer = std::move(challenges);
            answers.clear();
        }
        return Qv_Ipc_Login("127.0.0.1", "", port, "admin", kPassword, 0);
    };
    EXPECT_EQ(login({R"(Digest realm="R", nonce="n1", algorithm=MD5)"}), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_AUTH);
    EXPECT_EQ(answers, std::vector<std::string>{""}) << "no answer to the old form";
    EXPECT_GT(login({R"(Digest realm="R", qop="auth", nonce="n2", algorithm=MD5)",
                     R"(Digest realm="R", qop="auth,auth-int", nonce="n2", algorithm=SHA-256)"}),
              0);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_NE(answers[1].find("algorithm=SHA-256"), std::string::npos) << answers[1];
    // Without an algorithm the challenge means MD5 (RFC 7616), as many
    // cameras leave it.
    EXPECT_GT(login({R"(Digest realm="R", qop="auth", nonce="n3")"}), 0);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_NE(answers[1].find("algorithm=MD5"), std::string::npos) << answers[1];
    camera.stop();
    serving.join();
}

} // namespace
