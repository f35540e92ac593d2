#pragma once
// One camera as every list, job and page sees it, whatever protocol found
// it. Texts are already decoded (the protocol's own code pages stay in its
// driver); addresses are host-order IPv4 numbers.

#include "Capabilities.h"
#include "DeviceId.h"

#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::device {

// The protocols a camera answered. A camera reached two ways carries both.
enum class Protocol : std::uint8_t { Maker = 1, Onvif = 2 };

struct ServiceAddress {
    Protocol protocol = Protocol::Maker;
    // Where its driver reaches the camera: "http://192.0.2.10:80", an ONVIF
    // device service address.
    QString address;
    // The protocol's own id of the camera (the maker's 8-byte device id in
    // hex, an ONVIF endpoint reference); empty where it has none.
    QString endpoint;
    bool operator==(const ServiceAddress&) const = default;
};

struct Ports {
    int http = 0;
    int onvif = 0;
    int rtsp = 0;
    int rtsp2 = 0;
    bool operator==(const Ports&) const = default;
};

struct DeviceInfo {
    DeviceId id;
    std::optional<MacAddress> mac;
    QString name;
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    Ports ports;
    QString manufacturer;
    // The model the camera reports (what firmware images name) and, where it
    // differs, the model it shows to people.
    QString model;
    QString displayModel;
    QString firmware;
    // Implicitly shared: every page's list keeps its own copy of a camera,
    // and a copy costs a reference count, not an allocation.
    QList<ServiceAddress> services;
    Capabilities capabilities;
    // When it last answered, on the steady clock of this process.
    std::chrono::steady_clock::time_point lastAnswer{};
    // The identity an earlier answer gave this camera, where it has learned
    // a better one since (an ONVIF endpoint, before the camera told its
    // MAC): a list shows the camera on one row, under `id`.
    DeviceId formerId;

    bool Speaks(Protocol p) const;
    const ServiceAddress* Service(Protocol p) const;
    // The model to show: the display model where there is one.
    const QString& ShownModel() const { return displayModel.isEmpty() ? model : displayModel; }
    // The dotted address.
    QString AddressText() const;
    // "00:11:22:33:44:55", or the protocol's id where the MAC is unknown:
    // what a log line or a result row names the camera by.
    std::string MacText() const;
};

// `known` brought up to date by a later answer of the same camera, perhaps
// through another protocol: every protocol's address is kept, and what the
// maker's discovery said of a camera (it carries every value without a
// login) stays while only ONVIF answers in between. What the camera can
// do is what any of its protocols can.
DeviceInfo MergeAnswer(const DeviceInfo& known, const DeviceInfo& answer);

// Whether two answers tell the same, whenever they came.
bool SameValues(const DeviceInfo& a, const DeviceInfo& b);

// "192.0.2.10" for a host-order address.
QString Ipv4Text(std::uint32_t address);
// The host-order address of a dotted quad; nullopt for anything else.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

} // namespace orv::device
