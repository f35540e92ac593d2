// The job engine against cameras on loopback: one login per camera per job,
// each camera's operations in order, reasons in words, one timeout per job
// for a camera that stops answering, a hundred cameras at once, bounded
// concurrency, and cancelling that starts no further camera but keeps what
// finished. The ThreadSanitizer build runs these too.

#include "DeviceRecords.h"
#include "JobWait.h"
#include "RecordingDriver.h"
#include "TestCameras.h"
#include "jobs/JobResults.h"
#include "jobs/ReachProbe.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <latch>
#include <map>
#include <stdexcept>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orv::jobs;

namespace {

tagQvIpcInfo record(const testcams::Lab& lab, int i, const std::string& ip = {}) {
    tagQvIpcInfo r{};
    r.Mac[4] = static_cast<unsigned char>((i + 1) >> 8);
    r.Mac[5] = static_cast<unsigned char>(i + 1);
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", ip.empty() ? lab.ip(i).c_str() : ip.c_str());
    r.HttpPort = lab.port();
    return r;
}

orv::device::DeviceInfo camera(const testcams::Lab& lab, int i, const std::string& ip = {}) {
    return Found(record(lab, i, ip));
}

// The last two MAC bytes: the camera's number.
int last(const orv::device::DeviceInfo& device) {
    return device.mac ? (*device.mac)[4] << 8 | (*device.mac)[5] : -1;
}

std::string ip(const orv::device::DeviceInfo& device) {
    return device.AddressText().toStdString();
}

orv::device::Credentials login(const char* password = testcams::kPassword) {
    return {QStringLiteral("admin"), QString::fromLatin1(password)};
}

using Session = orv::device::IDeviceSession;

// An address where connection attempts are never answered, as with a
// camera unplugged: a listener whose one-place queue is full.
class Unanswered {
public:
    Unanswered()
        : m_listener(::socket(AF_INET, SOCK_STREAM, 0)),
          m_filler(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(0x7f00005b); // 127.0.0.91
        socklen_t length = sizeof address;
        auto* a = reinterpret_cast<sockaddr*>(&address);
        if (::bind(m_listener, a, length) != 0 || ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, a, &length) != 0 || ::connect(m_filler, a, length) != 0) {
            throw std::runtime_error("no unanswered address");
        }
        m_port = ntohs(address.sin_port);
    }
    ~Unanswered() {
        ::close(m_filler);
        ::close(m_listener);
    }
    Unanswered(const Unanswered&) = delete;
    Unanswered& operator=(const Unanswered&) = delete;
    int port() const { return m_port; }

private:
    int m_listener;
    int m_filler;
    int m_port = 0;
};

class JobEngineTest : public ::testing::Test {
protected:
    void SetUp() override { Qv_Sdk_SetTimeouts(1000, 2000); }
    void TearDown() override { Qv_Sdk_SetTimeouts(2500, 5000); }

    testcams::Lab lab{4};
    RecordingDriver driver;
};

} // namespace

TEST_F(JobEngineTest, EachCameraLogsInOnceAndGetsItsOperationsInOrder) {
    CJobEngine engine(driver.Set(), 2);
    JobSpec order;
    order.targets = {camera(lab, 0), camera(lab, 1), camera(lab, 2)};
    order.credentials = login();
    order.work = [](CameraRun& run) {
        run.Report("Read Port", run.Do([](Session& s) { return s.GetPorts(); }));
        run.Report("Read DDNS", run.Do([](Session& s) { return s.GetDdns(); }));
    };
    const auto results = RunJob(engine, order);
    ASSERT_EQ(results.size(), 6u);
    std::map<int, std::vector<std::string>> perCamera;
    for (const OperationResult& r : results) {
        EXPECT_EQ(r.outcome, Outcome::Succeeded) << r.operation;
        perCamera[last(r.device)].push_back(r.operation);
    }
    for (const auto& [mac, operations] : perCamera) {
        EXPECT_EQ(operations, (std::vector<std::string>{"Read Port", "Read DDNS"})) << mac;
    }
    EXPECT_EQ(driver.Calls("Login").size(), 3u) << "one login per camera for both calls";
}

TEST_F(JobEngineTest, FailuresCarryTheirReasonInWords) {
    CJobEngine engine(driver.Set());
    lab.server.setFaults(lab.key(1), camsim::FaultPlan{.failCall = "ports.set"});
    camsim::FaultPlan slow;
    slow.delay = std::chrono::milliseconds(3000);
    lab.server.setFaults(lab.key(3), slow);
    JobSpec order;
    // A camera that fails the call, one that refuses the value, one too
    // slow to answer, and an address nobody answers on.
    order.targets = {camera(lab, 1), camera(lab, 2), camera(lab, 3), camera(lab, 0, "127.0.0.90")};
    order.credentials = login();
    order.work = [](CameraRun& run) {
        orv::device::PortSettings ports{{8080, 8000, 554, 555}, {}};
        if (last(run.Device()) == 3) {
            ports.ports.onvif = 8080; // the same port twice
        }
        run.Report("Modify Port", run.Do([&](Session& s) { return s.SetPorts(ports); }));
    };
    std::map<std::string, std::string> reasons;
    for (const OperationResult& r : RunJob(engine, order)) {
        EXPECT_EQ(r.outcome, Outcome::Failed);
        reasons[ip(r.device)] = ReasonText(r);
    }
    EXPECT_EQ(reasons[lab.ip(1)], "the camera reported an internal failure");
    EXPECT_EQ(reasons[lab.ip(2)], "the camera refused the value");
    EXPECT_EQ(reasons[lab.ip(3)], "no answer within 2 s") << "the request limit";
    EXPECT_EQ(reasons["127.0.0.90"], "connection refused or cut");
}

TEST_F(JobEngineTest, ConcurrencyIsBoundedAndCancelStartsNoFurtherCamera) {
    CJobEngine engine(driver.Set(), 2);
    std::atomic<int> active{0};
    std::atomic<int> started{0};
    std::latch release(1);
    JobSpec order;
    for (int i = 0; i < 4; ++i) {
        order.targets.push_back(camera(lab, i));
    }
    order.operations = {"Wait"};
    order.work = [&](CameraRun& run) {
        ++active;
        ++started;
        release.wait();
        run.Report("Wait", orv::device::Done{});
        --active;
    };
    const JobId job = engine.Start(order);
    while (started.load() < 2) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(active.load(), 2) << "no third camera while two are at work";
    // The cameras still waiting report at once, while the two at work are
    // still in their calls.
    std::vector<OperationResult> results;
    QObject::connect(&engine, &CJobEngine::operationDone,
                     [&](const OperationResult& r) { results.push_back(r); });
    engine.Cancel(job);
    EXPECT_EQ(engine.InFlight(job), 2);
    const QDeadlineTimer deadline(2000);
    while (results.size() < 2 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(results.size(), 2u); // no ASSERT: the workers wait for the release
    for (const OperationResult& r : results) {
        EXPECT_EQ(r.outcome, Outcome::Cancelled);
    }
    release.count_down();
    WaitForJob(engine, job);
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

TEST_F(JobEngineTest, ACameraThatStopsAnsweringCostsOneTimeoutPerJob) {
    Unanswered nowhere;
    CJobEngine engine(driver.Set());
    tagQvIpcInfo unplugged = record(lab, 0, "127.0.0.91");
    unplugged.HttpPort = nowhere.port();
    JobSpec order;
    order.targets = {Found(unplugged), camera(lab, 1)};
    order.credentials = login();
    const camsim::CameraKey quiet = lab.key(1);
    order.work = [&](CameraRun& run) {
        if (run.Session()) {
            // The camera took the login and then falls silent.
            camsim::FaultPlan silent;
            silent.delay = std::chrono::milliseconds(5000);
            lab.server.setFaults(quiet, silent);
        }
        run.Report("Read Port", run.Do([](Session& s) { return s.GetPorts(); }));
        run.Report("Read DDNS", run.Do([](Session& s) { return s.GetDdns(); }));
        run.Report("Read Image", run.Do([](Session& s) { return s.GetImage(); }));
    };
    const auto results = RunJob(engine, order);
    ASSERT_EQ(results.size(), 6u);
    for (const OperationResult& r : results) {
        EXPECT_EQ(r.reason, Reason::NoAnswer) << r.operation;
        // The connect limit is 1 s and the answer limit 2 s: twice either
        // would be a second wait.
        EXPECT_LT(r.seconds, r.device.ports.http == nowhere.port() ? 1.9 : 3.5) << r.operation;
    }
    // The limit that ran out, the same words for every call it cost.
    for (const OperationResult& r : results) {
        EXPECT_EQ(ReasonText(r), r.device.ports.http == nowhere.port() ? "no answer within 1 s"
                                                                       : "no answer within 2 s")
            << r.operation;
    }
    const auto calls = driver.Calls();
    EXPECT_EQ(calls.size(), 2u) << "a login and the one read that timed out; the unplugged camera "
                                   "was given up before its login";
}

// Every camera is asked at once whether it answers: twenty unplugged ones
// cost a job of two workers one connect limit in all, not ten, the cameras
// that answer (or refuse) are done long before it runs out, and a cancel or
// the program's end takes those still being asked at once.
TEST_F(JobEngineTest, SilentCamerasCostOneConnectLimitInAllAndHoldNoWorker) {
    Unanswered nowhere;
    CJobEngine engine(driver.Set(), 2);
    JobSpec order;
    for (int i = 0; i < 20; ++i) {
        tagQvIpcInfo unplugged = record(lab, 10 + i, "127.0.0.91");
        unplugged.HttpPort = nowhere.port();
        order.targets.push_back(Found(unplugged));
    }
    tagQvIpcInfo closed = record(lab, 9, "127.0.0.92");
    closed.HttpPort = 9; // nothing listens: refused at once
    order.targets.push_back(Found(closed));
    for (int i = 0; i < 4; ++i) {
        order.targets.push_back(camera(lab, i));
    }
    order.credentials = login();
    order.operations = {"Read Port"};
    order.work = [](CameraRun& run) {
        run.Report("Read Port", run.Do([](Session& s) { return s.GetPorts(); }));
    };
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> otherAt;
    const auto seen =
        QObject::connect(&engine, &CJobEngine::operationDone, [&](const OperationResult& r) {
            if (r.reason != Reason::NoAnswer) {
                otherAt.push_back(clock.elapsed());
            }
        });
    const auto results = RunJob(engine, order);
    const qint64 took = clock.elapsed();
    QObject::disconnect(seen);
    ASSERT_EQ(results.size(), 25u);
    int silent = 0;
    for (const OperationResult& r : results) {
        if (r.device.ports.http == nowhere.port()) {
            ++silent;
            EXPECT_EQ(ReasonText(r), "no answer within 1 s");
        } else {
            EXPECT_EQ(r.outcome, r.device.ports.http == 9 ? Outcome::Failed : Outcome::Succeeded);
            EXPECT_NE(r.reason, Reason::NoAnswer);
        }
    }
    EXPECT_EQ(silent, 20);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1900) << "one connect limit of 1 s, where two workers took ten";
    ASSERT_EQ(otherAt.size(), 5u);
    for (const qint64 at : otherAt) {
        EXPECT_LT(at, 900) << "the cameras that answer do not wait for the silent ones";
    }
    EXPECT_EQ(driver.Calls("Login").size(), 5u) << "no worker tried a silent camera";

    order.targets.resize(20);
    for (const bool shutdown : {false, true}) {
        SCOPED_TRACE(shutdown ? "shutdown" : "cancel");
        const JobId job = engine.Start(order);
        std::vector<OperationResult> cancelled;
        const auto heard =
            QObject::connect(&engine, &CJobEngine::operationDone, [&](const OperationResult& r) {
                if (r.job == job) {
                    cancelled.push_back(r);
                }
            });
        clock.restart();
        if (shutdown) {
            engine.Shutdown();
        } else {
            engine.Cancel(job);
            WaitForJob(engine, job);
        }
        EXPECT_LT(clock.elapsed(), 300);
        QObject::disconnect(heard);
        ASSERT_EQ(cancelled.size(), 20u);
        for (const OperationResult& r : cancelled) {
            EXPECT_EQ(r.outcome, Outcome::Cancelled);
        }
    }
}

// A site's worth of cameras through sixteen workers (the ThreadSanitizer
// build runs this too).
TEST_F(JobEngineTest, AThousandCamerasAtOnceEachGetTheirOwnValue) {
    constexpr int kCameras = 1000;
    testcams::Lab many{kCameras};
    CJobEngine engine(driver.Set());
    JobSpec order;
    for (int i = 0; i < kCameras; ++i) {
        order.targets.push_back(camera(many, i));
    }
    order.credentials = login();
    order.work = [](CameraRun& run) {
        const orv::device::PictureSettings picture{1 + last(run.Device()) % 100, 1, 2};
        const auto set = run.Do([&](Session& s) { return s.SetPicture(picture); });
        const auto back = run.Do([](Session& s) { return s.GetPicture(); });
        const bool same = set && back && back->brightness == picture.brightness;
        run.Report("Picture",
                   same ? orv::device::Status(orv::device::Done{}) : orv::device::Fault::BadAnswer);
    };
    int lastDone = 0;
    QObject::connect(&engine, &CJobEngine::progress,
                     [&](JobId, int done, int) { lastDone = std::max(lastDone, done); });
    const auto results = RunJob(engine, order, 120000);
    ASSERT_EQ(results.size(), static_cast<std::size_t>(kCameras));
    for (const OperationResult& r : results) {
        EXPECT_EQ(r.outcome, Outcome::Succeeded) << ip(r.device);
    }
    for (int i = 0; i < kCameras; ++i) {
        EXPECT_EQ(many.host.snapshot(many.key(i))->config["picture"]["brightness"],
                  1 + (i + 1) % 100)
            << i;
    }
    EXPECT_EQ(lastDone, kCameras);
    EXPECT_EQ(driver.Calls("Login").size(), static_cast<std::size_t>(kCameras));
}

// A job cancelled while the probe opens its connections: the requests it
// holds between its queue and epoll are told too, each once, before Drop
// returns. Dropped at a different moment each round.
TEST(ReachProbeTest, ADropWhileConnectionsAreBeingOpenedTellsEachRequestOnce) {
    Unanswered nowhere;
    constexpr int kRequests = 600;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        CReachProbe probe;
        std::atomic<int> dropped{0};
        std::atomic<int> other{0};
        std::vector<CReachProbe::Request> asks;
        for (int i = 0; i < kRequests; ++i) {
            asks.push_back({7, 0x7f00005b, static_cast<std::uint16_t>(nowhere.port()),
                            std::chrono::seconds(20), [&](CReachProbe::Outcome outcome) {
                                ++(outcome == CReachProbe::Outcome::Dropped ? dropped : other);
                            }});
        }
        probe.Probe(std::move(asks));
        std::this_thread::sleep_for(std::chrono::microseconds(150 * round));
        probe.Drop(7);
        EXPECT_EQ(dropped.load(), kRequests);
        EXPECT_EQ(other.load(), 0);
    }
}

TEST(JobResults, ACameraCountsByItsWorstOutcomeAndRetryTakesEveryUnfinishedCameraOnce) {
    const auto camera = [](std::uint8_t number) {
        tagQvIpcInfo r{};
        r.Mac[5] = number;
        return Found(r);
    };
    const auto result = [&](std::uint8_t number, const char* operation, Outcome outcome) {
        OperationResult r;
        r.job = 1;
        r.device = camera(number);
        r.operation = operation;
        r.outcome = outcome;
        return r;
    };
    CJobResultsModel model;
    model.Begin(1);
    // Camera 1 fails first and succeeds later; camera 2 is cancelled after a
    // success; camera 3 succeeds throughout; camera 4 is no longer listed.
    for (const auto& r :
         {result(4, "Modify Port", Outcome::Succeeded), result(1, "Modify Port", Outcome::Failed),
          result(2, "Modify Port", Outcome::Succeeded),
          result(3, "Modify Port", Outcome::Succeeded), result(1, "Reboot", Outcome::Succeeded),
          result(2, "Reboot", Outcome::Cancelled)}) {
        model.Add(r);
    }
    OperationResult stale = result(5, "Reboot", Outcome::Failed);
    stale.job = 0;
    model.Add(stale); // a late result of an earlier job never joins this one's
    const CameraTally tally = TallyCameras(model.Results());
    EXPECT_EQ(tally.cameras, 4);
    EXPECT_EQ(tally.failed, 1) << "a later success does not hide a failure";
    EXPECT_EQ(tally.cancelled, 1);
    EXPECT_EQ(tally.succeeded, 2);

    const auto retry = model.FailedDevices();
    ASSERT_EQ(retry.size(), 2u) << "the failed camera and the cancelled one, once each";
    EXPECT_EQ(last(retry[0]), 1);
    EXPECT_EQ(last(retry[1]), 2);

    const auto key = [&](std::uint8_t number) { return camera(number).id; };
    model.Order({key(3), key(2), key(1)});
    std::vector<int> order;
    for (const auto& r : model.Results()) {
        order.push_back(last(r.device));
    }
    EXPECT_EQ(order, (std::vector<int>{3, 2, 2, 1, 1, 4}))
        << "listed cameras in list order, each keeping its own order, the rest last";
}

namespace {

// What the engine told its journal, from whichever thread told it.
class ListJournal final : public IJobJournal {
public:
    void JobStarted(JobId job, const JobSpec& order) override {
        std::lock_guard lock(m_lock);
        started.emplace_back(job, order.name);
    }
    void CameraFinished(JobId, const std::vector<OperationResult>& results,
                        std::function<void()> kept) override {
        {
            std::lock_guard lock(m_lock);
            cameras.push_back(results);
        }
        kept();
    }
    void Flush() override {}
    std::vector<std::pair<JobId, std::string>> started;
    std::vector<std::vector<OperationResult>> cameras;

private:
    std::mutex m_lock;
};

} // namespace

// The history of a job: each camera once, with every change and the value
// it had before. A setting the job read already is not read again; one it
// did not is read just before the change; a change the camera refused
// keeps its values too. A job that only reads is not a job of the history,
// and cameras cancelled before their turn are still told.
TEST_F(JobEngineTest, EachCameraIsJournalledOnceWithEveryChangeAndItsValueBefore) {
    using orv::device::Setting;
    CJobEngine engine(driver.Set(), 2);
    auto journal = std::make_shared<ListJournal>();
    engine.SetJournal(journal);
    lab.server.setFaults(lab.key(2), camsim::FaultPlan{.failCall = "ports.set"});

    (void)RunJob(engine, [&] {
        JobSpec read;
        read.name = "Read settings";
        read.targets = {camera(lab, 0)};
        read.credentials = login();
        read.work = [](CameraRun& run) { (void)run.Do([](Session& s) { return s.GetPorts(); }); };
        return read;
    }());
    EXPECT_TRUE(journal->started.empty()) << "a read is no job of the history";

    JobSpec order;
    order.name = "Batch Set";
    order.targets = {camera(lab, 0), camera(lab, 1), camera(lab, 2)};
    order.credentials = login();
    order.operations = {"Modify Port", "Modify Image", "Modify Device Name"};
    // The HTTP port stays: the job's later calls go to it.
    order.work = [http = lab.port()](CameraRun& run) {
        orv::device::PortSettings ports;
        ports.ports = {http, 8000, 1554, 1555};
        run.Report("Modify Port", run.Do([&](Session& s) { return s.SetPorts(ports); }));
        auto image = run.Do([](Session& s) { return s.GetImage(); });
        ASSERT_TRUE(image.Ok()); // on a worker: the check fails the test
        orv::device::ImageSettings changed = image.Value();
        changed.powerLineHz = changed.powerLineHz == 50 ? 60 : 50;
        run.Report("Modify Image", run.Do([&](Session& s) { return s.SetImage(changed); }));
        run.Report("Modify Device Name",
                   run.Do([](Session& s) { return s.SetName(QStringLiteral("Süd 1")); }));
    };
    const std::vector<OperationResult> results = RunJob(engine, order);
    ASSERT_EQ(results.size(), 9u);
    ASSERT_EQ(journal->started.size(), 1u);
    EXPECT_EQ(journal->started[0].second, "Batch Set");
    ASSERT_EQ(journal->cameras.size(), 3u);
    for (const std::vector<OperationResult>& camera : journal->cameras) {
        ASSERT_EQ(camera.size(), 3u);
        const int n = last(camera[0].device) - 1;
        const OperationResult& ports = camera[0];
        ASSERT_EQ(ports.changes.size(), 1u);
        EXPECT_EQ(ports.changes[0].setting, Setting::Ports);
        orv::device::PortSettings was;
        ASSERT_TRUE(ports.changes[0].before &&
                    orv::device::ReadRecord(*ports.changes[0].before, was));
        EXPECT_EQ(was.ports.http, lab.port()) << "read before the change";
        EXPECT_NE(ports.changes[0].after->find("\"rtsp\":1554"), std::string::npos);
        EXPECT_EQ(ports.outcome, n == 2 ? Outcome::Failed : Outcome::Succeeded);
        const OperationResult& image = camera[1];
        ASSERT_EQ(image.changes.size(), 1u);
        EXPECT_NE(image.changes[0].before, image.changes[0].after);
        const OperationResult& name = camera[2];
        ASSERT_EQ(name.changes.size(), 1u);
        EXPECT_EQ(name.changes[0].after, orv::device::RecordOf(QStringLiteral("Süd 1")));
        EXPECT_EQ(name.changes[0].before, orv::device::RecordOf(camera[0].device.name));
    }
    // The image was read once by the job, never again for its history;
    // the ports, which the job did not read, once each for it.
    EXPECT_EQ(driver.Calls("GetImagingConfig").size(), 3u);
    EXPECT_EQ(driver.Calls("GetPortInfo").size(), 1u + 3u);

    // Cancelled before any camera's turn: each is still in the history. A
    // job that holds both workers keeps the cameras waiting for their turn.
    std::promise<void> release;
    JobSpec holder;
    holder.name = "Hold the workers";
    holder.targets = {camera(lab, 0), camera(lab, 1)};
    holder.probe = false;
    holder.work = [held = release.get_future().share()](CameraRun&) { held.wait(); };
    const JobId holding = engine.Start(holder);
    journal->cameras.clear();
    const JobId cancelled = engine.Start(order);
    engine.Cancel(cancelled);
    release.set_value();
    (void)WaitForJob(engine, holding);
    (void)WaitForJob(engine, cancelled);
    ASSERT_EQ(journal->cameras.size(), 3u);
    for (const std::vector<OperationResult>& camera : journal->cameras) {
        ASSERT_EQ(camera.size(), 3u);
        EXPECT_EQ(camera[0].outcome, Outcome::Cancelled);
        EXPECT_TRUE(camera[0].changes.empty());
    }
}

// A camera's results reach the window only once the journal has kept them:
// what the installer saw outlives a kill. The workers do not wait for it.
TEST_F(JobEngineTest, ResultsAreShownOnlyOnceTheJournalKeptThem) {
    class HoldingJournal final : public IJobJournal {
    public:
        void JobStarted(JobId, const JobSpec&) override {}
        void CameraFinished(JobId, const std::vector<OperationResult>&,
                            std::function<void()> kept) override {
            std::lock_guard lock(m_lock);
            held.push_back(std::move(kept));
        }
        void Flush() override {}
        std::size_t Held() {
            std::lock_guard lock(m_lock);
            return held.size();
        }
        std::vector<std::function<void()>> held;

    private:
        std::mutex m_lock;
    };
    CJobEngine engine(driver.Set(), 2);
    auto journal = std::make_shared<HoldingJournal>();
    engine.SetJournal(journal);
    JobSpec order;
    order.targets = {camera(lab, 0), camera(lab, 1), camera(lab, 2)};
    order.credentials = login();
    order.operations = {"Read Port"};
    order.work = [](CameraRun& run) {
        run.Report("Read Port", run.Do([](Session& s) { return s.GetPorts(); }));
    };
    int shown = 0;
    QObject::connect(&engine, &CJobEngine::operationDone, &engine,
                     [&shown](const OperationResult&) { ++shown; });
    const JobId job = engine.Start(order);
    const QDeadlineTimer deadline(10000);
    while (journal->Held() < 3 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(journal->Held(), 3u) << "every worker went on";
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(engine.IsRunning(job));
    journal->held[1]();
    const std::vector<OperationResult> first = WaitForJob(engine, job, 200);
    EXPECT_EQ(first.size(), 1u) << "the camera kept is shown";
    EXPECT_TRUE(engine.IsRunning(job));
    journal->held[0]();
    journal->held[2]();
    (void)WaitForJob(engine, job);
    EXPECT_FALSE(engine.IsRunning(job));
    EXPECT_EQ(shown, 3);
}

// A job in waves: each wave starts only once every camera of the one before
// is done; after the set number of failed cameras no further camera starts
// and every one left reports that it was not started, with the count. A
// camera the job turned away before sending anything is no such failure.
TEST_F(JobEngineTest, WavesStartInTurnAndAStopAfterFailuresLeavesTheRestUntouched) {
    CJobEngine engine(driver.Set(), 8);
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<int, char>> events; // camera, 's'tart or 'e'nd
    int secondWave = 0;                       // cameras 1-5 started
    JobSpec order;
    order.name = "Upgrade";
    order.operations = {"Upgrade"};
    order.probe = false;
    for (int i = 0; i < 20; ++i) {
        order.targets.push_back(camera(lab, i, "192.0.2." + std::to_string(10 + i)));
    }
    order.waves = {1, 5};
    order.stopAfterFailures = 2;
    order.work = [&](CameraRun& run) {
        const int n = last(run.Device()) - 1;
        {
            std::unique_lock guard(lock);
            events.emplace_back(n, 's');
            secondWave += n >= 1 && n <= 5 ? 1 : 0;
            changed.notify_all();
            // The failing cameras fail once their whole wave is at work: a
            // busy machine may start a wave's workers one after another.
            if (n == 3 || n == 4) {
                changed.wait_for(guard, std::chrono::seconds(5),
                                 [&] { return secondWave >= 5 || order.stopAfterFailures == 0; });
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (n == 2) {
            run.ReportFailure("Upgrade", Reason::ModelMismatch, "another model");
        } else if (n == 3 || n == 4) {
            run.ReportFailure("Upgrade", Reason::FileRejected);
        } else {
            run.Report("Upgrade", orv::device::Status(orv::device::Done{}));
        }
        std::lock_guard guard(lock);
        events.emplace_back(n, 'e');
    };
    const std::vector<OperationResult> results = RunJob(engine, order);
    ASSERT_EQ(results.size(), 20u) << "every camera reports, started or not";

    // Camera 0 alone, then cameras 1-5 once it ended; nothing after them.
    std::map<int, std::size_t> startAt;
    std::map<int, std::size_t> endAt;
    for (std::size_t i = 0; i < events.size(); ++i) {
        (events[i].second == 's' ? startAt : endAt)[events[i].first] = i;
    }
    ASSERT_EQ(startAt.size(), 6u);
    for (int n = 1; n <= 5; ++n) {
        ASSERT_TRUE(startAt.count(n)) << n;
        EXPECT_GT(startAt[n], endAt[0]) << "camera " << n << " started before the first wave ended";
    }
    for (const OperationResult& r : results) {
        const int n = last(r.device) - 1;
        if (n == 1 || n == 5) {
            EXPECT_EQ(r.outcome, Outcome::Succeeded) << n << ": a camera at work finishes";
        }
        if (n <= 5) {
            continue;
        }
        EXPECT_EQ(r.outcome, Outcome::Cancelled) << n;
        EXPECT_EQ(ReasonText(r), "not started: the job stopped after 2 failed cameras") << n;
    }

    // Without a stop every wave runs; a plain cancel still says "cancelled".
    order.stopAfterFailures = 0;
    const std::vector<OperationResult> all = RunJob(engine, order);
    EXPECT_EQ(
        std::count_if(all.begin(), all.end(),
                      [](const OperationResult& r) { return r.outcome == Outcome::Succeeded; }),
        17);
    order.waves = {1};
    order.work = [](CameraRun& run) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        run.Report("Upgrade", orv::device::Status(orv::device::Done{}));
    };
    const JobId cancelled = engine.Start(order);
    engine.Cancel(cancelled);
    const std::vector<OperationResult> stopped = WaitForJob(engine, cancelled);
    ASSERT_EQ(stopped.size(), 20u) << "the cameras of later waves report too";
    EXPECT_GE(std::count_if(stopped.begin(), stopped.end(),
                            [](const OperationResult& r) { return r.reason == Reason::Cancelled; }),
              19);
}
