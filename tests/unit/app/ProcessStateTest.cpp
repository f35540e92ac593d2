#include "app/ProcessState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

TEST(OemMode, OnlyAnExactFirstArgumentSwitchesItOn) {
    const char* plain[] = {"orvantix"};
    const char* oem[] = {"orvantix", "qvoem"};
    const char* upper[] = {"orvantix", "QVOEM"};
    const char* second[] = {"orvantix", "x", "qvoem"};
    const char* longer[] = {"orvantix", "qvoem2"};
    EXPECT_FALSE(orv::ParseOemMode(1, plain));
    EXPECT_TRUE(orv::ParseOemMode(2, oem));
    EXPECT_FALSE(orv::ParseOemMode(2, upper));
    EXPECT_FALSE(orv::ParseOemMode(3, second));
    EXPECT_FALSE(orv::ParseOemMode(2, longer));
}

TEST(OsVersionCode, FollowsTheWindowsFamilies) {
    EXPECT_EQ(orv::OsVersionCodeFor(6, 1, true), 27);
    EXPECT_EQ(orv::OsVersionCodeFor(6, 0, true), 24);
    EXPECT_EQ(orv::OsVersionCodeFor(6, 3, true), 24);
    EXPECT_EQ(orv::OsVersionCodeFor(6, 1, false), 26);
    EXPECT_EQ(orv::OsVersionCodeFor(6, 2, false), 25);
    EXPECT_EQ(orv::OsVersionCodeFor(10, 0, true), 24);
    EXPECT_LT(orv::OsVersionCodeFor(5, 1, true), 24);
    // The later-family click rules must apply on this platform.
    EXPECT_GE(orv::ComputeOsVersionCode(), 24);
}

TEST(PendingUrl, IsASingleSlotCutTo259Bytes) {
    orv::PendingUrlSlot slot;
    EXPECT_EQ(slot.Take(), "");
    slot.Set("http://192.0.2.10");
    slot.Set("http://192.0.2.11");
    EXPECT_EQ(slot.Take(), "http://192.0.2.11") << "a second address replaces the first";
    EXPECT_EQ(slot.Take(), "");

    slot.Set(std::string(400, 'u').c_str());
    EXPECT_EQ(slot.Take().size(), 259u);
    slot.Set("x");
    slot.Clear();
    EXPECT_EQ(slot.Take(), "");
}

TEST(PendingUrl, WriterAndReaderOnTwoThreadsSeeWholeAddresses) {
    orv::PendingUrlSlot slot;
    const std::string a = "http://192.0.2.1" + std::string(100, 'a');
    const std::string b = "http://192.0.2.2" + std::string(100, 'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            slot.Set((i % 2 ? a : b).c_str());
        }
        done = true;
    });
    int seen = 0;
    // Read until the writer is through, then once more for its last address.
    for (bool last = false; !last;) {
        last = done.load();
        const std::string url = slot.Take();
        ASSERT_TRUE(url.empty() || url == a || url == b) << url;
        seen += !url.empty();
    }
    writer.join();
    EXPECT_GT(seen, 0);
}
