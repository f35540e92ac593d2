// Feeds arbitrary bytes to every answer parser. A record that parsed must
// survive its own request body and a second parse unchanged, and fixed text
// fields must stay terminated.

#include "Answers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <typename Record>
bool same(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks one parser, so each input is parsed once: the
    // harness runs at the parser's own speed.
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 9) {
    case 0: {
        qvsdk::DeviceInfo info;
        const bool parsed = qvsdk::parseDeviceInfo(body, info);
        // The record a handle reads later takes the same answers, its texts
        // cut to their fields.
        QvDeviceInfo record{};
        check(qvsdk::parseDeviceRecord(body, record) == parsed);
        if (parsed) {
            check(record.model[31] == '\0' && record.version[31] == '\0' &&
                  record.deviceName[31] == '\0');
        }
        break;
    }
    case 1: {
        QvSystemDate date{};
        if (qvsdk::parseSystemDate(body, date)) {
            check(date.date[sizeof date.date - 1] == '\0' && date.timeServer[31] == '\0');
            check(date.timeZone >= 0 && date.timeZone <= 24);
        }
        break;
    }
    case 2: {
        QvPortInfo ports{};
        if (qvsdk::parsePortInfo(body, ports)) {
            QvPortInfo again{};
            check(qvsdk::parsePortInfo(*qvsdk::portInfoRequest(ports), again) &&
                  same(ports, again));
        }
        break;
    }
    case 3: {
        // The sealed password stands for itself here; sealing has its own tests.
        QvDdnsInfo ddns{};
        if (qvsdk::parseDdns(body, ddns,
                             [](const qvipc::wire::Sealed& sealed) { return sealed.data; })) {
            check(ddns.provider[63] == '\0' && ddns.user[31] == '\0' && ddns.password[31] == '\0' &&
                  ddns.hash[127] == '\0' && ddns.host[127] == '\0');
        }
        break;
    }
    case 4:
    case 5: {
        const int stream = data[0] % 9 - 4;
        QvVideoConfig video{};
        if (qvsdk::parseVideoConfig(body, stream, video)) {
            QvVideoConfig again{};
            const auto request = qvsdk::videoConfigRequest(video);
            check(request && qvsdk::parseVideoConfig(*request, stream, again) &&
                  same(video, again));
        }
        break;
    }
    case 6: {
        QvImagingConfig imaging{};
        if (qvsdk::parseImagingConfig(body, imaging)) {
            QvImagingConfig again{};
            check(qvsdk::parseImagingConfig(*qvsdk::imagingConfigRequest(imaging), again) &&
                  same(imaging, again));
        }
        break;
    }
    case 7: {
        QvImagingSettings picture{};
        if (qvsdk::parseImagingSettings(body, picture)) {
            QvImagingSettings again{};
            check(qvsdk::parseImagingSettings(*qvsdk::imagingSettingsRequest(picture), again) &&
                  same(picture, again));
        }
        break;
    }
    default: {
        std::string nonce;
        (void)qvsdk::parseSealNonce(body, nonce);
        int port = 0;
        check(!qvsdk::parseTlsOffer(body, port) || (port >= 1 && port <= 65535));
        (void)qvsdk::errorText(body);
        (void)qvsdk::deviceNameRequest(body.substr(0, 127));
        break;
    }
    }
    return 0;
}
