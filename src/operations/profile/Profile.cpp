#include "Profile.h"

#include "lang/Language.h"
#include "operations/batchset/VideoImageRules.h"
#include "text/TextConv.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <tuple>

namespace orv::profile {
namespace {

namespace bs = batchset;
using nlohmann::json;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string messageText(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

std::string joined(const bs::Entries& entries) {
    std::string out;
    for (const std::string& e : entries) {
        out += (out.empty() ? "" : ", ") + e;
    }
    return out;
}

// Walks the document by known keys; the first problem is kept.
class Walker {
public:
    std::optional<ProfileError> error;

    bool fail(const std::string& path, const std::string& text) {
        if (!error) {
            error = ProfileError{path, text, 0};
        }
        return false;
    }
    // An object whose keys are all known.
    bool object(const json& j, const std::string& path, std::initializer_list<const char*> known) {
        if (!j.is_object()) {
            return fail(path, "must be an object");
        }
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (std::none_of(known.begin(), known.end(),
                             [&](const char* k) { return it.key() == k; })) {
                return fail(join(path, it.key()), "unknown key");
            }
        }
        return true;
    }
    static std::string join(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }
    const json* at(const json& j, const char* key) {
        const auto it = j.find(key);
        return it == j.end() ? nullptr : &*it;
    }
    std::optional<int> integer(const json& j, const std::string& path, int lo, int hi) {
        if (!j.is_number_integer() || j.get<long long>() < lo || j.get<long long>() > hi) {
            fail(path,
                 "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
            return std::nullopt;
        }
        return static_cast<int>(j.get<long long>());
    }
    std::optional<std::string> text(const json& j, const std::string& path) {
        if (!j.is_string()) {
            fail(path, "must be a text");
            return std::nullopt;
        }
        return j.get<std::string>();
    }
    std::optional<bool> boolean(const json& j, const std::string& path) {
        if (!j.is_boolean()) {
            fail(path, "must be true or false");
            return std::nullopt;
        }
        return j.get<bool>();
    }
    template <class T, class Read>
    void optional(const json& parent, const std::string& path, const char* key,
                  std::optional<T>& out, Read read) {
        if (const json* v = at(parent, key)) {
            out = read(*v, join(path, key));
        }
    }
};

std::optional<bs::DateTime> readTime(const std::string& text) {
    bs::DateTime t;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &tail) != 6) {
        return std::nullopt;
    }
    const std::chrono::year_month_day day{std::chrono::year(t.year),
                                          std::chrono::month(static_cast<unsigned>(t.month)),
                                          std::chrono::day(static_cast<unsigned>(t.day))};
    if (!day.ok() || t.year < 1970 || t.hour > 23 || t.minute > 59 || t.second > 59) {
        return std::nullopt;
    }
    return t;
}

void readDate(Walker& w, const json& j, ProfileSpec& p) {
    if (!w.object(j, "date", {"mode", "time", "time_zone"})) {
        return;
    }
    ProfileSpec::Date date;
    const json* mode = w.at(j, "mode");
    const std::optional<std::string> modeText = mode ? w.text(*mode, "date.mode") : std::nullopt;
    const std::pair<const char*, bs::DateOption> modes[] = {
        {"keep", bs::DateOption::Keep},
        {"computer", bs::DateOption::ComputerTime},
        {"manual", bs::DateOption::Manual},
        {"server", bs::DateOption::TimeServer}};
    const auto found = std::find_if(std::begin(modes), std::end(modes),
                                    [&](const auto& m) { return modeText == m.first; });
    if (found == std::end(modes)) {
        w.fail("date.mode", "must be keep, computer, manual or server");
        return;
    }
    date.mode = found->second;
    const json* time = w.at(j, "time");
    if ((time != nullptr) != (date.mode == bs::DateOption::Manual)) {
        w.fail("date.time", "is given with mode manual, and only then");
        return;
    }
    if (time != nullptr) {
        const std::optional<std::string> t = w.text(*time, "date.time");
        date.time = t ? readTime(*t) : std::nullopt;
        if (!date.time) {
            w.fail("date.time", "must be a date and time as 2024-05-07 09:05:03");
            return;
        }
    }
    if (const json* zone = w.at(j, "time_zone")) {
        if (date.mode != bs::DateOption::TimeServer) {
            w.fail("date.time_zone", "is given with mode server only");
            return;
        }
        if (zone->is_string()) {
            const std::string name = zone->get<std::string>();
            const auto it = std::find_if(
                bs::kTimeZoneNames.begin(), bs::kTimeZoneNames.end(), [&](const char* z) {
                    return !name.empty() && std::string_view(z).starts_with(name);
                });
            if (it == bs::kTimeZoneNames.end()) {
                w.fail("date.time_zone", "names no time zone (\"GMT+08\", or 0 to 24)");
                return;
            }
            date.timeZone = static_cast<int>(it - bs::kTimeZoneNames.begin());
        } else if (const auto index =
                       w.integer(*zone, "date.time_zone", 0, bs::kTimeZoneCount - 1)) {
            date.timeZone = *index;
        }
    }
    p.date = date;
}

void readPorts(Walker& w, const json& j, ProfileSpec& p) {
    if (!w.object(j, "ports", {"http", "onvif", "rtsp1", "rtsp2"})) {
        return;
    }
    bs::PortForm form;
    const std::pair<const char*, std::wstring*> fields[] = {{"http", &form.http},
                                                            {"onvif", &form.onvif},
                                                            {"rtsp1", &form.rtsp1},
                                                            {"rtsp2", &form.rtsp2}};
    for (const auto& [key, target] : fields) {
        if (const json* v = w.at(j, key)) {
            // What the page's five-digit fields can hold.
            if (const auto port = w.integer(*v, Walker::join("ports", key), 0, 99999)) {
                *target = std::to_wstring(*port);
            }
        }
    }
    p.ports = form;
}

void readDdns(Walker& w, const json& j, ProfileSpec& p) {
    if (!w.object(j, "ddns", {"enable", "provider", "user", "password", "host", "hash"})) {
        return;
    }
    bs::DdnsForm form;
    if (const json* v = w.at(j, "enable")) {
        form.enable = w.boolean(*v, "ddns.enable").value_or(false);
    }
    if (const json* v = w.at(j, "provider")) {
        const std::string name = lower(w.text(*v, "ddns.provider").value_or(""));
        std::string names;
        form.provider = -1;
        for (int i = 0; i < bs::kProviderCount; ++i) {
            const bs::DdnsProvider& provider = bs::kProviders[static_cast<std::size_t>(i)];
            const std::string list = ToUtf8(provider.listText);
            names += (names.empty() ? "" : ", ") + list;
            if (form.provider < 0 && (name == list || name == provider.recordText)) {
                form.provider = i;
            }
        }
        if (form.provider < 0) {
            w.fail("ddns.provider", "must be one of " + names);
        }
    }
    const std::pair<const char*, std::wstring*> texts[] = {{"user", &form.user},
                                                           {"password", &form.password},
                                                           {"host", &form.host},
                                                           {"hash", &form.hash}};
    for (const auto& [key, target] : texts) {
        if (const json* v = w.at(j, key)) {
            *target = FromUtf8(w.text(*v, Walker::join("ddns", key)).value_or(""));
        }
    }
    p.ddns = form;
}

void readImage(Walker& w, const json& j, ProfileSpec& p) {
    if (!w.object(j, "image", {"power_line", "outdoor", "local_display"})) {
        return;
    }
    ProfileSpec::Image image;
    // The three go to the camera together: each must be named.
    for (const char* key : {"power_line", "outdoor", "local_display"}) {
        if (w.at(j, key) == nullptr) {
            w.fail(Walker::join("image", key), "missing");
            return;
        }
    }
    const json& power = *w.at(j, "power_line");
    if (!power.is_number_integer() ||
        (power.get<long long>() != 50 && power.get<long long>() != 60)) {
        w.fail("image.power_line", "must be 50 or 60");
        return;
    }
    image.powerLine = static_cast<int>(power.get<long long>());
    image.outdoor = w.text(*w.at(j, "outdoor"), "image.outdoor");
    image.localDisplay = w.text(*w.at(j, "local_display"), "image.local_display");
    p.image = image;
}

StreamSpec readStream(Walker& w, const json& j, const std::string& path, bool secondary) {
    StreamSpec s;
    if (!w.object(j, path,
                  {"enabled", "codec", "frame_size", "frame_rate", "bit_rate", "bit_rate_control",
                   "i_frame"})) {
        return s;
    }
    const auto text = [&](const json& v, const std::string& at) { return w.text(v, at); };
    if (secondary) {
        w.optional(j, path, "enabled", s.enabled,
                   [&](const json& v, const std::string& at) { return w.boolean(v, at); });
    } else if (w.at(j, "enabled") != nullptr) {
        w.fail(path + ".enabled", "the primary stream is always on");
    }
    w.optional(j, path, "codec", s.codec, text);
    w.optional(j, path, "frame_size", s.frameSize, text);
    w.optional(j, path, "bit_rate_control", s.bitRateControl, text);
    const auto number = [&](int hi) {
        return [&w, hi](const json& v, const std::string& at) { return w.integer(v, at, 0, hi); };
    };
    w.optional(j, path, "frame_rate", s.frameRate, number(1000));
    w.optional(j, path, "bit_rate", s.bitRate, number(1000000));
    w.optional(j, path, "i_frame", s.iFrame, number(99)); // two digits
    return s;
}

void readVideo(Walker& w, const json& j, ProfileSpec& p) {
    if (!w.object(j, "video", {"primary", "secondary"})) {
        return;
    }
    const json* primary = w.at(j, "primary");
    const json* secondary = w.at(j, "secondary");
    if (primary == nullptr || secondary == nullptr) {
        // A save sends both streams.
        w.fail(primary == nullptr ? "video.primary" : "video.secondary", "missing");
        return;
    }
    p.primary = readStream(w, *primary, "video.primary", false);
    p.secondary = readStream(w, *secondary, "video.secondary", true);
    if (!p.primary->frameSize && !w.error) {
        w.fail("video.primary.frame_size", "missing");
    }
}

int lineOf(std::string_view text, std::size_t byte) {
    const std::size_t end = std::min(byte, text.size());
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
}

} // namespace

std::string ErrorText(const std::string& file, const ProfileError& e) {
    std::string out = file;
    if (e.line > 0) {
        out += ":" + std::to_string(e.line);
    }
    out += ": ";
    if (!e.field.empty()) {
        out += e.field + ": ";
    }
    return out + e.text;
}

ReadResult ReadProfile(std::string_view text) {
    ReadResult result;
    if (text.size() > kMaxProfileBytes) {
        result.error = ProfileError{"", "larger than 64 KiB", 0};
        return result;
    }
    bool tooDeep = false;
    json doc;
    try {
        doc = json::parse(text, [&](int depth, json::parse_event_t, json&) {
            tooDeep = tooDeep || depth > kMaxProfileDepth;
            return !tooDeep;
        });
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        const std::size_t cut = what.find("parse error");
        result.error = ProfileError{"", cut == std::string::npos ? what : what.substr(cut),
                                    lineOf(text, e.byte)};
        return result;
    } catch (const json::exception& e) {
        // A number beyond what a double holds ("2E568") is refused while
        // parsing, without a position.
        const std::string what = e.what();
        const std::size_t cut = what.find(']');
        result.error = ProfileError{"", cut == std::string::npos ? what : what.substr(cut + 2), 0};
        return result;
    }
    if (tooDeep) {
        result.error = ProfileError{"", "nested deeper than a profile goes", 0};
        return result;
    }
    Walker w;
    ProfileSpec p;
    if (w.object(doc, "",
                 {"firmware", "name", "name_start", "date", "ports", "ddns", "image", "video"})) {
        if (const json* v = w.at(doc, "firmware")) {
            p.firmware = w.text(*v, "firmware");
            if (p.firmware && p.firmware->empty()) {
                w.fail("firmware", messageText(kFieldEmpty));
            }
        }
        if (const json* v = w.at(doc, "name")) {
            p.name = w.text(*v, "name");
            if (p.name && p.name->empty()) {
                w.fail("name", messageText(kFieldEmpty));
            }
        }
        if (const json* v = w.at(doc, "name_start")) {
            p.nameStart = w.integer(*v, "name_start", 0, 999999).value_or(1);
        }
        const std::pair<const char*, void (*)(Walker&, const json&, ProfileSpec&)> sections[] = {
            {"date", readDate},
            {"ports", readPorts},
            {"ddns", readDdns},
            {"image", readImage},
            {"video", readVideo}};
        for (const auto& [key, read] : sections) {
            if (const json* v = w.at(doc, key); v != nullptr && !w.error) {
                read(w, *v, p);
            }
        }
        if (!w.error && !p.firmware && !p.name && !p.date && !p.ports && !p.ddns && !p.image &&
            !p.primary) {
            w.fail("", "sets nothing");
        }
    }
    if (w.error) {
        result.error = w.error;
    } else {
        result.profile = p;
    }
    return result;
}

namespace {

// "n" or "n:0W" / "n:0WW": the counter, zero-padded to W digits (0: none).
std::optional<int> counterWidth(const std::string& field) {
    if (field == "n") {
        return 0;
    }
    if (field.size() < 4 || field.size() > 5 || !field.starts_with("n:0")) {
        return std::nullopt;
    }
    int width = 0;
    for (const char c : field.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        width = width * 10 + (c - '0');
    }
    return width > 0 ? std::optional<int>(width) : std::nullopt;
}

} // namespace

std::optional<std::string> ExpandName(const std::string& pattern, int n,
                                      const device::DeviceInfo& camera) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] != '{') {
            out += pattern[i++];
            continue;
        }
        const std::size_t end = pattern.find('}', i);
        if (end == std::string::npos) {
            return std::nullopt;
        }
        const std::string field = pattern.substr(i + 1, end - i - 1);
        i = end + 1;
        if (field == "mac") {
            out += camera.MacText();
        } else if (const std::optional<int> width = counterWidth(field)) {
            char number[32];
            std::snprintf(number, sizeof number, "%0*d", *width, n);
            out += number;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

namespace {

std::optional<int> position(const bs::Entries& entries, const std::string& wanted) {
    const std::string w = lower(wanted);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string e = lower(entries[i]);
        // "1080P" names "1080P(1920*1080)".
        if (e == w || e.substr(0, e.find('(')) == w) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::optional<int> numberPosition(const bs::Entries& entries, int number) {
    const int i = bs::EntryStartingWith(entries, number);
    if (i < 0 || bs::EntryNumber(entries[static_cast<std::size_t>(i)]) != number) {
        return std::nullopt;
    }
    return i;
}

struct Builder {
    std::optional<ProfileError> error;
    std::string why; // what decided the lists, for messages

    template <class T>
    std::optional<int> pick(const std::optional<T>& wanted, const bs::Entries& entries,
                            int fallback, const std::string& path) {
        if (!wanted) {
            return fallback;
        }
        std::optional<int> at;
        if constexpr (std::is_same_v<T, int>) {
            at = numberPosition(entries, *wanted);
        } else {
            at = position(entries, *wanted);
        }
        if (!at && !error) {
            error = ProfileError{path, "is not offered" + why + "; offered: " + joined(entries), 0};
        }
        return at;
    }
};

std::optional<ProfileError> portError(const Message& m) {
    const std::pair<const Message*, const char*> fields[] = {
        {&bs::kHttpPortEmpty, "ports.http"},   {&bs::kRtspPort1Empty, "ports.rtsp1"},
        {&bs::kRtspPort2Empty, "ports.rtsp2"}, {&bs::kOnvifPortEmpty, "ports.onvif"},
        {&bs::kDdnsUserEmpty, "ddns.user"},    {&bs::kDdnsPasswordEmpty, "ddns.password"},
        {&bs::kDdnsHostEmpty, "ddns.host"},    {&bs::kDdnsHashEmpty, "ddns.hash"}};
    for (const auto& [message, field] : fields) {
        if (std::wcscmp(message->id, m.id) == 0) {
            return ProfileError{field, messageText(m), 0};
        }
    }
    return ProfileError{std::wcscmp(m.id, bs::kSamePort.id) == 0 ? "ports" : "ddns", messageText(m),
                        0};
}

// As the secondary list names its sizes.
std::string secondarySizeText(const device::StreamSettings& stream) {
    return std::to_string(stream.width) + "*" + std::to_string(stream.height);
}

std::string entryAt(const bs::Entries& entries, int i) {
    return i >= 0 && i < static_cast<int>(entries.size()) ? entries[static_cast<std::size_t>(i)]
                                                          : std::to_string(i);
}

} // namespace

namespace {

bs::StreamFields namedFields(const StreamSpec& s) {
    bs::StreamFields f;
    f.enabled = s.enabled.has_value();
    f.codec = s.codec.has_value();
    f.frameSize = s.frameSize.has_value();
    f.frameRate = s.frameRate.has_value();
    f.bitRate = s.bitRate.has_value();
    f.bitRateControl = s.bitRateControl.has_value();
    f.iFrameInterval = s.iFrame.has_value();
    return f;
}

// The ports another maker's camera is given: its ONVIF port (its HTTP
// port, where one port serves both, follows), its RTSP port, and the
// second RTSP port only where it has one.
bs::PortChange portsFor(const device::DeviceInfo& camera, const device::Ports& p) {
    bs::PortChange change;
    change.onvif = p.onvif;
    change.rtsp1 = p.rtsp;
    if (camera.capabilities.Has(device::Capability::SecondRtspPort)) {
        change.rtsp2 = p.rtsp2;
    }
    return change;
}

} // namespace

BuildResult BuildProfile(const ProfileSpec& p, const std::vector<device::DeviceInfo>& targets,
                         const device::CDriverSet& drivers, const bs::DateTime& now) {
    BuildResult result;
    BuiltProfile built;
    const auto fail = [&](ProfileError e) {
        result.error = std::move(e);
        return result;
    };
    if (p.name) {
        // The counter follows the cameras' addresses, lowest first: the
        // order an installer can see on the site plan and predict, whatever
        // order the cameras answered in.
        std::vector<const device::DeviceInfo*> byAddress;
        for (const device::DeviceInfo& camera : targets) {
            byAddress.push_back(&camera);
        }
        // A camera without an address comes last.
        const auto address = [](const device::DeviceInfo* camera) {
            return camera->address != 0 ? camera->address : 0xFFFFFFFFu;
        };
        std::stable_sort(byAddress.begin(), byAddress.end(),
                         [&](const device::DeviceInfo* a, const device::DeviceInfo* b) {
                             return address(a) < address(b);
                         });
        int n = p.nameStart;
        for (const device::DeviceInfo* numbered : byAddress) {
            const device::DeviceInfo& camera = *numbered;
            const std::optional<std::string> name = ExpandName(*p.name, n++, camera);
            if (!name) {
                return fail({"name", "knows {n}, {n:0W} (W digits) and {mac} only", 0});
            }
            // A name a camera would not keep whole is refused here, as the
            // System page refuses it.
            if (!IsValidUtf8(*name) || !drivers.TakesFor({camera}, device::TextField::Name,
                                                         QString::fromStdString(*name))) {
                return fail({"name", "\"" + *name + "\" is longer than a camera keeps", 0});
            }
            built.names[camera.id] = {*name};
        }
    }
    if (p.date && p.date->mode != bs::DateOption::Keep) {
        built.dateMode = p.date->mode;
        built.dateZone = p.date->timeZone;
        built.dateWhen = p.date->time.value_or(now);
        built.time = bs::BuildSystemDate(p.date->mode, p.date->timeZone, built.dateWhen);
    }
    if (p.ports) {
        const bs::NetworkParams checked = bs::CheckPorts(*p.ports);
        if (checked.error) {
            return fail(*portError(*checked.error));
        }
        built.ports = checked.ports;
    }
    if (p.ddns) {
        const bs::NetworkParams checked = bs::CheckDdns(*p.ddns, drivers);
        if (checked.error && checked.field) {
            // A text a camera cannot keep whole: the rule names the field.
            const std::pair<const Message*, const char*> labels[] = {
                {&bs::kDdnsUserLabel, "ddns.user"},
                {&bs::kDdnsPasswordLabel, "ddns.password"},
                {&bs::kDdnsHostLabel, "ddns.host"},
                {&bs::kDdnsHashLabel, "ddns.hash"}};
            for (const auto& [label, key] : labels) {
                if (std::wcscmp(label->id, checked.field->id) == 0) {
                    return fail({key, "is longer than a camera keeps", 0});
                }
            }
        }
        if (checked.error) {
            return fail(*portError(*checked.error));
        }
        built.ddns = checked.ddns;
    }
    if (p.image || p.primary) {
        const int reference = bs::ReferenceDevice(targets);
        Builder b;
        bs::VideoImageForm form;
        if (reference >= 0) {
            built.reference = targets[static_cast<std::size_t>(reference)];
            form.keptModel = bs::ModelText(*built.reference);
        }
        const int cls = bs::ModelClass(form.keptModel);
        form.keptPowerLineFrequency = p.image ? *p.image->powerLine : 50;
        if (p.image) {
            form.powerLine = bs::PowerLinePosition(*p.image->powerLine);
            form.outdoor = b.pick(p.image->outdoor, bs::OutdoorModes(), 0, "image.outdoor");
            form.localDisplay =
                b.pick(p.image->localDisplay, bs::LocalDisplayModes(), 0, "image.local_display");
        }
        // The lists of the camera that speaks for the set, as the Video/Image
        // page offers them; the frame rates follow the mains frequency.
        b.why = " for model class " + std::to_string(cls) +
                (built.reference
                     ? " (camera " + built.reference->MacText() + ", " + form.keptModel + ")"
                     : std::string()) +
                " at " + std::to_string(form.keptPowerLineFrequency) + " Hz";
        if (p.primary) {
            const StreamSpec& ps = *p.primary;
            const StreamSpec& ss = *p.secondary;
            bs::StreamForm& pf = form.primary;
            pf.codec = b.pick(ps.codec, bs::PrimaryCodecs(), 0, "video.primary.codec");
            pf.frameSize =
                b.pick(ps.frameSize, bs::PrimarySizes(cls), 0, "video.primary.frame_size");
            const int code = bs::PrimarySizeAt(cls, pf.frameSize.value_or(0));
            const auto number = [](const bs::Entries& e, std::optional<int> i) {
                return i ? std::optional(bs::EntryNumber(e[static_cast<std::size_t>(*i)]))
                         : std::nullopt;
            };
            const bs::Entries rates = bs::PrimaryFrameRates(code, form.keptPowerLineFrequency);
            pf.frameRate =
                number(rates, b.pick(ps.frameRate, rates, 0, "video.primary.frame_rate"));
            const bs::Entries bitRates = bs::PrimaryBitRates(cls);
            pf.bitRate = number(bitRates, b.pick(ps.bitRate, bitRates, bs::kStartPrimaryBitRate,
                                                 "video.primary.bit_rate"));
            pf.bitRateControl = b.pick(ps.bitRateControl, bs::BitRateControls(),
                                       bs::kStartBitRateControl, "video.primary.bit_rate_control");
            pf.iFrame = ps.iFrame ? std::to_wstring(*ps.iFrame) : FromUtf8(bs::kStartPrimaryIFrame);

            bs::StreamForm& sf = form.secondary;
            sf.enabled = ss.enabled.value_or(false);
            if (sf.enabled && !bs::SecondaryStreamAllowed(code)) {
                return fail({"video.secondary.enabled",
                             "the secondary stream stays off at primary frame size " +
                                 entryAt(bs::AllPrimarySizes(), code),
                             0});
            }
            sf.codec = b.pick(ss.codec, bs::SecondaryCodecsWith(code), 0, "video.secondary.codec");
            sf.frameSize = b.pick(ss.frameSize, bs::SecondarySizes(code == bs::kSize3M),
                                  bs::kStartSecondarySize, "video.secondary.frame_size");
            const bs::Entries secondaryRates = bs::NormalFrameRates(form.keptPowerLineFrequency);
            sf.frameRate = number(secondaryRates, b.pick(ss.frameRate, secondaryRates, 0,
                                                         "video.secondary.frame_rate"));
            const bs::Entries secondaryBitRates = bs::SecondaryBitRates();
            sf.bitRate = number(secondaryBitRates,
                                b.pick(ss.bitRate, secondaryBitRates, bs::kStartSecondaryBitRate,
                                       "video.secondary.bit_rate"));
            sf.bitRateControl =
                b.pick(ss.bitRateControl, bs::BitRateControls(), bs::kStartBitRateControl,
                       "video.secondary.bit_rate_control");
            sf.iFrame =
                ss.iFrame ? std::to_wstring(*ss.iFrame) : FromUtf8(bs::kStartSecondaryIFrame);
        } else {
            // Image options alone: the stream fields hold what the page shows
            // at first, and no stream settings are sent.
            form.primary.iFrame = FromUtf8(bs::kStartPrimaryIFrame);
            form.secondary.iFrame = FromUtf8(bs::kStartSecondaryIFrame);
        }
        if (b.error) {
            return fail(*b.error);
        }
        const bs::VideoImageParams params = bs::BuildVideoImageParams(form);
        if (params.error) {
            return fail({"video", messageText(*params.error), 0});
        }
        if (p.image) {
            built.image = params.image;
        }
        if (p.primary) {
            built.primary = params.primary;
            built.secondary = params.secondary;
            built.primaryNamed = namedFields(*p.primary);
            built.secondaryNamed = namedFields(*p.secondary);
        }
    }
    result.built = std::move(built);
    return result;
}

std::vector<bs::Step> BuiltProfile::StepsFor(const device::DeviceInfo& camera) const {
    using Ops = bs::CBatchOperations;
    std::vector<bs::Step> steps;
    const auto add = [&](std::optional<bs::Step> step) {
        if (step) {
            steps.push_back(std::move(*step));
        }
    };
    if (dateMode) {
        add(Ops::SetSystemDate(*dateMode, dateZone, &dateWhen));
    }
    if (const auto name = names.find(camera.id); name != names.end()) {
        steps.push_back(Ops::DeviceNameStep(QString::fromStdString(name->second.text)));
    }
    const bool whole = camera.Speaks(device::Protocol::Maker);
    if (ports && !whole) {
        steps.push_back(Ops::ChangePorts(portsFor(camera, ports->ports)));
    } else {
        add(Ops::SetPorts(ports ? &*ports : nullptr));
    }
    add(Ops::SetDdns(ddns ? &*ddns : nullptr));
    add(Ops::SetImaging(image ? &*image : nullptr));
    if (primary && !whole) {
        for (const auto& [kind, stream, named] :
             {std::tuple{device::StreamKind::Primary, &*primary, primaryNamed},
              std::tuple{device::StreamKind::Secondary, &*secondary, secondaryNamed}}) {
            if (named.Any()) {
                steps.push_back(Ops::ChangeVideoStream(kind, *stream, named));
            }
        }
        return steps;
    }
    add(Ops::SetVideoStream(device::StreamKind::Primary, primary ? &*primary : nullptr));
    add(Ops::SetVideoStream(device::StreamKind::Secondary, secondary ? &*secondary : nullptr));
    return steps;
}

namespace {

// Only the values a camera is given, for one that keeps the rest.
std::string namedStreamText(const device::StreamSettings& s, const bs::StreamFields& named) {
    std::vector<std::string> parts;
    if (named.enabled) {
        parts.push_back(s.enabled ? "on" : "off");
    }
    if (named.codec) {
        parts.push_back(entryAt(bs::SecondaryCodecs(), bs::CodecPosition(s.codec)));
    }
    if (named.frameSize) {
        parts.push_back(std::to_string(s.width) + "*" + std::to_string(s.height));
    }
    if (named.frameRate) {
        parts.push_back(std::to_string(s.frameRate) + " fps");
    }
    if (named.bitRate) {
        parts.push_back(std::to_string(s.bitRateKbps) + " kbit/s");
    }
    if (named.bitRateControl) {
        parts.push_back(entryAt(bs::BitRateControls(), bs::RateControlPosition(s.rateControl)));
    }
    if (named.iFrameInterval) {
        parts.push_back("I-frame interval " + std::to_string(s.iFrameInterval));
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text + ", the rest as the camera has it";
}

} // namespace

std::vector<std::string> BuiltProfile::Describe(const device::DeviceInfo& camera) const {
    std::vector<std::string> lines;
    const auto line = [&](bs::Operation op, const std::string& what) {
        lines.push_back(std::string(bs::OperationWords(op)) + ": " + what);
    };
    const auto text = [](const QString& t) { return t.toStdString(); };
    if (time) {
        line(bs::Operation::SetSystemDate,
             time->useTimeServer
                 ? "time server " + text(time->timeServer) + ", " +
                       entryAt({bs::kTimeZoneNames.begin(), bs::kTimeZoneNames.end()},
                               time->utcOffsetHours + 12)
                 : std::string(dateMode == bs::DateOption::ComputerTime ? "computer time "
                                                                        : "set to ") +
                       bs::DateText(time->local) + " " + bs::TimeText(time->local));
    }
    if (const auto name = names.find(camera.id); name != names.end()) {
        line(bs::Operation::SetDeviceName, "\"" + name->second.text + "\"");
    }
    const bool whole = camera.Speaks(device::Protocol::Maker);
    if (ports) {
        const device::Ports& p = ports->ports;
        const bool second = whole || portsFor(camera, p).rtsp2.has_value();
        line(bs::Operation::SetPorts,
             (whole ? "HTTP " + std::to_string(p.http) + ", " : std::string()) + "ONVIF " +
                 std::to_string(p.onvif) + ", RTSP " + std::to_string(p.rtsp) +
                 (second ? " and " + std::to_string(p.rtsp2) : ""));
    }
    if (ddns) {
        line(bs::Operation::SetDdns, ddns->enabled
                                         ? "on, " + text(ddns->provider) + ", host " +
                                               text(ddns->host) + ", user " + text(ddns->user)
                                         : std::string("off"));
    }
    if (image) {
        line(bs::Operation::SetImaging,
             std::to_string(image->powerLineHz) + " Hz, " +
                 entryAt(bs::OutdoorModes(), bs::OutdoorPosition(image->indoor)) +
                 ", local display " +
                 entryAt(bs::LocalDisplayModes(), bs::LocalDisplayPosition(image->localDisplay)));
    }
    const auto stream = [&](const device::StreamSettings& s, bool isPrimary) {
        std::string what = isPrimary ? "primary " : "secondary ";
        if (!isPrimary && !s.enabled) {
            return what + "off";
        }
        what += isPrimary ? entryAt(bs::AllPrimarySizes(), bs::PrimarySizeNumber(bs::SizeOf(s)))
                          : entryAt(bs::SecondaryCodecs(), bs::CodecPosition(s.codec)) + " " +
                                secondarySizeText(s);
        return what + ", " + (s.frameRate == 0 ? "the camera's" : std::to_string(s.frameRate)) +
               " fps, " + std::to_string(s.bitRateKbps) + " kbit/s " +
               entryAt(bs::BitRateControls(), bs::RateControlPosition(s.rateControl)) +
               ", I-frame interval " + std::to_string(s.iFrameInterval);
    };
    if (primary && whole) {
        line(bs::Operation::SetVideoStream, stream(*primary, true));
        line(bs::Operation::SetVideoStream, stream(*secondary, false));
    } else if (primary) {
        for (const auto& [s, named, which] :
             {std::tuple{&*primary, primaryNamed, "primary"},
              std::tuple{&*secondary, secondaryNamed, "secondary"}}) {
            if (named.Any()) {
                line(bs::Operation::SetVideoStream,
                     std::string(which) + " " + namedStreamText(*s, named));
            }
        }
    }
    return lines;
}

} // namespace orv::profile
