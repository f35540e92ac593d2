#pragma once
// A settings profile: what `apply` gives a set of cameras, as a JSON file,
// and what a site's cameras are held to (see Compliance.h).
// Reading knows every key and refuses any other, so a misspelt setting is
// never silently left out. Building turns a read profile into the settings
// the Batch Set operations send, with the Batch Set pages' checks and the
// model-class lists of the camera that speaks for the set.
//
//   {"firmware": "13.1.0.5",
//    "name": "Gate {n:02}", "name_start": 1,
//    "date": {"mode": "computer" | "manual" | "server" | "keep",
//             "time": "2024-05-07 09:05:03", "time_zone": 20 | "GMT+08"},
//    "ports": {"http": 80, "onvif": 8000, "rtsp1": 554, "rtsp2": 555},
//    "ddns": {"enable": true, "provider": "dynu.com", "user": ..., "password": ...,
//             "host": ..., "hash": ...},
//    "image": {"power_line": 50, "outdoor": "Outdoor", "local_display": "OFF"},
//    "video": {"primary": {"frame_size": "1080P", "frame_rate": 25, "bit_rate": 4096,
//                          "bit_rate_control": "VBR", "i_frame": 20},
//              "secondary": {"enabled": true, "codec": "H.264", "frame_size": "640*480",
//                            "frame_rate": 15, "bit_rate": 512, "bit_rate_control": "VBR",
//                            "i_frame": 30}}}
//
// "firmware" is the version the site's cameras are to run: applying a
// profile sends no image (an upgrade does), a compliance check names every
// camera that runs another.

#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/NetworkParamRules.h"
#include "operations/batchset/SystemTime.h"
#include "operations/batchset/VideoImageRules.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orv::profile {

inline constexpr std::size_t kMaxProfileBytes = 64 * 1024;
inline constexpr int kMaxProfileDepth = 8;

// A bad profile: the key path ("video.primary.frame_rate") or, for a
// syntax error, the line.
struct ProfileError {
    std::string field;
    std::string text;
    int line = 0;
};
std::string ErrorText(const std::string& file, const ProfileError& error);

struct StreamSpec {
    std::optional<bool> enabled;
    std::optional<std::string> codec;
    std::optional<std::string> frameSize;
    std::optional<int> frameRate;
    std::optional<int> bitRate;
    std::optional<std::string> bitRateControl;
    std::optional<int> iFrame;
};

struct ProfileSpec {
    std::optional<std::string> firmware;
    std::optional<std::string> name; // template: {n}, {n:03}, {mac}
    int nameStart = 1;
    struct Date {
        batchset::DateOption mode = batchset::DateOption::Keep;
        int timeZone = batchset::kDefaultTimeZone;
        std::optional<batchset::DateTime> time;
    };
    std::optional<Date> date;
    std::optional<batchset::PortForm> ports;
    std::optional<batchset::DdnsForm> ddns;
    struct Image {
        std::optional<int> powerLine;
        std::optional<std::string> outdoor;
        std::optional<std::string> localDisplay;
    };
    std::optional<Image> image;
    // Both streams or neither.
    std::optional<StreamSpec> primary;
    std::optional<StreamSpec> secondary;
};

struct ReadResult {
    std::optional<ProfileSpec> profile;
    std::optional<ProfileError> error;
};
ReadResult ReadProfile(std::string_view text);

// Expands a name template for the n-th camera: {n} and {n:0W} (zero-padded
// to W digits) the counter, {mac} the camera's MAC. Nothing for an unknown
// placeholder.
std::optional<std::string> ExpandName(const std::string& pattern, int n,
                                      const device::DeviceInfo& camera);

// What every camera of the set gets, checked.
struct BuiltProfile {
    // Per camera, by MAC: the name as the camera will show it.
    struct Name {
        std::string text;
    };
    std::unordered_map<device::DeviceId, Name, device::DeviceIdHash> names;
    std::optional<device::TimeSettings> time;
    std::optional<batchset::DateOption> dateMode;
    int dateZone = batchset::kDefaultTimeZone;
    batchset::DateTime dateWhen;
    std::optional<device::PortSettings> ports;
    std::optional<device::DdnsSettings> ddns;
    std::optional<device::ImageSettings> image;
    std::optional<device::StreamSettings> primary;
    std::optional<device::StreamSettings> secondary;
    // The stream values the profile names: all that a camera this maker's
    // protocol does not reach is given (see StepsFor).
    batchset::StreamFields primaryNamed;
    batchset::StreamFields secondaryNamed;
    // The camera whose model class decided the stream lists.
    std::optional<device::DeviceInfo> reference;

    // The steps of one camera, in the order of the Batch Set pages. The
    // maker's cameras get whole settings, as the pages send them; any other
    // camera keeps its own values where the profile names none (its ONVIF
    // port is its HTTP port, it may lack a second RTSP port, and the
    // maker's stream defaults need not fit it), as a checked set does.
    std::vector<batchset::Step> StepsFor(const device::DeviceInfo& camera) const;
    // What one camera would get, one line per operation, without secrets.
    std::vector<std::string> Describe(const device::DeviceInfo& camera) const;
};

struct BuildResult {
    std::optional<BuiltProfile> built;
    std::optional<ProfileError> error;
};
// `targets` in any order: the {n} counter numbers them by IPv4 address,
// lowest first; names and DDNS texts must be taken whole by every driver
// in `drivers`; `now` is the computer's local time, sent by the "computer"
// date mode.
BuildResult BuildProfile(const ProfileSpec& profile, const std::vector<device::DeviceInfo>& targets,
                         const device::CDriverSet& drivers, const batchset::DateTime& now);

} // namespace orv::profile
