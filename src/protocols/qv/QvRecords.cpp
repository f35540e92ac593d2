#include "QvRecords.h"

#include "text/FieldText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace orv::qv {

using namespace orv::device;

namespace {

constexpr std::array<std::pair<int, int>, 7> kPrimarySizes = {
    {{2560, 1920}, {2048, 1536}, {1920, 1080}, {1600, 1200}, {1280, 960}, {1280, 720}, {704, 576}}};
constexpr std::array<std::pair<int, int>, 5> kSecondarySizes = {
    {{640, 480}, {640, 368}, {176, 144}, {320, 240}, {320, 192}}};

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Plain ASCII, by far the most common, reads the same in every code page.
QString ansiText(const std::string& bytes) {
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return QString::fromStdWString(FromAnsi(bytes));
}

QString utf8Text(const std::string& bytes) {
    if (isAscii(bytes)) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return QString::fromStdWString(FromUtf8(bytes));
}

template <std::size_t N>
QString ansiField(const char (&field)[N]) {
    return ansiText(FieldText(field));
}

// The record kept in a handback, or a zeroed one.
template <class Record>
Record startFrom(const std::string& handback) {
    static_assert(std::is_trivially_copyable_v<Record>);
    Record record{};
    if (handback.size() == sizeof record) {
        std::memcpy(&record, handback.data(), sizeof record);
    }
    return record;
}

template <class Record>
std::string handbackOf(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string hexOf(const std::uint8_t* bytes, std::size_t n) {
    std::string text;
    char pair[3] = {};
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// A dotted quad as discovery writes it; 0 for anything else.
std::uint32_t addressOf(const char* text, std::size_t size) {
    return ParseIpv4(std::string_view(text, strnlen(text, size))).value_or(0);
}

template <std::size_t N>
void putAddress(char (&field)[N], std::uint32_t address) {
    std::memset(field, 0, N);
    const QByteArray text = Ipv4Text(address).toLatin1();
    std::memcpy(field, text.constData(),
                std::min<std::size_t>(static_cast<std::size_t>(text.size()), N - 1));
}

template <std::size_t N>
bool putText(char (&field)[N], const QString& text, int codePage) {
    return PutRecordText(field, text.toStdWString(), codePage);
}

std::uint8_t byteOf(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

} // namespace

Capabilities MakerCapabilities() {
    return Capabilities::All();
}

DeviceId IdOf(const tagQvIpcInfo& record) {
    MacAddress mac{};
    std::copy(record.Mac, record.Mac + mac.size(), mac.begin());
    return DeviceId::OfMac(mac);
}

DeviceInfo DeviceOf(const tagQvIpcInfo& r, std::chrono::steady_clock::time_point when) {
    DeviceInfo d;
    d.id = IdOf(r);
    d.mac = d.id.Mac();
    d.name = utf8Text(FieldText(r.DevName));
    d.address = addressOf(r.IpAddr, sizeof r.IpAddr);
    d.netmask = addressOf(r.NetMask, sizeof r.NetMask);
    d.gateway = addressOf(r.Gateway, sizeof r.Gateway);
    d.dns = addressOf(r.Dns, sizeof r.Dns);
    d.ports.http = r.HttpPort;
    d.model = ansiField(r.Model);
    d.displayModel = ansiField(r.DisplayModel);
    d.firmware = ansiField(r.Version);
    ServiceAddress service;
    service.protocol = Protocol::Maker;
    service.address = QStringLiteral("http://") + Ipv4Text(d.address) + QLatin1Char(':') +
                      QString::number(r.HttpPort);
    service.endpoint = QString::fromLatin1(hexOf(r.Mac, sizeof r.Mac));
    d.services.push_back(std::move(service));
    d.capabilities = MakerCapabilities();
    d.lastAnswer = when;
    return d;
}

tagQvIpcInfo RecordOf(const DeviceInfo& d) {
    tagQvIpcInfo r{};
    if (const auto wire = WireIdOf(d)) {
        std::copy(wire->begin(), wire->end(), r.Mac);
    } else if (d.id.HasMac()) {
        const MacAddress mac = d.id.Mac();
        std::copy(mac.begin(), mac.end(), r.Mac);
    }
    const auto put = [](auto& field, const std::string& bytes) {
        std::memset(field, 0, sizeof field);
        std::memcpy(field, bytes.data(), std::min(bytes.size(), sizeof field - 1));
    };
    put(r.DevName, ToUtf8(d.name.toStdWString()));
    putAddress(r.IpAddr, d.address);
    r.HttpPort = d.ports.http;
    putAddress(r.NetMask, d.netmask);
    putAddress(r.Gateway, d.gateway);
    putAddress(r.Dns, d.dns);
    put(r.Model, ToAnsi(d.model.toStdWString()));
    put(r.Version, ToAnsi(d.firmware.toStdWString()));
    put(r.DisplayModel, ToAnsi(d.displayModel.toStdWString()));
    return r;
}

std::vector<tagQvIpcInfo> RecordsOf(const std::vector<DeviceInfo>& devices) {
    std::vector<tagQvIpcInfo> records;
    records.reserve(devices.size());
    for (const DeviceInfo& d : devices) {
        records.push_back(RecordOf(d));
    }
    return records;
}

std::optional<WireDeviceId> WireIdOf(const DeviceInfo& device) {
    const ServiceAddress* service = device.Service(Protocol::Maker);
    if (service == nullptr || service->endpoint.size() != 16) {
        return std::nullopt;
    }
    WireDeviceId id{};
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool ok = false;
        const uint value =
            QStringView(service->endpoint).mid(2 * static_cast<qsizetype>(i), 2).toUInt(&ok, 16);
        if (!ok) {
            return std::nullopt;
        }
        id[i] = static_cast<std::uint8_t>(value);
    }
    return id;
}

std::optional<tagQvIpcInfo> ModifyRequestOf(const DeviceInfo& device, const AddressChange& change,
                                            const Credentials& credentials) {
    const auto id = WireIdOf(device);
    if (!id) {
        return std::nullopt;
    }
    tagQvIpcInfo r{};
    std::copy(id->begin(), id->end(), r.Mac);
    if (!putText(r.UserName, credentials.user, kCpAnsi) ||
        !putText(r.Password, credentials.password, kCpAnsi)) {
        return std::nullopt;
    }
    // A name the camera gave fits its field raw, but escaped it may not
    // (every apostrophe doubles): it is cut where the field ends rather
    // than emptied. A typed name was refused by its form already.
    const std::wstring name = change.name.toStdWString();
    PutRecordText(r.DevName, CutToRecordField(name, kCpUtf8, sizeof r.DevName), kCpUtf8);
    putAddress(r.IpAddr, change.address);
    putAddress(r.NetMask, change.netmask);
    putAddress(r.Gateway, change.gateway);
    putAddress(r.Dns, change.dns);
    r.HttpPort = change.httpPort;
    return r;
}

TimeSettings TimeOf(const QvSystemDate& r) {
    TimeSettings s;
    s.useTimeServer = r.useTimeServer != 0;
    const std::string date = FieldText(r.date);
    const std::string time = FieldText(r.time);
    char sep1 = 0;
    char sep2 = 0;
    if (std::sscanf(date.c_str(), "%d%c%d%c%d", &s.local.year, &sep1, &s.local.month, &sep2,
                    &s.local.day) != 5) {
        s.local.year = s.local.month = s.local.day = 0;
    }
    if (std::sscanf(time.c_str(), "%d:%d:%d", &s.local.hour, &s.local.minute, &s.local.second) !=
        3) {
        s.local.hour = s.local.minute = s.local.second = 0;
    }
    s.timeServer = ansiField(r.timeServer);
    s.utcOffsetHours = r.timeZone - 12;
    s.handback = handbackOf(r);
    return s;
}

QvSystemDate RecordOf(const TimeSettings& s) {
    QvSystemDate r = startFrom<QvSystemDate>(s.handback);
    // Only what changed is written again: the camera's own spelling of its
    // date ("2024-03-01") and an out-of-range zone go back as they came.
    const TimeSettings before = TimeOf(r);
    r.useTimeServer = s.useTimeServer ? 1 : 0;
    if (s.local != before.local) {
        std::memset(r.date, 0, sizeof r.date);
        std::memset(r.time, 0, sizeof r.time);
        if (s.local.year != 0) {
            std::snprintf(r.date, sizeof r.date, "%04d/%02d/%02d", s.local.year, s.local.month,
                          s.local.day);
            std::snprintf(r.time, sizeof r.time, "%02d:%02d:%02d", s.local.hour, s.local.minute,
                          s.local.second);
        }
    }
    if (s.timeServer != before.timeServer) {
        putText(r.timeServer, s.timeServer, kCpAnsi);
    }
    if (s.utcOffsetHours != before.utcOffsetHours) {
        r.timeZone = std::clamp(s.utcOffsetHours, -12, 12) + 12;
    }
    return r;
}

PortSettings PortsOf(const QvPortInfo& r) {
    PortSettings s;
    s.ports.http = r.httpPort;
    s.ports.onvif = r.onvifPort;
    s.ports.rtsp = r.rtspPort1;
    s.ports.rtsp2 = r.rtspPort2;
    s.handback = handbackOf(r);
    return s;
}

QvPortInfo RecordOf(const PortSettings& s) {
    QvPortInfo r = startFrom<QvPortInfo>(s.handback);
    r.httpPort = s.ports.http;
    r.onvifPort = s.ports.onvif;
    r.rtspPort1 = s.ports.rtsp;
    r.rtspPort2 = s.ports.rtsp2;
    return r;
}

DdnsSettings DdnsOf(const QvDdnsInfo& r) {
    DdnsSettings s;
    s.enabled = r.enable != 0;
    s.provider = ansiField(r.provider);
    s.user = ansiField(r.user);
    s.password = ansiField(r.password);
    s.hash = ansiField(r.hash);
    s.host = ansiField(r.host);
    s.handback = handbackOf(r);
    return s;
}

std::optional<QvDdnsInfo> RecordOf(const DdnsSettings& s) {
    QvDdnsInfo r = startFrom<QvDdnsInfo>(s.handback);
    // A text the camera gave goes back as its bytes; only a changed one is
    // escaped and cut into its field, and must fit whole.
    const DdnsSettings before = DdnsOf(r);
    if (s.enabled != before.enabled) {
        r.enable = s.enabled ? 1 : 0;
    }
    const auto put = [](auto& field, const QString& text, const QString& old) {
        return text == old || putText(field, text, kCpAnsi);
    };
    if (!put(r.provider, s.provider, before.provider) || !put(r.user, s.user, before.user) ||
        !put(r.password, s.password, before.password) || !put(r.hash, s.hash, before.hash) ||
        !put(r.host, s.host, before.host)) {
        return std::nullopt;
    }
    return r;
}

QvPlayInfo PlayRecordOf(std::uint64_t window) {
    QvPlayInfo play{};
    play.window = static_cast<std::uint32_t>(window);
    const auto upper = static_cast<std::uint32_t>(window >> 32);
    std::memcpy(play.reserved1, &upper, sizeof upper);
    return play;
}

std::pair<int, int> FrameSizeOf(StreamKind kind, int code) {
    if (kind == StreamKind::Primary) {
        return code >= 0 && code < static_cast<int>(kPrimarySizes.size()) ? kPrimarySizes[code]
                                                                          : std::pair{0, 0};
    }
    return code >= 0 && code < static_cast<int>(kSecondarySizes.size()) ? kSecondarySizes[code]
                                                                        : std::pair{0, 0};
}

int FrameSizeCode(StreamKind kind, int width, int height) {
    const auto find = [&](const auto& table) {
        const auto it = std::find(table.begin(), table.end(), std::pair{width, height});
        return it == table.end() ? -1 : static_cast<int>(it - table.begin());
    };
    return kind == StreamKind::Primary ? find(kPrimarySizes) : find(kSecondarySizes);
}

StreamSettings StreamOf(const QvVideoConfig& r) {
    StreamSettings s;
    const StreamKind kind = r.stream == 1 ? StreamKind::Primary : StreamKind::Secondary;
    s.enabled = r.enabled != 0;
    s.codec = r.codec == 0   ? VideoCodec::H264
              : r.codec == 1 ? VideoCodec::Mpeg4
              : r.codec == 2 ? VideoCodec::Mjpeg
                             : VideoCodec::Other;
    std::tie(s.width, s.height) = FrameSizeOf(kind, r.frameSize);
    s.frameRate = r.frameRate;
    s.bitRateKbps = r.bitRate;
    s.rateControl = r.bitRateControl == 0 ? RateControl::Constant : RateControl::Variable;
    s.iFrameInterval = r.iFrameInterval;
    s.handback = handbackOf(r);
    return s;
}

QvVideoConfig RecordOf(StreamKind kind, const StreamSettings& s) {
    QvVideoConfig r = startFrom<QvVideoConfig>(s.handback);
    r.stream = kind == StreamKind::Primary ? 1 : 0;
    // Only what changed is written: a camera's own codes that read as the
    // same value ("enabled" 2, a rate control of its own) go back as read.
    const StreamSettings before = StreamOf(r);
    if (s.enabled != before.enabled) {
        r.enabled = s.enabled ? 1 : 0;
    }
    if (s.codec != before.codec) {
        switch (s.codec) {
        case VideoCodec::H264:
            r.codec = 0;
            break;
        case VideoCodec::Mpeg4:
            r.codec = 1;
            break;
        case VideoCodec::Mjpeg:
            r.codec = 2;
            break;
        case VideoCodec::Other:
            break; // the camera's own code, from the handback
        }
    }
    // A size without a name here keeps the camera's own code.
    const int code = FrameSizeCode(kind, s.width, s.height);
    if ((s.width != before.width || s.height != before.height) && code >= 0) {
        r.frameSize = code;
    }
    r.frameRate = s.frameRate;
    r.bitRate = s.bitRateKbps;
    if (s.rateControl != before.rateControl) {
        r.bitRateControl = s.rateControl == RateControl::Constant ? 0 : 1;
    }
    r.iFrameInterval = s.iFrameInterval;
    return r;
}

ImageSettings ImageOf(const QvImagingConfig& r) {
    ImageSettings s;
    s.powerLineHz = r.powerLineFrequency;
    s.irCut = r.irCutMode == 0   ? IrCutMode::Night
              : r.irCutMode == 1 ? IrCutMode::Day
                                 : IrCutMode::Auto;
    s.localDisplay = r.localDisplay == 1   ? LocalDisplay::Ntsc
                     : r.localDisplay == 2 ? LocalDisplay::Pal
                                           : LocalDisplay::Off;
    s.indoor = r.outdoorMode == 1;
    s.exposureLevel = r.exposureLevel;
    s.maxExposureTime = r.maxExposureTime;
    s.handback = handbackOf(r);
    return s;
}

QvImagingConfig RecordOf(const ImageSettings& s) {
    QvImagingConfig r = startFrom<QvImagingConfig>(s.handback);
    // As with streams: the camera's own codes for an unchanged value stay.
    const ImageSettings before = ImageOf(r);
    r.powerLineFrequency = s.powerLineHz;
    if (s.irCut != before.irCut) {
        r.irCutMode = s.irCut == IrCutMode::Night ? 0 : s.irCut == IrCutMode::Day ? 1 : 2;
    }
    if (s.localDisplay != before.localDisplay) {
        r.localDisplay = s.localDisplay == LocalDisplay::Ntsc  ? 1
                         : s.localDisplay == LocalDisplay::Pal ? 2
                                                               : 0;
    }
    if (s.indoor != before.indoor) {
        r.outdoorMode = s.indoor ? 1 : 0;
    }
    if (s.exposureLevel != before.exposureLevel) {
        r.exposureLevel = byteOf(s.exposureLevel);
    }
    if (s.maxExposureTime != before.maxExposureTime) {
        r.maxExposureTime = byteOf(s.maxExposureTime);
    }
    return r;
}

PictureSettings PictureOf(const QvImagingSettings& r) {
    return {r.brightness, r.contrast, r.saturation};
}

QvImagingSettings RecordOf(const PictureSettings& s) {
    return {s.brightness, s.contrast, s.saturation};
}

std::string EscapeDeviceName(std::string_view utf8Name, size_t outSize) {
    static constexpr std::string_view kKept = "!@#$&*()=:/;?+'.";
    std::string out;
    for (const char c : utf8Name) {
        char unit[4] = {};
        if (kKept.find(c) != std::string_view::npos) {
            unit[0] = c;
        } else {
            std::snprintf(unit, sizeof unit, "%%%2X", static_cast<unsigned char>(c));
        }
        if (out.size() + std::strlen(unit) + 1 > outSize) {
            break;
        }
        out += unit;
    }
    return out;
}

std::optional<std::string> NameForApi(const QString& name) {
    if (name.isEmpty()) {
        return std::string();
    }
    char converted[kNameBytes] = {};
    const std::wstring wide = name.toStdWString();
    if (WideToMulti(kCpUtf8, wide.c_str(), converted, sizeof converted, true) == 0) {
        return std::nullopt;
    }
    return EscapeDeviceName(converted);
}

Fault FaultOf(int error, bool upload) {
    switch (error) {
    case QV_ERR_AUTH:
        return Fault::WrongCredentials;
    case QV_ERR_TIMEOUT:
        return Fault::NoAnswer;
    case QV_ERR_NETWORK:
        return Fault::Unreachable;
    case QV_ERR_REJECTED:
        return upload ? Fault::FileRejected : Fault::Refused;
    case QV_ERR_FILE:
        return Fault::FileUnreadable;
    case QV_ERR_DEVICE:
        return Fault::DeviceFault;
    case QV_ERR_MALFORMED:
        return Fault::BadAnswer;
    case QV_ERR_CANCELLED:
        return Fault::Cancelled;
    case QV_ERR_NOT_SUPPORTED:
        return Fault::NotSupported;
    case QV_ERR_IDENTITY:
        return Fault::IdentityChanged;
    default:
        return Fault::Other;
    }
}

} // namespace orv::qv
