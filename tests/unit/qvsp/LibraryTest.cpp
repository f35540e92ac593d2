// Behaviour of the library that needs no traffic. Everything that sends
// frames runs in the lab tests inside network namespaces.

#include "qvsp/Qvsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

void ignore(int, tagMsgInfo*, void*) {}

struct AdapterList {
    AdapterList() { CQvsp::SearchAdapter(&list, &count); }
    ~AdapterList() {
        if (count > 0)
            CQvsp::FreeSearchAdapter(list);
    }
    QvAdapter* list = nullptr;
    int count = 0;
};

} // namespace

TEST(Library, ListsOnlyAdaptersWithAMacAndDescribesThem) {
    AdapterList adapters;
    ASSERT_GE(adapters.count, 0);
    for (int i = 0; i < adapters.count; ++i) {
        const QvAdapter& a = adapters.list[i];
        const std::string name(a.Name);
        EXPECT_NE(name, "lo");
        EXPECT_NE(name, "any");
        EXPECT_TRUE(std::any_of(std::begin(a.Mac), std::end(a.Mac), [](auto b) { return b != 0; }))
            << name;
        EXPECT_EQ(std::string(a.Description).rfind(name, 0), 0u) << a.Description;
    }
}

TEST(Library, InitFailsForAnUnknownAdapterAndTheInstanceStaysIdle) {
    CQvsp qvsp;
    char name[] = "orvx-missing0";
    char filter[] = "ether proto 0x0809";
    qvsp.SetAdapter(name);
    qvsp.SetFilter(filter);
    EXPECT_EQ(qvsp.InitQvsp(), QVSP_ERROR_NO_ADAPTER);
    EXPECT_NE(qvsp.StartCapture(&ignore, nullptr), 0);
    EXPECT_NE(qvsp.StartDiscovery(), 0);
    tagQvIpcInfo request{};
    EXPECT_NE(qvsp.ModifyIpcInfo(&request), 0);
    qvsp.UnInitQvsp();
    qvsp.UnInitQvsp(); // twice is harmless
}
