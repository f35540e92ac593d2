#include "WireSamples.h"

#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace samples;

namespace {

// The capture filter exactly as the program formats it for one adapter.
std::string filterFor(const MacAddress& own) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "ether proto 0x0809 and len ==260 and ether src not "
                  "%.2x:%.2x:%.2x:%.2x:%.2x:%.2x",
                  own[0], own[1], own[2], own[3], own[4], own[5]);
    return text;
}

class Filter : public ::testing::Test {
protected:
    void SetUp() override {
        m_pcap.reset(pcap_open_dead(DLT_EN10MB, 65535));
        ASSERT_TRUE(m_pcap);
        const std::string text = filterFor(kTool);
        ASSERT_EQ(pcap_compile(m_pcap.get(), &m_program, text.c_str(), 1, PCAP_NETMASK_UNKNOWN), 0)
            << pcap_geterr(m_pcap.get());
        m_compiled = true;
    }
    void TearDown() override {
        if (m_compiled)
            pcap_freecode(&m_program);
    }
    bool passes(std::span<const std::uint8_t> packet) const {
        pcap_pkthdr header{};
        header.caplen = static_cast<bpf_u_int32>(packet.size());
        header.len = header.caplen;
        return pcap_offline_filter(&m_program, &header, packet.data()) != 0;
    }

    struct Closer {
        void operator()(pcap_t* p) const { pcap_close(p); }
    };
    std::unique_ptr<pcap_t, Closer> m_pcap;
    bpf_program m_program{};
    bool m_compiled = false;
};

} // namespace

TEST_F(Filter, PassesCameraFramesBroadcastOrUnicast) {
    EXPECT_TRUE(passes(encode(frame(kTool, kCamera, answer()))));
    const MacAddress otherTool{0x02, 0, 0, 0, 0, 0x99};
    EXPECT_TRUE(passes(encode(frame(otherTool, kCamera, answer()))));
    EXPECT_TRUE(passes(encode(frame(kBroadcast, otherTool, SearchRequest{}))));
}

TEST_F(Filter, DropsTheAdaptersOwnFrames) {
    EXPECT_FALSE(passes(encode(frame(kBroadcast, kTool, SearchRequest{}))));
    EXPECT_FALSE(passes(encode(frame(kCamera, kTool, modifyRequest()))));
}

TEST_F(Filter, DropsOtherLengthsAndEtherTypes) {
    const FrameBytes good = encode(frame(kTool, kCamera, answer()));
    std::vector<std::uint8_t> longer(good.begin(), good.end());
    longer.push_back(0);
    EXPECT_FALSE(passes(longer));
    EXPECT_FALSE(passes(std::span(good).first(259)));
    FrameBytes ipv4 = good;
    ipv4[13] = 0x00;
    EXPECT_FALSE(passes(ipv4));
}
