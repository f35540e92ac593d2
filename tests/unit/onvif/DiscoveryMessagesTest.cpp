// The discovery messages the ONVIF driver reads, as the simulator writes
// them (its own functions, not copies), with the prefixes cameras really
// choose, and what a hostile sender may put on the link.

#include "onvifc/discovery/Messages.h"

#include "onvif/WsDiscovery.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

using onvifc::DiscoveryMessage;
using onvifc::parseDiscoveryMessage;
using Types = std::vector<std::pair<std::string, std::string>>;

const std::string kNetwork = "http://www.onvif.org/ver10/network/wsdl";
const std::string kDevice = "http://www.onvif.org/ver10/device/wsdl";

const camsim::onvif::Announcement kCamera{
    "urn:uuid:4f564f4e-5649-4600-8000-024f56000010",
    "onvif://www.onvif.org/name/Gate%20A onvif://www.onvif.org/hardware/QV-2\n\t"
    "onvif://www.onvif.org/Profile/Streaming",
    "http://192.0.2.10:8000/onvif/device_service http://[2001:db8::10]/onvif/device_service"};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// Other prefixes for every namespace, the QName text of Types included.
std::string oddPrefixes(std::string text) {
    for (const auto& [from, to] :
         {std::pair{"SOAP-ENV", "e"}, {"wsa", "ns2"}, {"d", "wsdd"}, {"dn", "ns7"}, {"tds", "ns1"}})
        for (const std::string mark : {"<", "</", "xmlns:", " ", ">"})
            text = replaceAll(text, mark + from + (mark == "xmlns:" ? "=" : ":"),
                              mark + to + (mark == "xmlns:" ? "=" : ":"));
    return text;
}

TEST(DiscoveryMessages, ReadsTheSimulatorsMessagesWhateverThePrefixes) {
    const std::string match = camsim::onvif::probeMatchMessage("urn:uuid:probe-1", kCamera, "m1");
    const std::string hello = camsim::onvif::helloMessage(kCamera, "m2");
    const std::string bye = camsim::onvif::byeMessage(kCamera, "m3");
    ASSERT_EQ(oddPrefixes(match).find("<d:"), std::string::npos);
    ASSERT_NE(oddPrefixes(match).find("ns7:NetworkVideoTransmitter"), std::string::npos);
    for (const bool odd : {false, true}) {
        SCOPED_TRACE(odd ? "odd prefixes" : "simulator's prefixes");
        const auto read = [&](const std::string& text) {
            auto out = parseDiscoveryMessage(odd ? oddPrefixes(text) : text);
            EXPECT_EQ(out.size(), 1u);
            return out.empty() ? DiscoveryMessage{} : out[0];
        };
        for (const auto& [text, kind] : {std::pair{match, DiscoveryMessage::Kind::ProbeMatch},
                                         {hello, DiscoveryMessage::Kind::Hello}}) {
            const DiscoveryMessage m = read(text);
            EXPECT_EQ(m.kind, kind);
            EXPECT_EQ(m.relatesTo,
                      kind == DiscoveryMessage::Kind::ProbeMatch ? "urn:uuid:probe-1" : "");
            EXPECT_EQ(m.endpoint, kCamera.endpoint);
            EXPECT_EQ(m.xaddrs,
                      (std::vector<std::string>{"http://192.0.2.10:8000/onvif/device_service",
                                                "http://[2001:db8::10]/onvif/device_service"}));
            EXPECT_EQ(m.scopes.size(), 3u);
            EXPECT_EQ(m.scopes.back(), "onvif://www.onvif.org/Profile/Streaming");
            EXPECT_EQ(m.types, (Types{{kNetwork, "NetworkVideoTransmitter"}, {kDevice, "Device"}}));
            EXPECT_EQ(m.metadataVersion, 1u);
        }
        const DiscoveryMessage gone = read(bye);
        EXPECT_EQ(gone.kind, DiscoveryMessage::Kind::Bye);
        EXPECT_EQ(gone.endpoint, kCamera.endpoint);
        EXPECT_EQ(gone.messageId, "m3");
        EXPECT_TRUE(gone.xaddrs.empty());
    }
}

TEST(DiscoveryMessages, TypesMeanWhatTheCameraDeclared) {
    const std::string match = camsim::onvif::probeMatchMessage("urn:uuid:p", kCamera, "m");
    // A prefix bound to another namespace is that namespace's type; one
    // never declared keeps its local name without a namespace.
    const auto rebound =
        parseDiscoveryMessage(replaceAll(match, "xmlns:dn=\"" + kNetwork, "xmlns:dn=\"urn:other"));
    ASSERT_EQ(rebound.size(), 1u);
    EXPECT_EQ(rebound[0].types[0],
              (std::pair<std::string, std::string>{"urn:other", "NetworkVideoTransmitter"}));
    const auto undeclared = parseDiscoveryMessage(replaceAll(match, "dn:Network", "zz:Network"));
    ASSERT_EQ(undeclared.size(), 1u);
    EXPECT_EQ(undeclared[0].types[0].first, "");
    EXPECT_EQ(undeclared[0].types[0].second, "NetworkVideoTransmitter");
}

TEST(DiscoveryMessages, EveryProbeMatchOfOneAnswer) {
    const std::string one = camsim::onvif::probeMatchMessage("urn:uuid:p", kCamera, "m");
    const auto open = one.find("<d:ProbeMatch>");
    const auto close = one.find("</d:ProbeMatch>") + std::string("</d:ProbeMatch>").size();
    const std::string element = one.substr(open, close - open);
    const std::string second = replaceAll(element, "8000-024f56000010", "8000-024f56000011");
    const std::string noAddress = replaceAll(element, "<wsa:Address>", "<wsa:Other>");
    const auto all = parseDiscoveryMessage(one.substr(0, close) + second +
                                           replaceAll(noAddress, "</wsa:Address>", "</wsa:Other>") +
                                           one.substr(close));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].endpoint, kCamera.endpoint);
    EXPECT_EQ(all[1].endpoint, "urn:uuid:4f564f4e-5649-4600-8000-024f56000011");
    EXPECT_EQ(all[1].relatesTo, "urn:uuid:p");
}

TEST(DiscoveryMessages, RefusesWhatIsNoCameraMessage) {
    const std::string hello = camsim::onvif::helloMessage(kCamera, "m");
    const auto body = hello.find("<SOAP-ENV:Body>");
    const std::string padding(70 * 1024, ' ');
    const std::string hostile[] = {
        hello.substr(0, body) + "</SOAP-ENV:Envelope>",
        replaceAll(hello, "ws/2005/04/discovery", "ws/2005/04/other"),
        replaceAll(hello, "http://www.w3.org/2003/05/soap-envelope", "urn:not-soap"),
        replaceAll(hello, "</d:Scopes>", padding + "</d:Scopes>"),
        "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x \"urn:uuid:1\">]>" +
            replaceAll(hello.substr(hello.find("?>") + 2), kCamera.endpoint, "&x;"),
        hello.substr(0, hello.size() - 12),
        onvifc::probeMessage("urn:uuid:ours"),
        "",
    };
    for (const std::string& text : hostile)
        EXPECT_TRUE(parseDiscoveryMessage(text).empty()) << text.substr(0, 300);
    // What a camera gets wrong in one field costs that field only.
    const auto odd = parseDiscoveryMessage(
        replaceAll(hello, "<d:MetadataVersion>1<", "<d:MetadataVersion>99999999999<"));
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].metadataVersion, 0u);
}

TEST(DiscoveryMessages, ProbeIsWhatTheSimulatorAnswers) {
    std::set<std::string> ids;
    for (int i = 0; i < 64; ++i) {
        const std::string id = onvifc::newMessageId();
        EXPECT_TRUE(std::regex_match(
            id, std::regex("urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                           "[0-9a-f]{12}")))
            << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 64u);
    const auto probe = camsim::onvif::parseProbe(onvifc::probeMessage(*ids.begin()));
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->messageId, *ids.begin());
    EXPECT_EQ(probe->types, (Types{{kNetwork, "NetworkVideoTransmitter"}}));
    EXPECT_TRUE(camsim::onvif::typesMatch(*probe));
}

} // namespace
