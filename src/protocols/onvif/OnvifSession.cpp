#include "OnvifSession.h"

#include "liveplay/LivePlay.h"
#include "log/LogFile.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace orv::onvif {

using device::Failure;
using device::Fault;
using device::Result;
using device::Status;

Failure FailureOf(onvifc::Error error, const std::string& detail) {
    switch (error) {
    case onvifc::Error::None:
        return {Fault::Other, detail};
    case onvifc::Error::Timeout:
        return {Fault::NoAnswer, detail};
    case onvifc::Error::Unreachable:
        return {Fault::Unreachable, detail};
    case onvifc::Error::NotAuthorized:
        return {Fault::WrongCredentials, detail};
    case onvifc::Error::NotSupported:
        return {Fault::NotSupported, {}};
    case onvifc::Error::InvalidArg:
        return {Fault::Refused, detail};
    case onvifc::Error::Fault:
        return {Fault::DeviceFault, detail};
    case onvifc::Error::BadReply:
        return {Fault::BadAnswer, detail};
    case onvifc::Error::Identity:
        return {Fault::IdentityChanged, detail};
    }
    return {Fault::Other, detail};
}

std::string PosixZone(int hoursEast) {
    hoursEast = std::clamp(hoursEast, -12, 12);
    if (hoursEast == 0) {
        return "UTC0";
    }
    return "UTC" + std::string(hoursEast > 0 ? "-" : "+") + std::to_string(std::abs(hoursEast));
}

std::optional<int> HoursEastOf(const std::string& zone) {
    // std name (three or more letters, or <...>), then the offset west of UTC.
    std::size_t i = 0;
    if (i < zone.size() && zone[i] == '<') {
        i = zone.find('>');
        if (i == std::string::npos) {
            return std::nullopt;
        }
        ++i;
    } else {
        while (i < zone.size() && std::isalpha(static_cast<unsigned char>(zone[i]))) {
            ++i;
        }
        if (i < 3) {
            return std::nullopt;
        }
    }
    int sign = 1;
    if (i < zone.size() && (zone[i] == '+' || zone[i] == '-')) {
        sign = zone[i] == '-' ? -1 : 1;
        ++i;
    }
    int hours = 0;
    std::size_t digits = 0;
    while (i < zone.size() && std::isdigit(static_cast<unsigned char>(zone[i])) && digits < 2) {
        hours = hours * 10 + (zone[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || hours > 24) {
        return std::nullopt;
    }
    return -sign * hours;
}

namespace {

// ONVIF's imaging values run over the camera's own range; the tool's over
// 0-255.
double toCamera(int value, const std::optional<std::pair<double, double>>& range) {
    const auto [min, max] = range.value_or(std::pair(0.0, 255.0));
    return std::round(min + (max - min) * std::clamp(value, 0, 255) / 255.0);
}

int fromCamera(const std::optional<double>& value,
               const std::optional<std::pair<double, double>>& range) {
    const auto [min, max] = range.value_or(std::pair(0.0, 255.0));
    if (!value || max <= min) {
        return 0;
    }
    return static_cast<int>(
        std::lround((std::clamp(*value, min, max) - min) * 255.0 / (max - min)));
}

device::VideoCodec codecOf(const std::string& encoding) {
    if (encoding == "H264") {
        return device::VideoCodec::H264;
    }
    if (encoding == "MPEG4") {
        return device::VideoCodec::Mpeg4;
    }
    if (encoding == "JPEG") {
        return device::VideoCodec::Mjpeg;
    }
    return device::VideoCodec::Other;
}

std::string encodingOf(device::VideoCodec codec) {
    switch (codec) {
    case device::VideoCodec::H264:
        return "H264";
    case device::VideoCodec::Mpeg4:
        return "MPEG4";
    case device::VideoCodec::Mjpeg:
        return "JPEG";
    case device::VideoCodec::Other:
        break;
    }
    return {};
}

const char* irCutText(device::IrCutMode mode) {
    switch (mode) {
    case device::IrCutMode::Night:
        return "OFF"; // the filter out: the sensor sees infrared
    case device::IrCutMode::Day:
        return "ON";
    case device::IrCutMode::Auto:
        break;
    }
    return "AUTO";
}

// The maker's code of the step nearest to `micros`, the camera's longest
// exposure.
int exposureCodeOf(double micros, int powerLineHz) {
    int best = 0;
    for (int code = 1; code <= 4; ++code) {
        const auto distance = [&](int c) {
            return std::abs(1e6 / device::MaxExposureDenominator(c, powerLineHz) - micros);
        };
        if (distance(code) < distance(best)) {
            best = code;
        }
    }
    return best;
}

device::IrCutMode irCutOf(const std::string& text) {
    if (text == "OFF") {
        return device::IrCutMode::Night;
    }
    if (text == "ON") {
        return device::IrCutMode::Day;
    }
    return device::IrCutMode::Auto;
}

// A host name from a camera's name: letters, digits and hyphens, at most
// 63, no hyphen at either end; empty when nothing of the name is left.
std::string hostnameOf(const QString& name) {
    std::string out;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
            out += static_cast<char>(u);
        } else if (!out.empty() && out.back() != '-') {
            out += '-';
        }
    }
    out = out.substr(0, 63);
    while (!out.empty() && out.back() == '-') {
        out.pop_back();
    }
    return out;
}

std::string handbackOf(const QJsonObject& values) {
    return QJsonDocument(values).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject valuesOf(const std::string& handback) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(handback)).object();
}

// What a live view that did not start means for the person at the page.
Failure liveFailure(liveplay::Error error, std::chrono::milliseconds startLimit) {
    switch (error) {
    case liveplay::Error::NotAuthorized:
        return {Fault::WrongCredentials, "the camera's video stream refused the login"};
    case liveplay::Error::Network:
        return {Fault::Unreachable, "the camera's video stream could not be reached"};
    case liveplay::Error::Timeout:
        return {Fault::NoAnswer, "no picture from the camera's video stream", startLimit};
    case liveplay::Error::Stream:
        return {Fault::DeviceFault, "the camera's video stream could not be decoded"};
    case liveplay::Error::BadArgument:
        return {Fault::BadAnswer, "the camera named no RTSP address for its stream"};
    case liveplay::Error::Ok:
    case liveplay::Error::Unavailable:
    case liveplay::Error::Internal:
        break;
    }
    return {Fault::Other, liveplay::ErrorText(error)};
}

// The device service's address with another scheme and port, same host
// and path.
std::string atPort(const std::string& url, const char* scheme, int port) {
    const auto schemeEnd = url.find("://");
    const auto hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    const auto slash = url.find('/', hostStart);
    std::string authority = url.substr(hostStart, slash - hostStart);
    if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
        authority.resize(colon);
    }
    return std::string(scheme) + "://" + authority + ":" + std::to_string(port) +
           (slash == std::string::npos ? std::string("/") : url.substr(slash));
}

// The device service's address on HTTPS: the TLS port.
std::string overTls(const std::string& url, int port) {
    return atPort(url, "https", port);
}

class COnvifSession final : public device::IDeviceSession {
public:
    COnvifSession(device::DeviceInfo info, std::unique_ptr<onvifc::CDevice> camera)
        : m_info(std::move(info)), m_camera(std::move(camera)) {}

    const device::DeviceInfo& Device() const override { return m_info; }
    bool Encrypted() const override { return !m_camera->Soap().SeenPin().empty(); }

    Result<device::TimeSettings> GetTime() override {
        const auto answer = m_camera->GetSystemDateAndTime();
        if (!answer.Ok()) {
            return fail(answer);
        }
        const onvifc::SystemDateTime& t = answer.value;
        device::TimeSettings s;
        s.useTimeServer = t.ntp;
        s.utcOffsetHours = HoursEastOf(t.timeZone).value_or(0);
        if (t.local) {
            s.local = {t.local->year, t.local->month,  t.local->day,
                       t.local->hour, t.local->minute, t.local->second};
        } else if (t.utc) {
            std::tm parts{};
            parts.tm_year = t.utc->year - 1900;
            parts.tm_mon = t.utc->month - 1;
            parts.tm_mday = t.utc->day;
            parts.tm_hour = t.utc->hour + s.utcOffsetHours;
            parts.tm_min = t.utc->minute;
            parts.tm_sec = t.utc->second;
            const std::time_t when = timegm(&parts);
            gmtime_r(&when, &parts);
            s.local = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
        }
        s.handback = handbackOf({{"zone", QString::fromStdString(t.timeZone)}});
        return s;
    }

    Status SetTime(const device::TimeSettings& s) override {
        const QJsonObject before = valuesOf(s.handback);
        // The camera's own zone text goes back unless the hours changed.
        std::string zone = before.value("zone").toString().toStdString();
        if (HoursEastOf(zone) != s.utcOffsetHours) {
            zone = PosixZone(s.utcOffsetHours);
        }
        std::optional<onvifc::DateTimeParts> utc;
        if (!s.useTimeServer && s.local.year != 0) {
            std::tm parts{};
            parts.tm_year = s.local.year - 1900;
            parts.tm_mon = s.local.month - 1;
            parts.tm_mday = s.local.day;
            parts.tm_hour = s.local.hour - s.utcOffsetHours;
            parts.tm_min = s.local.minute;
            parts.tm_sec = s.local.second;
            const std::time_t when = timegm(&parts);
            gmtime_r(&when, &parts);
            utc = onvifc::DateTimeParts{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                                        parts.tm_hour,        parts.tm_min,     parts.tm_sec};
        }
        return done(m_camera->SetSystemDateAndTime(s.useTimeServer, zone, utc));
    }

    Result<QString> GetFirmwareVersion() override {
        const auto info = m_camera->GetDeviceInformation();
        if (!info.Ok()) {
            return fail(info);
        }
        return QString::fromStdString(info.value.firmware);
    }
    Result<device::PortSettings> GetPorts() override {
        const auto answer = m_camera->GetNetworkProtocols();
        if (!answer.Ok()) {
            return fail(answer);
        }
        device::PortSettings s;
        for (const onvifc::NetworkProtocol& p : answer.value) {
            if (p.name == "HTTP" && !p.ports.empty()) {
                // The first HTTP port serves ONVIF; a maker's camera serves
                // its own API on the second.
                s.ports.onvif = p.ports[0];
                s.ports.http = p.ports.size() > 1 ? p.ports[1] : p.ports[0];
            } else if (p.name == "RTSP" && !p.ports.empty()) {
                s.ports.rtsp = p.ports[0];
            }
        }
        QJsonObject kept;
        kept.insert("rtsp2", m_info.ports.rtsp2);
        s.ports.rtsp2 = m_info.ports.rtsp2;
        s.handback = handbackOf(kept);
        m_protocols = answer.value;
        return s;
    }

    Status SetPorts(const device::PortSettings& s) override {
        if (m_protocols.empty()) {
            const auto read = GetPorts();
            if (!read) {
                return read.Error();
            }
        }
        if (s.ports.rtsp2 != valuesOf(s.handback).value("rtsp2").toInt(s.ports.rtsp2)) {
            return Failure{Fault::NotSupported, "a second RTSP port"};
        }
        std::vector<onvifc::NetworkProtocol> protocols = m_protocols;
        int onvifPort = s.ports.onvif;
        for (onvifc::NetworkProtocol& p : protocols) {
            if (p.name == "HTTP" && p.ports.size() <= 1) {
                // One port serves ONVIF and the web pages (another maker's
                // camera): a change of either moves it; both at once to
                // two ports the camera cannot follow.
                const int shared = p.ports.empty() ? 0 : p.ports[0];
                if (s.ports.onvif != shared && s.ports.http != shared &&
                    s.ports.http != s.ports.onvif) {
                    return Failure{Fault::NotSupported,
                                   "HTTP and ONVIF share one port on this camera"};
                }
                onvifPort = s.ports.onvif != shared ? s.ports.onvif : s.ports.http;
                p.ports = {onvifPort};
            } else if (p.name == "HTTP") {
                p.ports = {s.ports.onvif};
                if (s.ports.http != s.ports.onvif) {
                    p.ports.push_back(s.ports.http);
                }
            } else if (p.name == "RTSP") {
                p.ports = {s.ports.rtsp};
            }
        }
        const Status status = done(m_camera->SetNetworkProtocols(protocols));
        if (status) {
            m_protocols = std::move(protocols);
            followOnvifPort(onvifPort);
        }
        return status;
    }

    Result<device::DdnsSettings> GetDdns() override {
        if (!m_camera->Services().dynamicDns) {
            return Failure{Fault::NotSupported, {}};
        }
        const auto answer = m_camera->GetDynamicDns();
        if (!answer.Ok()) {
            return fail(answer);
        }
        device::DdnsSettings s;
        s.enabled = answer.value.type == "ClientUpdates";
        s.host = QString::fromStdString(answer.value.name);
        s.handback = handbackOf({{"type", QString::fromStdString(answer.value.type)}});
        return s;
    }

    Status SetDdns(const device::DdnsSettings& s) override {
        // ONVIF names the host only; the provider's account is the camera's
        // own business.
        if (!s.provider.isEmpty() || !s.user.isEmpty() || !s.password.isEmpty() ||
            !s.hash.isEmpty()) {
            return Failure{Fault::NotSupported, "a DDNS provider account"};
        }
        const QString before = valuesOf(s.handback).value("type").toString();
        const std::string type =
            s.enabled ? "ClientUpdates"
                      : (before == "ServerUpdates" ? std::string("ServerUpdates") : "NoUpdate");
        return done(m_camera->SetDynamicDns({type, s.host.toStdString()}));
    }

    Result<device::StreamSettings> GetStream(device::StreamKind kind) override {
        const auto profile = profileFor(kind);
        if (!profile) {
            return profile.Error();
        }
        const onvifc::VideoEncoder& e = *profile->encoder;
        device::StreamSettings s;
        s.enabled = true;
        s.codec = codecOf(e.encoding);
        s.width = e.width;
        s.height = e.height;
        s.frameRate = e.frameRateLimit;
        s.bitRateKbps = e.bitrateLimit;
        s.iFrameInterval = e.govLength;
        s.handback = handbackOf({{"profile", QString::fromStdString(profile->token)}});
        return s;
    }

    Status SetStream(device::StreamKind kind, const device::StreamSettings& s) override {
        const auto profile = profileFor(kind);
        if (!profile) {
            return profile.Error();
        }
        onvifc::VideoEncoder e = *profile->encoder;
        if (!s.enabled) {
            return Failure{Fault::NotSupported, "switching a stream off"};
        }
        if (s.rateControl != device::RateControl::Variable &&
            s.rateControl != device::RateControl::Constant) {
            return Failure{Fault::NotSupported, {}};
        }
        const auto options = m_camera->GetEncoderOptions(e.token, profile->token);
        if (!options.Ok()) {
            return fail(options);
        }
        const onvifc::EncoderOptions& o = options.value;
        const std::string encoding = encodingOf(s.codec);
        // The camera's own limits, checked before anything is sent, so a
        // refused value is named rather than half applied.
        if (encoding.empty() || !o.Offers(encoding)) {
            return Failure{Fault::Refused, "the camera does not offer this codec"};
        }
        if ((s.width != 0 || s.height != 0) && !o.Offers(encoding, s.width, s.height)) {
            return Failure{Fault::Refused, "the camera does not offer this resolution"};
        }
        if (o.frameRate && !o.frameRate->Holds(s.frameRate)) {
            return Failure{Fault::Refused, "frame rate out of the camera's range"};
        }
        if (o.bitrate && !o.bitrate->Holds(s.bitRateKbps)) {
            return Failure{Fault::Refused, "bit rate out of the camera's range"};
        }
        if (o.govLength && !o.govLength->Holds(s.iFrameInterval)) {
            return Failure{Fault::Refused, "I-frame interval out of the camera's range"};
        }
        e.encoding = encoding;
        if (s.width != 0 || s.height != 0) {
            e.width = s.width;
            e.height = s.height;
        }
        e.frameRateLimit = s.frameRate;
        e.bitrateLimit = s.bitRateKbps;
        e.govLength = s.iFrameInterval;
        const Status status = done(m_camera->SetVideoEncoder(e));
        m_profiles.reset();
        return status;
    }

    Result<device::ImageSettings> GetImage() override {
        const auto settings = imaging();
        if (!settings) {
            return settings.Error();
        }
        device::ImageSettings s;
        s.irCut = irCutOf(settings->irCut);
        if (settings->maxExposureTime) {
            s.maxExposureTime = exposureCodeOf(*settings->maxExposureTime, s.powerLineHz);
        }
        s.handback = handbackOf({{"powerLineHz", s.powerLineHz},
                                 {"localDisplay", static_cast<int>(s.localDisplay)},
                                 {"indoor", s.indoor},
                                 {"exposureLevel", s.exposureLevel},
                                 {"maxExposureTime", s.maxExposureTime}});
        return s;
    }

    Status SetImage(const device::ImageSettings& s) override {
        const QJsonObject before = valuesOf(s.handback);
        // Power line frequency, local display and the maker's exposure level
        // have no place in ONVIF's imaging settings.
        if (s.powerLineHz != before.value("powerLineHz").toInt(s.powerLineHz) ||
            static_cast<int>(s.localDisplay) !=
                before.value("localDisplay").toInt(static_cast<int>(s.localDisplay)) ||
            s.indoor != before.value("indoor").toBool(s.indoor) ||
            s.exposureLevel != before.value("exposureLevel").toInt(s.exposureLevel)) {
            return Failure{Fault::NotSupported, {}};
        }
        auto settings = imaging();
        if (!settings) {
            return settings.Error();
        }
        const auto options = imagingOptions();
        if (!options) {
            return options.Error();
        }
        // The longest exposure goes to Exposure/MaxExposureTime, where the
        // camera has one; left alone, it is not written again.
        std::optional<double> exposure;
        if (s.maxExposureTime != before.value("maxExposureTime").toInt(s.maxExposureTime)) {
            const int denominator =
                device::MaxExposureDenominator(s.maxExposureTime, s.powerLineHz);
            if (!settings->maxExposureTime || denominator == 0) {
                return Failure{Fault::NotSupported, "no exposure time in the camera's imaging"};
            }
            exposure = 1e6 / denominator;
            const auto& range = options->maxExposureTime;
            if (range && (*exposure < range->first || *exposure > range->second)) {
                return Failure{Fault::Refused, "exposure time out of the camera's range"};
            }
        }
        const std::string mode = irCutText(s.irCut);
        const auto& modes = options->irCutModes;
        if (!modes.empty() && std::find(modes.begin(), modes.end(), mode) == modes.end()) {
            return Failure{Fault::Refused, "the camera does not offer this IR-cut mode"};
        }
        onvifc::ImagingSettings changed = *settings;
        changed.irCut = mode;
        changed.brightness.reset();
        changed.contrast.reset();
        changed.saturation.reset();
        changed.maxExposureTime = exposure;
        return done(m_camera->SetImagingSettings(m_videoSource, changed));
    }

    Result<device::PictureSettings> GetPicture() override {
        const auto settings = imaging();
        if (!settings) {
            return settings.Error();
        }
        const auto options = imagingOptions();
        if (!options) {
            return options.Error();
        }
        return device::PictureSettings{fromCamera(settings->brightness, options->brightness),
                                       fromCamera(settings->contrast, options->contrast),
                                       fromCamera(settings->saturation, options->saturation)};
    }

    Status SetPicture(const device::PictureSettings& s) override {
        auto settings = imaging();
        if (!settings) {
            return settings.Error();
        }
        const auto options = imagingOptions();
        if (!options) {
            return options.Error();
        }
        onvifc::ImagingSettings changed = *settings;
        changed.brightness = toCamera(s.brightness, options->brightness);
        changed.contrast = toCamera(s.contrast, options->contrast);
        changed.saturation = toCamera(s.saturation, options->saturation);
        changed.irCut.clear();
        return done(m_camera->SetImagingSettings(m_videoSource, changed));
    }

    Status SetName(const QString& name) override {
        const Status scope = done(m_camera->SetName(name.toStdString()));
        if (!scope) {
            return scope;
        }
        // The host name follows where the name makes one; cameras that keep
        // it from DHCP refuse, and the name scope has already taken.
        const std::string host = hostnameOf(name);
        if (!host.empty()) {
            (void)m_camera->SetHostname(host);
        }
        m_info.name = name;
        return scope;
    }

    Status ChangePassword(const QString& user, const QString& newPassword) override {
        return done(m_camera->SetUserPassword(user.toStdString(), newPassword.toStdString()));
    }

    Status Reboot() override { return done(m_camera->Reboot()); }
    Status Restore() override { return done(m_camera->SoftFactoryDefault()); }

    Status UpdateFirmware(const QString& path, const device::CancelCheck& cancelled) override {
        if (!m_camera->Services().firmwareUpgrade) {
            return Failure{Fault::NotSupported, {}};
        }
        // The camera at the address must still be the model the image was
        // chosen for, before any byte goes.
        const auto info = m_camera->GetDeviceInformation();
        if (!info.Ok()) {
            return fail(info);
        }
        if (!m_info.model.isEmpty() && QString::fromStdString(info.value.model) != m_info.model) {
            return Failure{Fault::Refused, "the camera is now a " + info.value.model};
        }
        const auto start = m_camera->StartFirmwareUpgrade();
        if (!start.Ok()) {
            return fail(start);
        }
        const auto sent = m_camera->Soap().Upload(start.value.uploadUri, path.toStdString(),
                                                  [&] { return cancelled && cancelled(); });
        if (sent.cancelled) {
            return Fault::Cancelled;
        }
        if (sent.fileUnreadable) {
            return Fault::FileUnreadable;
        }
        if (sent.error == onvifc::Error::Fault) {
            return Failure{Fault::FileRejected, "HTTP " + std::to_string(sent.status)};
        }
        if (sent.error != onvifc::Error::None) {
            return FailureOf(sent.error, {});
        }
        return device::Done{};
    }

    Status UploadOem(const QString&, const device::CancelCheck&) override {
        return Fault::NotSupported;
    }
    // The main profile's stream, asked anew at every start (a port change
    // moves it), played with this session's login.
    Status StartLiveVideo(device::VideoTarget target) override {
        const Status started = startLive(std::move(target));
        if (!started) {
            WriteLog(1, "ONVIF %s: live video not started (%s)",
                     m_info.AddressText().toLatin1().constData(), started.Error().detail.c_str());
        }
        return started;
    }
    Status StopLiveVideo() override {
        m_video.Stop(kView);
        return device::Done{};
    }

private:
    // The session's one view in its own set.
    static constexpr std::uint64_t kView = 0;

    Status startLive(device::VideoTarget target) {
        // The old view ends even when the new one fails before it plays.
        m_video.Stop(kView);
        if (m_camera->Services().media.empty()) {
            return Failure{Fault::NotSupported, {}};
        }
        if (!target.frame) {
            return Failure{Fault::Other, "nowhere to hand the pictures to"};
        }
        const auto profile = profileFor(device::StreamKind::Primary);
        if (!profile) {
            return profile.Error();
        }
        const auto uri = m_camera->GetStreamUri(profile->token);
        if (!uri.Ok()) {
            return fail(uri);
        }
        const onvifc::CSoapClient& soap = m_camera->Soap();
        liveplay::FrameTarget frames;
        frames.width = target.width;
        frames.height = target.height;
        frames.frame = [frame = std::move(target.frame)](const liveplay::Frame& f) {
            frame({f.width, f.height, f.stride, f.pixels, f.streamBytes});
        };
        if (target.ended) {
            frames.ended = [ended = std::move(target.ended)](liveplay::Error error) {
                Failure failure = liveFailure(error, kLiveTiming.stall);
                failure.detail = liveplay::ErrorText(error);
                ended(failure);
            };
        }
        const liveplay::Error error =
            m_video.Start(kView, {uri.value, soap.User(), soap.Password()}, std::move(frames));
        if (error != liveplay::Error::Ok) {
            return liveFailure(error, kLiveTiming.start);
        }
        return device::Done{};
    }

    template <class T>
    static Failure fail(const onvifc::Answer<T>& answer) {
        return FailureOf(answer.error, answer.detail);
    }
    static Status done(const onvifc::Outcome& outcome) {
        if (outcome.Ok()) {
            return device::Done{};
        }
        return FailureOf(outcome.error, outcome.detail);
    }

    Result<onvifc::MediaProfile> profileFor(device::StreamKind kind) {
        if (!m_profiles) {
            auto answer = m_camera->GetProfiles();
            if (!answer.Ok()) {
                return fail(answer);
            }
            m_profiles = std::move(answer.value);
        }
        // Profiles with an encoder, in the camera's order: the first is the
        // main stream, the second the sub stream.
        std::vector<const onvifc::MediaProfile*> encoded;
        for (const auto& p : *m_profiles) {
            if (p.encoder) {
                encoded.push_back(&p);
            }
        }
        const std::size_t index = kind == device::StreamKind::Primary ? 0 : 1;
        if (index >= encoded.size()) {
            return Failure{Fault::NotSupported, {}};
        }
        if (m_videoSource.empty()) {
            m_videoSource = encoded[index]->videoSourceToken;
        }
        return *encoded[index];
    }

    Result<onvifc::ImagingSettings> imaging() {
        if (m_camera->Services().imaging.empty()) {
            return Failure{Fault::NotSupported, {}};
        }
        if (m_videoSource.empty()) {
            const auto profile = profileFor(device::StreamKind::Primary);
            if (!profile) {
                return profile.Error();
            }
        }
        const auto answer = m_camera->GetImagingSettings(m_videoSource);
        if (!answer.Ok()) {
            return fail(answer);
        }
        return answer.value;
    }

    // Over plain HTTP the camera now answers ONVIF at its new port: the rest
    // of the session (a profile's video after its ports) goes there. Over
    // HTTPS the session's port is the TLS one and stays.
    void followOnvifPort(int port) {
        const std::string& url = m_camera->DeviceUrl();
        if (port <= 0 || url.rfind("http://", 0) != 0) {
            return;
        }
        const std::string moved = atPort(url, "http", port);
        if (moved == url) {
            return;
        }
        auto camera = std::make_unique<onvifc::CDevice>(moved, m_camera->Soap().User(),
                                                        m_camera->Soap().Password());
        // A camera may take a moment to listen at the new port.
        for (int attempt = 1;; ++attempt) {
            const auto reached = camera->Connect();
            if (reached.Ok()) {
                break;
            }
            if (attempt == 5) {
                WriteLog(1, "ONVIF %s: not answering at port %d after the change (%s)",
                         m_info.AddressText().toLatin1().constData(), port, reached.detail.c_str());
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        m_camera = std::move(camera);
        m_profiles.reset();
    }

    Result<onvifc::ImagingOptions> imagingOptions() {
        if (!m_imagingOptions) {
            const auto answer = m_camera->GetImagingOptions(m_videoSource);
            if (!answer.Ok()) {
                return fail(answer);
            }
            m_imagingOptions = answer.value;
        }
        return *m_imagingOptions;
    }

    device::DeviceInfo m_info;
    std::unique_ptr<onvifc::CDevice> m_camera;
    std::optional<std::vector<onvifc::MediaProfile>> m_profiles;
    std::optional<onvifc::ImagingOptions> m_imagingOptions;
    std::vector<onvifc::NetworkProtocol> m_protocols;
    std::string m_videoSource;
    // Last, so the view stops first when the session ends, before the
    // conversation it was started from.
    static constexpr liveplay::Timing kLiveTiming{};
    liveplay::CViews m_video{kLiveTiming};
};

} // namespace

namespace {

// The camera's HTTPS port, as it reports it; 0 when it offers none.
int httpsPort(onvifc::CDevice& camera) {
    const auto protocols = camera.GetNetworkProtocols();
    if (!protocols.Ok()) {
        return 0;
    }
    for (const onvifc::NetworkProtocol& p : protocols.value) {
        if (p.name == "HTTPS" && p.enabled && !p.ports.empty()) {
            return p.ports.front();
        }
    }
    return 0;
}

} // namespace

std::unique_ptr<device::IDeviceSession> OpenOnvifSession(const device::DeviceInfo& device,
                                                         const QString& user,
                                                         const QString& password, Failure& failure,
                                                         device::ITrustStore* trust) {
    const device::ServiceAddress* service = device.Service(device::Protocol::Onvif);
    if (service == nullptr || service->address.isEmpty()) {
        failure = {Fault::NotSupported, "no ONVIF address"};
        return nullptr;
    }
    auto camera = std::make_unique<onvifc::CDevice>(service->address.toStdString(),
                                                    user.toStdString(), password.toStdString());
    const auto connected = camera->Connect();
    if (!connected.Ok()) {
        failure = FailureOf(connected.error, connected.detail);
        return nullptr;
    }
    const std::optional<device::TrustedKey> known =
        trust != nullptr && device.mac ? trust->Find(*device.mac) : std::nullopt;
    const std::string address = device.AddressText().toStdString();
    const auto refuse = [&] {
        failure = {Fault::IdentityChanged, device::TrustedSince(*known)};
        WriteLog(1, "Identity of %s at %s changed: refused.", device.MacText().c_str(),
                 address.c_str());
        return nullptr;
    };
    const auto tls = [&](int port, const std::string& pin) {
        auto secure =
            std::make_unique<onvifc::CDevice>(overTls(service->address.toStdString(), port),
                                              user.toStdString(), password.toStdString());
        secure->Soap().RequireTls(pin);
        return secure;
    };
    // A camera trusted by its key shows it before any login: at its TLS
    // port as last seen, held to the pin.
    if (known && known->tlsPort > 0) {
        auto secure = tls(known->tlsPort, known->pin);
        const auto reached = secure->Connect();
        if (reached.error == onvifc::Error::Identity) {
            return refuse();
        }
        if (reached.Ok()) {
            if (const auto login = secure->GetDeviceInformation(); !login.Ok()) {
                failure = FailureOf(login.error, login.detail);
                return nullptr;
            }
            return std::make_unique<COnvifSession>(device, std::move(secure));
        }
        // Not there any more: the camera says below where it serves TLS now.
    }
    // The login itself: the first call that needs the credentials (a
    // token or Digest: neither shows the password).
    const auto info = camera->GetDeviceInformation();
    if (!info.Ok()) {
        failure = FailureOf(info.error, info.detail);
        return nullptr;
    }
    // Everything else over HTTPS where the camera offers it, held to the
    // key it was trusted by; a first contact's key is kept and logged.
    const int tlsPort = httpsPort(*camera);
    if (tlsPort == 0) {
        // A camera trusted by its key that offers no TLS any more may be a
        // stand-in at its address.
        if (known) {
            return refuse();
        }
        return std::make_unique<COnvifSession>(device, std::move(camera));
    }
    auto secure = tls(tlsPort, known ? known->pin : std::string());
    const auto overTlsConnected = secure->Connect();
    if (!overTlsConnected.Ok()) {
        if (known) {
            // Trusted by a key it cannot show now: no session at all.
            if (overTlsConnected.error == onvifc::Error::Identity) {
                return refuse();
            }
            failure = FailureOf(overTlsConnected.error, overTlsConnected.detail);
            return nullptr;
        }
        // A camera never met that names an HTTPS port nobody answers on
        // (closed off, or a firmware that reports what it lacks) goes on
        // over plain HTTP: no secret goes there without consent.
        WriteLog(1,
                 "ONVIF %s names HTTPS on port %d, which does not answer (%s); plain HTTP "
                 "goes on.",
                 address.c_str(), tlsPort, onvifc::ErrorText(overTlsConnected.error));
        return std::make_unique<COnvifSession>(device, std::move(camera));
    }
    if (const auto again = secure->GetDeviceInformation(); !again.Ok()) {
        failure = FailureOf(again.error, again.detail);
        return nullptr;
    }
    const std::string pin = secure->Soap().SeenPin();
    if (trust != nullptr && device.mac && !pin.empty()) {
        if (!known) {
            trust->Keep(*device.mac, {pin, tlsPort, std::chrono::system_clock::now()});
            WriteLog(0, "Trusted %s at %s by its key %s.", device.MacText().c_str(),
                     address.c_str(), pin.c_str());
        } else if (known->tlsPort != tlsPort) {
            trust->Keep(*device.mac, {known->pin, tlsPort, known->since});
        }
    }
    return std::make_unique<COnvifSession>(device, std::move(secure));
}

} // namespace orv::onvif
