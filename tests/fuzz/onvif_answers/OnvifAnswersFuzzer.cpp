// Every typed reader of the ONVIF client on one answer, whatever call it
// claims to answer: a camera (or a stand-in on its address) may send any
// element for any call. What the readers promise is checked: ports and
// ranges within their bounds, and a configuration kept to be sent back
// reads as XML again.

#include "onvifc/Answers.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void check(bool promise) {
    if (!promise) {
        __builtin_trap();
    }
}

void rereads(const std::string& raw) {
    check(raw.empty() || onvifc::wire::XmlDocument::parse(raw, 2 * 1024 * 1024).has_value());
}

void checkRange(const std::optional<onvifc::Range>& range) {
    check(!range || range->min <= range->max);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace answers = onvifc::answers;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const onvifc::Reply reply = onvifc::ReadReply(200, text, 1024 * 1024);
    const onvifc::wire::Node answer = reply.body;
    const std::string device = "http://192.0.2.10:8080/onvif/device_service";

    (void)answers::Capabilities(answer, device);
    (void)answers::DeviceInfo(answer);
    (void)answers::NetworkInterfaces(answer);
    (void)answers::RebootNeeded(answer);
    (void)answers::DefaultGateway(answer);
    (void)answers::DnsServers(answer);
    for (const onvifc::NetworkProtocol& p : answers::NetworkProtocols(answer)) {
        for (const int port : p.ports) {
            check(port >= 1 && port <= 65535);
        }
    }
    (void)answers::DynamicDnsOf(answer);
    (void)answers::ConfigurableScopes(answer);
    (void)answers::DateAndTime(answer);
    (void)answers::FirmwareUpload(answer);
    for (const onvifc::MediaProfile& p : answers::Profiles(answer)) {
        if (p.encoder) {
            rereads(p.encoder->raw);
        }
    }
    const onvifc::EncoderOptions options = answers::EncoderOptionsOf(answer);
    checkRange(options.frameRate);
    checkRange(options.bitrate);
    checkRange(options.govLength);
    (void)answers::StreamUri(answer, device);
    rereads(answers::ImagingSettingsOf(answer).raw);
    const onvifc::ImagingOptions imaging = answers::ImagingOptionsOf(answer);
    for (const auto& range : {imaging.brightness, imaging.contrast, imaging.saturation}) {
        check(!range || range->first <= range->second);
    }
    return 0;
}
