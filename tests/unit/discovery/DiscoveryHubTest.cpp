// The road of the discovery library's messages to the window thread: copied
// at once, coalesced per camera, delivered in order as typed signals, and
// bounded when answers come faster than the window takes them.

#include "discovery/DiscoveryHub.h"
#include "log/LogFile.h"
#include "protocols/qv/DiscoveryInstances.h"
#include "protocols/qv/QvDriver.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

namespace {

tagMsgInfo answer(unsigned char id = 0x5F, int port = 80) {
    tagMsgInfo msg{};
    const unsigned char mac[8] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, id, 0x01, 0x02};
    std::memcpy(msg.Info.Mac, mac, 8);
    std::strcpy(msg.Info.IpAddr, "192.168.1.20");
    std::strcpy(msg.Info.NetMask, "255.255.255.0");
    msg.Info.HttpPort = port;
    return msg;
}

using Batch = std::vector<orv::device::DeviceInfo>;

// Runs the window thread's turns until the hub has handed on everything.
void drain() {
    // Enough turns for the longest queue in slices of the hub's size.
    const std::size_t turns =
        orv::CDiscoveryHub::kMaxPendingAnswers / orv::CDiscoveryHub::kMessagesPerTurn + 10;
    for (std::size_t turn = 0; turn < turns; ++turn) {
        QCoreApplication::sendPostedEvents();
    }
}

} // namespace

TEST(DiscoveryHub, AnswersFromTheCaptureThreadArriveAsOneBatchPerCameraInOrder) {
    orv::CDiscoveryHub hub;
    QSignalSpy found(&hub, &orv::CDiscoveryHub::devicesFound);
    QSignalSpy done(&hub, &orv::CDiscoveryHub::modifyDone);
    QSignalSpy failed(&hub, &orv::CDiscoveryHub::modifyFailed);
    std::thread capture([&] {
        for (int i = 0; i < 50; ++i) {
            tagMsgInfo msg = answer(static_cast<unsigned char>(i % 3), i);
            orv::qv::ForwardCapture(CAP_SEARCH_RESP, &msg,
                                    static_cast<orv::device::IDiscoverySink*>(&hub));
            std::memset(&msg, 0xEE, sizeof msg); // the library's record changes after the call
        }
        tagMsgInfo ok = answer(7);
        orv::qv::ForwardCapture(CAP_MODIFY_RESULT, &ok,
                                static_cast<orv::device::IDiscoverySink*>(&hub));
        tagMsgInfo refused = answer(8);
        refused.Result = 1;
        orv::qv::ForwardCapture(CAP_MODIFY_RESULT, &refused,
                                static_cast<orv::device::IDiscoverySink*>(&hub));
        tagMsgInfo later = answer(9);
        orv::qv::ForwardCapture(CAP_SEARCH_RESP, &later,
                                static_cast<orv::device::IDiscoverySink*>(&hub));
    });
    capture.join();
    EXPECT_EQ(found.count(), 0) << "nothing reaches the pages on the capture thread";
    QCoreApplication::sendPostedEvents();

    ASSERT_EQ(found.count(), 2);
    const auto first = found.at(0).at(0).value<Batch>();
    ASSERT_EQ(first.size(), 3u) << "one record per camera";
    EXPECT_EQ(first[0].ports.http, 48) << "the latest answer wins, in the first one's place";
    EXPECT_EQ(first[1].ports.http, 49);
    EXPECT_EQ(first[2].ports.http, 47);
    ASSERT_EQ(done.count(), 1);
    EXPECT_EQ(done.at(0).at(0).value<orv::device::DeviceInfo>().id.Mac()[5], 7);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).value<orv::device::DeviceInfo>().id.Mac()[5], 8);
    EXPECT_EQ(found.at(1).at(0).value<Batch>().front().id.Mac()[5], 9)
        << "answers after keep order";
}

TEST(DiscoveryHub, AFloodIsBoundedAndChangesAreNeverDropped) {
    orv::CDiscoveryHub hub;
    QSignalSpy found(&hub, &orv::CDiscoveryHub::devicesFound);
    QSignalSpy done(&hub, &orv::CDiscoveryHub::modifyDone);
    const std::size_t sent = orv::CDiscoveryHub::kMaxPendingAnswers + 100;
    for (std::size_t i = 0; i < sent; ++i) {
        tagMsgInfo msg = answer();
        std::memcpy(msg.Info.Mac, &i, sizeof i);
        orv::qv::Deliver(hub, CAP_SEARCH_RESP, msg);
    }
    orv::qv::Deliver(hub, CAP_MODIFY_RESULT, answer());
    drain();
    std::size_t listed = 0;
    for (const auto& batch : found) {
        EXPECT_LE(batch.at(0).value<Batch>().size(), orv::CDiscoveryHub::kMessagesPerTurn);
        listed += batch.at(0).value<Batch>().size();
    }
    EXPECT_EQ(listed, orv::CDiscoveryHub::kMaxPendingAnswers) << "spread over several turns";
    EXPECT_EQ(hub.DroppedAnswers(), 100u);
    EXPECT_EQ(done.count(), 1);

    // Once drained, answers are taken again.
    const auto batches = found.count();
    orv::qv::Deliver(hub, CAP_SEARCH_RESP, answer());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(found.count(), batches + 1);
}

TEST(DiscoveryHub, OtherMessageTypesAreLoggedAndDropped) {
    orv::CDiscoveryHub hub;
    QSignalSpy found(&hub, &orv::CDiscoveryHub::devicesFound);
    tagMsgInfo msg = answer();
    orv::qv::ForwardCapture(2, &msg, static_cast<orv::device::IDiscoverySink*>(&hub));
    orv::qv::ForwardCapture(CAP_SEARCH_RESP, nullptr,
                            static_cast<orv::device::IDiscoverySink*>(&hub));
    orv::qv::ForwardCapture(CAP_SEARCH_RESP, &msg, nullptr);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(found.count(), 0);
    std::ifstream in(TheLogFile().CurrentPath(), std::ios::binary);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        last = line;
    }
    EXPECT_NE(last.find("[orvantix]Unknown Message."), std::string::npos);
}

TEST(DiscoveryHub, ACaptureThatCannotStartOrStopsSaysWhyAndHowToGrantTheRight) {
    orv::CDiscoveryHub hub;
    QSignalSpy problems(&hub, &orv::CDiscoveryHub::captureProblem);
    hub.DiscoveryProblem(
        orv::CaptureProblemText(QStringLiteral("lab0"), QVSP_ERROR_NO_PERMISSION, false));
    tagMsgInfo gone = answer();
    std::strcpy(gone.Info.DevName, "lab1");
    gone.Result = QVSP_ERROR_ADAPTER_GONE;
    orv::qv::ForwardCapture(CAP_CAPTURE_STOPPED, &gone,
                            static_cast<orv::device::IDiscoverySink*>(&hub));
    drain();
    ASSERT_EQ(problems.count(), 2);
    const QString rights = problems.at(0).at(0).toString();
    EXPECT_TRUE(rights.startsWith("No discovery on lab0")) << rights.toStdString();
    EXPECT_TRUE(
        rights.contains("setcap cap_net_raw+ep " + QCoreApplication::applicationFilePath()));
    EXPECT_EQ(problems.at(1).at(0).toString(), "Discovery on lab1 stopped: the adapter is gone.");
}

TEST(DiscoveryFilter, NamesTheAdaptersOwnAddressInLowerCase) {
    const unsigned char mac[6] = {0x02, 0x4F, 0x56, 0x00, 0xAB, 0x01};
    EXPECT_EQ(orv::DiscoveryFilter(mac),
              "ether proto 0x0809 and len ==260 and ether src not 02:4f:56:00:ab:01");
}
