#include "discovery/CaptureCallback.h"
#include "discovery/DiscoveryInstances.h"
#include "discovery/PageEvents.h"
#include "log/LogFile.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

// A page stand-in that records the records it is handed.
class RecordingPage : public QObject {
public:
    struct Seen {
        QEvent::Type type;
        tagQvIpcInfo record;
        const tagQvIpcInfo* address;
    };
    std::vector<Seen> seen;

    bool event(QEvent* e) override {
        if (e->type() == orv::kDeviceFoundEvent || e->type() == orv::kModifyDoneEvent) {
            const auto& r = static_cast<orv::CDeviceEvent*>(e)->Record();
            seen.push_back({e->type(), r, &r});
            return true;
        }
        return QObject::event(e);
    }
};

class Sink : public orv::IDiscoverySink {
public:
    explicit Sink(bool oem) {
        for (int i = 0; i < (oem ? 5 : 4); ++i) {
            pages.push_back(std::make_unique<RecordingPage>());
            pointers.push_back(pages.back().get());
        }
    }
    const std::vector<QObject*>& DevicePages() const override { return pointers; }
    void AddOperatingInfo(const wchar_t* text) override {
        std::lock_guard lock(m);
        lines.emplace_back(text);
    }

    std::vector<std::unique_ptr<RecordingPage>> pages;
    std::vector<QObject*> pointers;
    std::mutex m;
    std::vector<std::wstring> lines;
};

tagMsgInfo answer() {
    tagMsgInfo msg{};
    const unsigned char mac[8] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x01, 0x02};
    std::memcpy(msg.Info.Mac, mac, 8);
    std::strcpy(msg.Info.IpAddr, "192.168.1.20");
    std::strcpy(msg.Info.NetMask, "255.255.255.0");
    std::strcpy(msg.Info.DevName, "Tor 1");
    msg.Info.HttpPort = 80;
    return msg;
}

std::string lastLogLine() {
    std::ifstream in(TheLogFile().CurrentPath(), std::ios::binary);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        last = line;
    }
    return last;
}

} // namespace

TEST(CaptureCallback, EveryPageGetsItsOwnCopyOfAnAnswer) {
    for (const bool oem : {false, true}) {
        Sink sink(oem);
        tagMsgInfo msg = answer();
        orv::CaptureCallback(CAP_SEARCH_RESP, &msg, &sink);
        // The library's record may change as soon as the callback returns.
        std::memset(&msg, 0xEE, sizeof msg);
        QCoreApplication::sendPostedEvents();

        std::set<const void*> copies;
        for (const auto& page : sink.pages) {
            ASSERT_EQ(page->seen.size(), 1u);
            EXPECT_EQ(page->seen[0].type, orv::kDeviceFoundEvent);
            const tagMsgInfo expected = answer();
            EXPECT_EQ(std::memcmp(&page->seen[0].record, &expected.Info, sizeof(tagQvIpcInfo)), 0);
            copies.insert(page->seen[0].address);
        }
        EXPECT_EQ(copies.size(), oem ? 5u : 4u);
        EXPECT_TRUE(sink.lines.empty());
    }
}

TEST(CaptureCallback, AFailedChangeBecomesOneLineAndNoEvent) {
    Sink sink(false);
    tagMsgInfo msg = answer();
    msg.Result = 1;
    orv::CaptureCallback(CAP_MODIFY_RESULT, &msg, &sink);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0], L"[00:1B:2C:3D:4E:5F] Modify IP,Port,Netmask to 192.168.1.20, 80, "
                             L"255.255.255.0 Failed.");
    for (const auto& page : sink.pages) {
        EXPECT_TRUE(page->seen.empty());
    }
}

TEST(CaptureCallback, ASucceededChangeReachesEveryPage) {
    Sink sink(true);
    tagMsgInfo msg = answer();
    orv::CaptureCallback(CAP_MODIFY_RESULT, &msg, &sink);
    QCoreApplication::sendPostedEvents();
    for (const auto& page : sink.pages) {
        ASSERT_EQ(page->seen.size(), 1u);
        EXPECT_EQ(page->seen[0].type, orv::kModifyDoneEvent);
        EXPECT_STREQ(page->seen[0].record.IpAddr, "192.168.1.20");
    }
    EXPECT_TRUE(sink.lines.empty());
}

TEST(CaptureCallback, OtherMessageTypesAreLoggedAndDropped) {
    Sink sink(false);
    tagMsgInfo msg = answer();
    orv::CaptureCallback(2, &msg, &sink);
    QCoreApplication::sendPostedEvents();
    EXPECT_NE(lastLogLine().find("[orvantix]Unknown Message."), std::string::npos);
    for (const auto& page : sink.pages) {
        EXPECT_TRUE(page->seen.empty());
    }
    // A missing record is not a reason to crash either.
    orv::CaptureCallback(CAP_SEARCH_RESP, nullptr, &sink);
    orv::CaptureCallback(CAP_MODIFY_RESULT, nullptr, &sink);
    orv::CaptureCallback(CAP_SEARCH_RESP, &msg, nullptr);
}

TEST(CaptureCallback, AnswersFromTheCaptureThreadArriveOnThePagesThread) {
    Sink sink(false);
    std::thread capture([&] {
        for (int i = 0; i < 50; ++i) {
            tagMsgInfo msg = answer();
            msg.Info.HttpPort = i;
            orv::CaptureCallback(CAP_SEARCH_RESP, &msg, &sink);
        }
    });
    capture.join();
    QCoreApplication::sendPostedEvents();
    for (const auto& page : sink.pages) {
        ASSERT_EQ(page->seen.size(), 50u);
        EXPECT_EQ(page->seen[49].record.HttpPort, 49) << "posted events keep their order";
    }
}

TEST(CaptureCallback, CopiesForAPageThatIsGoneAreFreed) {
    Sink sink(false);
    tagMsgInfo msg = answer();
    orv::CaptureCallback(CAP_SEARCH_RESP, &msg, &sink);
    // Destroying a receiver discards its pending events; the leak checker
    // of the sanitizer build proves the copies went with them.
    sink.pages[2].reset();
    sink.pointers[2] = nullptr;
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(sink.pages[0]->seen.size(), 1u);
}

TEST(DiscoveryFilter, NamesTheAdaptersOwnAddressInLowerCase) {
    const unsigned char mac[6] = {0x02, 0x4F, 0x56, 0x00, 0xAB, 0x01};
    EXPECT_EQ(orv::DiscoveryFilter(mac),
              "ether proto 0x0809 and len ==260 and ether src not 02:4f:56:00:ab:01");
}
