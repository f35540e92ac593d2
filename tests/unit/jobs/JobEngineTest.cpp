// The job engine against cameras on loopback: one login per camera per job,
// each camera's operations in order, reasons in words, bounded concurrency,
// and cancelling that starts no further camera but keeps what finished.

#include "JobWait.h"
#include "RecordingSdk.h"
#include "TestCameras.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <map>

using namespace orv::jobs;

namespace {

tagQvIpcInfo camera(const testcams::Lab& lab, int i, const std::string& ip = {}) {
    tagQvIpcInfo r{};
    r.Mac[5] = static_cast<unsigned char>(i + 1);
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", ip.empty() ? lab.ip(i).c_str() : ip.c_str());
    r.HttpPort = lab.port();
    return r;
}

Credentials login(const char* password = testcams::kPassword) {
    Credentials c;
    std::snprintf(c.user, sizeof c.user, "admin");
    std::snprintf(c.password, sizeof c.password, "%s", password);
    return c;
}

class JobEngineTest : public ::testing::Test {
protected:
    void SetUp() override { Qv_Sdk_SetTimeouts(1000, 2000); }
    void TearDown() override { Qv_Sdk_SetTimeouts(2500, 5000); }

    testcams::Lab lab{4};
    RecordingSdk sdk;
};

} // namespace

TEST_F(JobEngineTest, EachCameraLogsInOnceAndGetsItsOperationsInOrder) {
    CJobEngine engine(sdk, 2);
    JobSpec spec;
    spec.targets = {camera(lab, 0), camera(lab, 1), camera(lab, 2)};
    spec.credentials = login();
    spec.work = [](CameraRun& run) {
        QvPortInfo ports{};
        run.Report("Read Port", run.Sdk().GetPortInfo(run.Handle(), &ports));
        QvDdnsInfo ddns{};
        run.Report("Read DDNS", run.Sdk().GetDdns(run.Handle(), &ddns));
    };
    const auto results = RunJob(engine, spec);
    ASSERT_EQ(results.size(), 6u);
    std::map<int, std::vector<std::string>> perCamera;
    for (const OperationResult& r : results) {
        EXPECT_EQ(r.outcome, Outcome::Succeeded) << r.operation;
        perCamera[r.device.Mac[5]].push_back(r.operation);
    }
    for (const auto& [mac, operations] : perCamera) {
        EXPECT_EQ(operations, (std::vector<std::string>{"Read Port", "Read DDNS"})) << mac;
    }
    EXPECT_EQ(sdk.Calls("Login").size(), 3u) << "one login per camera for both calls";
}

TEST_F(JobEngineTest, FailuresCarryTheirReasonInWords) {
    CJobEngine engine(sdk);
    lab.server.setFaults(lab.key(1), camsim::FaultPlan{.failCall = "ports.set"});
    camsim::FaultPlan slow;
    slow.delay = std::chrono::milliseconds(3000);
    lab.server.setFaults(lab.key(3), slow);
    JobSpec spec;
    // A camera that fails the call, one that refuses the value, one too
    // slow to answer, and an address nobody answers on.
    spec.targets = {camera(lab, 1), camera(lab, 2), camera(lab, 3), camera(lab, 0, "127.0.0.90")};
    spec.credentials = login();
    spec.work = [](CameraRun& run) {
        QvPortInfo ports{8080, 8000, 554, 555, 0};
        if (run.Device().Mac[5] == 3) {
            ports.onvifPort = 8080; // the same port twice
        }
        const int handle = run.Handle();
        run.Report("Modify Port", handle < 0 ? -1 : run.Sdk().SetPortInfo(handle, &ports));
    };
    std::map<std::string, std::string> reasons;
    for (const OperationResult& r : RunJob(engine, spec)) {
        EXPECT_EQ(r.outcome, Outcome::Failed);
        reasons[r.device.IpAddr] = ReasonText(r.reason, r.seconds);
    }
    EXPECT_EQ(reasons[lab.ip(1)], "the camera reported an internal failure");
    EXPECT_EQ(reasons[lab.ip(2)], "the camera refused the value");
    EXPECT_EQ(reasons[lab.ip(3)], "no answer within 2 s") << "the request limit";
    EXPECT_EQ(reasons["127.0.0.90"], "connection refused or cut");

    // Refused credentials fail every operation of the camera without a call.
    spec.targets = {camera(lab, 0)};
    spec.credentials = login("wrong");
    sdk.Clear();
    const auto refused = RunJob(engine, spec);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(ReasonText(refused[0].reason), "wrong user name or password");
    EXPECT_TRUE(sdk.Calls("SetPortInfo").empty());
}

TEST_F(JobEngineTest, ConcurrencyIsBoundedAndCancelStartsNoFurtherCamera) {
    CJobEngine engine(sdk, 2);
    std::atomic<int> active{0};
    std::atomic<int> started{0};
    std::latch release(1);
    JobSpec spec;
    for (int i = 0; i < 4; ++i) {
        spec.targets.push_back(camera(lab, i));
    }
    spec.operations = {"Wait"};
    spec.work = [&](CameraRun& run) {
        ++active;
        ++started;
        release.wait();
        run.Report("Wait", 0);
        --active;
    };
    const JobId job = engine.Start(spec);
    while (started.load() < 2) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(active.load(), 2) << "no third camera while two are at work";
    engine.Cancel(job);
    release.count_down();
    const auto results = WaitForJob(engine, job);
    int succeeded = 0;
    int cancelled = 0;
    for (const OperationResult& r : results) {
        succeeded += r.outcome == Outcome::Succeeded;
        cancelled += r.outcome == Outcome::Cancelled;
    }
    EXPECT_EQ(succeeded, 2) << "the cameras at work finish and report";
    EXPECT_EQ(cancelled, 2);
    EXPECT_FALSE(engine.IsRunning(job));
}
