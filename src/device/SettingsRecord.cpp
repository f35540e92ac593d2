#include "SettingsRecord.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cmath>
#include <utility>

namespace orv::device {

namespace {

constexpr std::array<std::pair<Setting, std::string_view>, 14> kSettingNames = {{
    {Setting::Name, "name"},
    {Setting::Password, "password"},
    {Setting::Time, "time"},
    {Setting::Ports, "ports"},
    {Setting::Ddns, "ddns"},
    {Setting::PrimaryStream, "stream.primary"},
    {Setting::SecondaryStream, "stream.secondary"},
    {Setting::Image, "image"},
    {Setting::Picture, "picture"},
    {Setting::Address, "address"},
    {Setting::Firmware, "firmware"},
    {Setting::Oem, "oem"},
    {Setting::Reboot, "reboot"},
    {Setting::Restore, "restore"},
}};

std::string text(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<QJsonObject> objectOf(std::string_view record) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(record.data(), static_cast<qsizetype>(record.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

// Reads the keys a record holds into a copy of the target; a key of the
// wrong type spoils the whole record.
class Overlay {
public:
    explicit Overlay(const QJsonObject& object) : m_object(object) {}
    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }

    void Int(const char* key, int& into, int low, int high) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        const double d = v.toDouble(low - 1.0);
        // In range before it is made an int: a huge number does not fit one.
        if (!v.isDouble() || !(d >= low && d <= high) || d != std::floor(d)) {
            m_ok = false;
            return;
        }
        into = static_cast<int>(d);
    }
    void Bool(const char* key, bool& into) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        m_ok = m_ok && v.isBool();
        into = v.toBool(into);
    }
    void Text(const char* key, QString& into) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        m_ok = m_ok && v.isString();
        into = v.toString(into);
    }
    template <class E, std::size_t N>
    void Enum(const char* key, E& into, const std::array<std::pair<E, const char*>, N>& names) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        for (const auto& [value, name] : names) {
            if (v.toString() == QLatin1String(name)) {
                into = value;
                return;
            }
        }
        m_ok = false;
    }
    void Address(const char* key, std::uint32_t& into) {
        QString dotted;
        Text(key, dotted);
        if (dotted.isEmpty()) {
            return;
        }
        const std::optional<std::uint32_t> parsed = ParseIpv4(dotted.toStdString());
        m_ok = m_ok && parsed.has_value();
        into = parsed.value_or(into);
    }

private:
    const QJsonObject& m_object;
    bool m_ok = true;
};

template <class E, std::size_t N>
QString nameOf(E value, const std::array<std::pair<E, const char*>, N>& names) {
    for (const auto& [v, name] : names) {
        if (v == value) {
            return QLatin1String(name);
        }
    }
    return {};
}

template <class T, class Fill>
bool overlay(std::string_view record, T& into, Fill fill) {
    const std::optional<QJsonObject> object = objectOf(record);
    if (!object) {
        return false;
    }
    T copy = into;
    Overlay o(*object);
    fill(o, copy);
    if (!o.Ok()) {
        return false;
    }
    into = std::move(copy);
    return true;
}

constexpr std::array<std::pair<VideoCodec, const char*>, 4> kCodecs = {{
    {VideoCodec::H264, "H.264"},
    {VideoCodec::Mpeg4, "MPEG-4"},
    {VideoCodec::Mjpeg, "MJPEG"},
    {VideoCodec::Other, "other"},
}};
constexpr std::array<std::pair<RateControl, const char*>, 2> kRates = {{
    {RateControl::Constant, "constant"},
    {RateControl::Variable, "variable"},
}};
constexpr std::array<std::pair<IrCutMode, const char*>, 3> kIrCut = {{
    {IrCutMode::Night, "night"},
    {IrCutMode::Day, "day"},
    {IrCutMode::Auto, "auto"},
}};
constexpr std::array<std::pair<LocalDisplay, const char*>, 3> kDisplays = {{
    {LocalDisplay::Off, "off"},
    {LocalDisplay::Ntsc, "NTSC"},
    {LocalDisplay::Pal, "PAL"},
}};

constexpr int kMaxPort = 65535;
constexpr int kMaxMeasure = 1 << 20; // sizes, rates and intervals: sane, not exact

} // namespace

std::string_view SettingName(Setting setting) {
    for (const auto& [s, name] : kSettingNames) {
        if (s == setting) {
            return name;
        }
    }
    return {};
}

std::optional<Setting> SettingOf(std::string_view name) {
    for (const auto& [s, n] : kSettingNames) {
        if (n == name) {
            return s;
        }
    }
    return std::nullopt;
}

bool Undoable(Setting setting) {
    switch (setting) {
    case Setting::Name:
    case Setting::Time:
    case Setting::Ports:
    case Setting::Ddns:
    case Setting::PrimaryStream:
    case Setting::SecondaryStream:
    case Setting::Image:
    case Setting::Picture:
    case Setting::Address:
        return true;
    case Setting::Password:
    case Setting::Firmware:
    case Setting::Oem:
    case Setting::Reboot:
    case Setting::Restore:
        return false;
    }
    return false;
}

std::string RecordOf(const QString& name) {
    return text({{"name", name}});
}

std::string RecordOf(const TimeSettings& time) {
    return text({{"useTimeServer", time.useTimeServer},
                 {"timeServer", time.timeServer},
                 {"utcOffsetHours", time.utcOffsetHours}});
}

std::string RecordOf(const PortSettings& ports) {
    const Ports& p = ports.ports;
    return text({{"http", p.http}, {"onvif", p.onvif}, {"rtsp", p.rtsp}, {"rtsp2", p.rtsp2}});
}

std::string RecordOf(const DdnsSettings& ddns) {
    return text({{"enabled", ddns.enabled},
                 {"provider", ddns.provider},
                 {"user", ddns.user},
                 {"host", ddns.host},
                 {"hash", ddns.hash}});
}

std::string RecordOf(const StreamSettings& stream) {
    return text({{"enabled", stream.enabled},
                 {"codec", nameOf(stream.codec, kCodecs)},
                 {"width", stream.width},
                 {"height", stream.height},
                 {"frameRate", stream.frameRate},
                 {"bitRateKbps", stream.bitRateKbps},
                 {"rateControl", nameOf(stream.rateControl, kRates)},
                 {"iFrameInterval", stream.iFrameInterval}});
}

std::string RecordOf(const ImageSettings& image) {
    return text({{"powerLineHz", image.powerLineHz},
                 {"irCut", nameOf(image.irCut, kIrCut)},
                 {"localDisplay", nameOf(image.localDisplay, kDisplays)},
                 {"indoor", image.indoor},
                 {"exposureLevel", image.exposureLevel},
                 {"maxExposureTime", image.maxExposureTime}});
}

std::string RecordOf(const PictureSettings& picture) {
    return text({{"brightness", picture.brightness},
                 {"contrast", picture.contrast},
                 {"saturation", picture.saturation}});
}

std::string RecordOf(const AddressChange& address) {
    return text({{"address", Ipv4Text(address.address)},
                 {"netmask", Ipv4Text(address.netmask)},
                 {"gateway", Ipv4Text(address.gateway)},
                 {"dns", Ipv4Text(address.dns)},
                 {"http", address.httpPort},
                 {"name", address.name}});
}

SettingChange AddressChangeOf(const DeviceInfo& device, const AddressChange& change) {
    const AddressChange before{device.address, device.netmask,    device.gateway,
                               device.dns,     device.ports.http, device.name};
    return {Setting::Address, RecordOf(before), RecordOf(change)};
}

std::string ChangeSummary(const std::optional<std::string>& before,
                          const std::optional<std::string>& after) {
    const QJsonObject a = before ? objectOf(*before).value_or(QJsonObject()) : QJsonObject();
    const QJsonObject b = after ? objectOf(*after).value_or(QJsonObject()) : QJsonObject();
    QStringList keys = a.keys() + b.keys();
    keys.removeDuplicates();
    const auto show = [](const QJsonObject& o, bool known, const QString& key) -> QString {
        const QJsonValue v = o.value(key);
        if (!known || v.isUndefined()) {
            return QStringLiteral("?");
        }
        if (v.isBool()) {
            return v.toBool() ? QStringLiteral("on") : QStringLiteral("off");
        }
        if (v.isDouble()) {
            return QString::number(v.toDouble());
        }
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    };
    QStringList parts;
    for (const QString& key : keys) {
        if (a.value(key) != b.value(key) || !before || !after) {
            parts << key + QLatin1Char(' ') + show(a, before.has_value(), key) +
                         QStringLiteral(" \u2192 ") + show(b, after.has_value(), key);
        }
    }
    return parts.join(QStringLiteral(", ")).toStdString();
}

bool ReadRecord(std::string_view record, QString& into) {
    return overlay(record, into, [](Overlay& o, QString& n) { o.Text("name", n); });
}

bool ReadRecord(std::string_view record, TimeSettings& into) {
    return overlay(record, into, [](Overlay& o, TimeSettings& t) {
        o.Bool("useTimeServer", t.useTimeServer);
        o.Text("timeServer", t.timeServer);
        o.Int("utcOffsetHours", t.utcOffsetHours, -12, 12);
    });
}

bool ReadRecord(std::string_view record, PortSettings& into) {
    return overlay(record, into, [](Overlay& o, PortSettings& s) {
        o.Int("http", s.ports.http, 0, kMaxPort);
        o.Int("onvif", s.ports.onvif, 0, kMaxPort);
        o.Int("rtsp", s.ports.rtsp, 0, kMaxPort);
        o.Int("rtsp2", s.ports.rtsp2, 0, kMaxPort);
    });
}

bool ReadRecord(std::string_view record, DdnsSettings& into) {
    return overlay(record, into, [](Overlay& o, DdnsSettings& d) {
        o.Bool("enabled", d.enabled);
        o.Text("provider", d.provider);
        o.Text("user", d.user);
        o.Text("host", d.host);
        o.Text("hash", d.hash);
    });
}

bool ReadRecord(std::string_view record, StreamSettings& into) {
    return overlay(record, into, [](Overlay& o, StreamSettings& s) {
        o.Bool("enabled", s.enabled);
        o.Enum("codec", s.codec, kCodecs);
        o.Int("width", s.width, 0, kMaxMeasure);
        o.Int("height", s.height, 0, kMaxMeasure);
        o.Int("frameRate", s.frameRate, 0, kMaxMeasure);
        o.Int("bitRateKbps", s.bitRateKbps, 0, kMaxMeasure);
        o.Enum("rateControl", s.rateControl, kRates);
        o.Int("iFrameInterval", s.iFrameInterval, 0, kMaxMeasure);
    });
}

bool ReadRecord(std::string_view record, ImageSettings& into) {
    return overlay(record, into, [](Overlay& o, ImageSettings& i) {
        o.Int("powerLineHz", i.powerLineHz, 50, 60);
        if (i.powerLineHz != 50 && i.powerLineHz != 60) {
            o.Fail(); // mains run at one or the other
        }
        o.Enum("irCut", i.irCut, kIrCut);
        o.Enum("localDisplay", i.localDisplay, kDisplays);
        o.Bool("indoor", i.indoor);
        o.Int("exposureLevel", i.exposureLevel, 0, 10);
        o.Int("maxExposureTime", i.maxExposureTime, 0, 4);
    });
}

bool ReadRecord(std::string_view record, PictureSettings& into) {
    return overlay(record, into, [](Overlay& o, PictureSettings& p) {
        o.Int("brightness", p.brightness, 0, 255);
        o.Int("contrast", p.contrast, 0, 255);
        o.Int("saturation", p.saturation, 0, 255);
    });
}

bool ReadRecord(std::string_view record, AddressChange& into) {
    return overlay(record, into, [](Overlay& o, AddressChange& a) {
        o.Address("address", a.address);
        o.Address("netmask", a.netmask);
        o.Address("gateway", a.gateway);
        o.Address("dns", a.dns);
        o.Int("http", a.httpPort, 0, kMaxPort);
        o.Text("name", a.name);
    });
}

} // namespace orv::device
