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
    const std::string_view body(reinterpret_cast<const char*>(data), size);

    qvsdk::DeviceInfo info;
    qvsdk::parseDeviceInfo(body, info);

    QvSystemDate date{};
    if (qvsdk::parseSystemDate(body, date)) {
        check(date.date[sizeof date.date - 1] == '\0' && date.timeServer[31] == '\0');
        check(date.timeZone >= 0 && date.timeZone <= 24);
    }

    QvPortInfo ports{};
    if (qvsdk::parsePortInfo(body, ports)) {
        QvPortInfo again{};
        check(qvsdk::parsePortInfo(*qvsdk::portInfoRequest(ports), again) && same(ports, again));
    }

    QvDdnsInfo ddns{};
    if (qvsdk::parseDdns(body, ddns)) {
        check(ddns.provider[63] == '\0' && ddns.user[31] == '\0' && ddns.password[31] == '\0' &&
              ddns.hash[127] == '\0' && ddns.host[127] == '\0');
    }

    for (const int stream : {0, 1}) {
        QvVideoConfig video{};
        if (qvsdk::parseVideoConfig(body, stream, video)) {
            QvVideoConfig again{};
            const auto request = qvsdk::videoConfigRequest(video);
            check(request && qvsdk::parseVideoConfig(*request, stream, again) &&
                  same(video, again));
        }
    }

    QvImagingConfig imaging{};
    if (qvsdk::parseImagingConfig(body, imaging)) {
        QvImagingConfig again{};
        check(qvsdk::parseImagingConfig(*qvsdk::imagingConfigRequest(imaging), again) &&
              same(imaging, again));
    }

    QvImagingSettings picture{};
    if (qvsdk::parseImagingSettings(body, picture)) {
        QvImagingSettings again{};
        check(qvsdk::parseImagingSettings(*qvsdk::imagingSettingsRequest(picture), again) &&
              same(picture, again));
    }

    (void)qvsdk::errorText(body);
    (void)qvsdk::deviceNameRequest(body.substr(0, 127));
    return 0;
}
