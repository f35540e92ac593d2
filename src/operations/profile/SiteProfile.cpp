#include "SiteProfile.h"

#include "operations/batchset/NetworkParamRules.h"
#include "operations/batchset/SystemTime.h"
#include "operations/batchset/VideoImageRules.h"
#include "text/TextConv.h"

#include <nlohmann/json.hpp>

namespace orv::profile {
namespace {

namespace bs = batchset;
using nlohmann::ordered_json;

// The list entry at `position`, as the profile names it: "1080P" for
// "1080P(1920*1080)"; empty outside the list.
std::string entryName(const bs::Entries& entries, int position) {
    if (position < 0 || position >= static_cast<int>(entries.size())) {
        return {};
    }
    const std::string& entry = entries[static_cast<std::size_t>(position)];
    return entry.substr(0, entry.find('('));
}

std::string sizeText(int width, int height) {
    return std::to_string(width) + "*" + std::to_string(height);
}

// One stream as the profile names it; false (with why) when its size has
// no name in the lists a profile is built from.
bool streamOf(const device::StreamSettings& s, bool primary, StreamSpec& out, std::string& why) {
    const bs::FrameSize size = bs::SizeOf(s);
    if (primary) {
        out.codec = entryName(bs::PrimaryCodecs(), bs::CodecPosition(s.codec));
        out.frameSize = entryName(bs::AllPrimarySizes(), bs::PrimarySizeNumber(size));
    } else {
        out.enabled = s.enabled;
        if (!s.enabled) {
            return true; // what a stream that is off would run at is no setting
        }
        out.codec = entryName(bs::SecondaryCodecs(), bs::CodecPosition(s.codec));
        if (bs::SecondarySizePosition(size) >= 0) {
            out.frameSize = sizeText(s.width, s.height);
        }
    }
    if (out.codec->empty() || !out.frameSize || out.frameSize->empty()) {
        why = std::string(primary ? "primary" : "secondary") + " stream " +
              sizeText(s.width, s.height) + " has no size or codec a profile names";
        return false;
    }
    if (s.frameRate > 0) {
        out.frameRate = s.frameRate;
    }
    out.bitRate = s.bitRateKbps;
    out.bitRateControl = entryName(bs::BitRateControls(), bs::RateControlPosition(s.rateControl));
    out.iFrame = s.iFrameInterval;
    return true;
}

ordered_json streamJson(const StreamSpec& s) {
    ordered_json j = ordered_json::object();
    if (s.enabled) {
        j["enabled"] = *s.enabled;
    }
    const std::pair<const char*, const std::optional<std::string>*> texts[] = {
        {"codec", &s.codec}, {"frame_size", &s.frameSize}};
    for (const auto& [key, value] : texts) {
        if (*value) {
            j[key] = **value;
        }
    }
    if (s.frameRate) {
        j["frame_rate"] = *s.frameRate;
    }
    if (s.bitRate) {
        j["bit_rate"] = *s.bitRate;
    }
    if (s.bitRateControl) {
        j["bit_rate_control"] = *s.bitRateControl;
    }
    if (s.iFrame) {
        j["i_frame"] = *s.iFrame;
    }
    return j;
}

// A port field as typed: a number where it holds one.
ordered_json portJson(const std::wstring& text) {
    const std::string digits = ToUtf8(text);
    if (!digits.empty() && digits.size() <= 5 &&
        digits.find_first_not_of("0123456789") == std::string::npos) {
        return std::stoi(digits);
    }
    return digits;
}

} // namespace

TakenProfile ProfileOf(const batchset::DeviceSettings& camera) {
    TakenProfile taken;
    ProfileSpec& p = taken.profile;
    if (!camera.device.firmware.isEmpty()) {
        p.firmware = camera.device.firmware.toStdString();
    }
    taken.leftOut.push_back("the name: each camera keeps its own");
    if (camera.time) {
        const int zone = bs::TimeZoneIndex(*camera.time);
        if (camera.time->useTimeServer && zone >= 0) {
            ProfileSpec::Date date;
            date.mode = bs::DateOption::TimeServer;
            date.timeZone = zone;
            p.date = date;
        } else {
            taken.leftOut.push_back("the clock: the camera sets it by hand, not from a server");
        }
    }
    if (camera.ports) {
        const device::Ports& ports = camera.ports->ports;
        p.ports = bs::PortForm{std::to_wstring(ports.http), std::to_wstring(ports.onvif),
                               std::to_wstring(ports.rtsp), std::to_wstring(ports.rtsp2)};
    }
    if (camera.ddns && camera.ddns->enabled) {
        taken.leftOut.push_back("DDNS: each camera has its own host");
    } else if (camera.ddns) {
        p.ddns = bs::DdnsForm{};
    }
    if (camera.image) {
        ProfileSpec::Image image;
        image.powerLine = camera.image->powerLineHz;
        image.outdoor = entryName(bs::OutdoorModes(), bs::OutdoorPosition(camera.image->indoor));
        image.localDisplay = entryName(bs::LocalDisplayModes(),
                                       bs::LocalDisplayPosition(camera.image->localDisplay));
        p.image = image;
    }
    if (camera.primary && camera.secondary) {
        StreamSpec primary;
        StreamSpec secondary;
        std::string why;
        if (streamOf(*camera.primary, true, primary, why) &&
            streamOf(*camera.secondary, false, secondary, why)) {
            p.primary = primary;
            p.secondary = secondary;
        } else {
            taken.leftOut.push_back("video: the " + why);
        }
    }
    return taken;
}

std::string ProfileText(const ProfileSpec& p) {
    ordered_json doc = ordered_json::object();
    if (p.firmware) {
        doc["firmware"] = *p.firmware;
    }
    if (p.name) {
        doc["name"] = *p.name;
        doc["name_start"] = p.nameStart;
    }
    if (p.date) {
        ordered_json date = ordered_json::object();
        switch (p.date->mode) {
        case bs::DateOption::Keep:
            date["mode"] = "keep";
            break;
        case bs::DateOption::ComputerTime:
            date["mode"] = "computer";
            break;
        case bs::DateOption::Manual:
            date["mode"] = "manual";
            if (p.date->time) {
                date["time"] = bs::DateText(*p.date->time) + " " + bs::TimeText(*p.date->time);
                // The reader takes dashes between the date's numbers.
                std::string& text = date["time"].get_ref<std::string&>();
                std::replace(text.begin(), text.end(), '/', '-');
            }
            break;
        case bs::DateOption::TimeServer:
            date["mode"] = "server";
            // "GMT+08": the zone's offset, which names it to the reader.
            date["time_zone"] =
                std::string(bs::kTimeZoneNames[static_cast<std::size_t>(p.date->timeZone)])
                    .substr(0, 6);
            break;
        }
        doc["date"] = date;
    }
    if (p.ports) {
        doc["ports"] = {{"http", portJson(p.ports->http)},
                        {"onvif", portJson(p.ports->onvif)},
                        {"rtsp1", portJson(p.ports->rtsp1)},
                        {"rtsp2", portJson(p.ports->rtsp2)}};
    }
    if (p.ddns) {
        ordered_json ddns = {{"enable", p.ddns->enable}};
        if (p.ddns->enable) {
            const int provider = std::clamp(p.ddns->provider, 0, bs::kProviderCount - 1);
            ddns["provider"] = ToUtf8(bs::kProviders[static_cast<std::size_t>(provider)].listText);
            ddns["user"] = ToUtf8(p.ddns->user);
            ddns["password"] = ToUtf8(p.ddns->password);
            ddns["host"] = ToUtf8(p.ddns->host);
            if (!p.ddns->hash.empty()) {
                ddns["hash"] = ToUtf8(p.ddns->hash);
            }
        }
        doc["ddns"] = ddns;
    }
    if (p.image) {
        doc["image"] = {{"power_line", p.image->powerLine.value_or(50)},
                        {"outdoor", p.image->outdoor.value_or("")},
                        {"local_display", p.image->localDisplay.value_or("")}};
    }
    if (p.primary && p.secondary) {
        doc["video"] = {{"primary", streamJson(*p.primary)},
                        {"secondary", streamJson(*p.secondary)}};
    }
    return doc.dump(2) + "\n";
}

} // namespace orv::profile
