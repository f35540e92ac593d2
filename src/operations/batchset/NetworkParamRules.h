#pragma once
// The Network sub-page's rules that need no window: the dynamic-DNS
// providers, the provider a camera's settings name, and the checks that
// turn the fields into port and DDNS settings.

#include "device/DeviceSession.h"
#include "device/DriverSet.h"
#include "operations/common/Message.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orv::batchset {

inline constexpr Message kHttpPortEmpty{L"90016", L"HTTP Port Field can't be empty."};
inline constexpr Message kRtspPort1Empty{L"90017", L"RTSP Port1 Field can't be empty."};
inline constexpr Message kRtspPort2Empty{L"90018", L"RTSP Port2 can't be empty."};
inline constexpr Message kOnvifPortEmpty{L"90019", L"ONVIF Port Field can't be empty."};
inline constexpr Message kSamePort{L"90020", L"Can not use the same port."};
inline constexpr Message kDdnsUserEmpty{L"90021", L"User Field can't be empty."};
inline constexpr Message kDdnsPasswordEmpty{L"90022", L"Password Field can't be empty."};
inline constexpr Message kDdnsHostEmpty{L"90023", L"Host Field can't be empty."};
inline constexpr Message kDdnsHashEmpty{L"90024", L"Hash Field can't be empty."};
// The labels of the DDNS texts, for a message that names one.
inline constexpr Message kDdnsUserLabel{L"50008", L"Username:"};
inline constexpr Message kDdnsPasswordLabel{L"50009", L"Password:"};
inline constexpr Message kDdnsHostLabel{L"50010", L"Host Name:"};
inline constexpr Message kDdnsHashLabel{L"50011", L"Hash:"};

// A provider as the list shows it and as a camera's settings name it; the
// record text is always contained in the list text.
struct DdnsProvider {
    const wchar_t* listText;
    const char* recordText;
};
inline constexpr int kProviderCount = 4;
// The entry whose update protocol needs a hash besides user and password.
inline constexpr int kHashProvider = 1;
extern const std::array<DdnsProvider, kProviderCount> kProviders;

// The first of entries 0 to 2 whose list text contains the record text
// (case-sensitive); entry 3 otherwise. An empty text gives entry 0.
int ProviderIndexFor(const std::wstring& recordText);

// The port fields as typed, untrimmed.
struct PortForm {
    std::wstring http;
    std::wstring onvif;
    std::wstring rtsp1;
    std::wstring rtsp2;
};

struct DdnsForm {
    bool enable = false;
    int provider = 0; // list selection; beyond 2 counts as entry 3
    std::wstring user;
    std::wstring password;
    std::wstring host;
    std::wstring hash;
};

// The settings of one save, or the message of the first failed check. Empty
// fields are checked in the order HTTP, RTSP 1, RTSP 2, ONVIF; then any two
// equal ports; there is no range check. The DDNS texts are checked only when
// DDNS is enabled, the hash only for the provider that needs one. A DDNS
// text that not every driver in `drivers` takes whole is refused
// (kTooLongForCamera, `field` naming it) rather than sent empty; an unused
// hash that does not fit goes out empty.
struct NetworkParams {
    device::PortSettings ports;
    device::DdnsSettings ddns;
    std::optional<Message> error;
    std::optional<Message> field;
};
NetworkParams CheckNetworkParams(const PortForm& ports, const DdnsForm& ddns,
                                 const device::CDriverSet& drivers);
// The two halves of those checks, each on its own; `error` set as above and
// the other settings left empty.
NetworkParams CheckPorts(const PortForm& ports);
NetworkParams CheckDdns(const DdnsForm& ddns, const device::CDriverSet& drivers);

// A checked-mode Save changes only what the installer touched: a port
// whose text differs from what the page showed and is not empty, a DDNS
// field that differs. Every other value stays as each camera has it, so
// one Save over a hundred cameras never moves what nobody meant to move.
struct PortChange {
    std::optional<std::int32_t> http;
    std::optional<std::int32_t> onvif;
    std::optional<std::int32_t> rtsp1;
    std::optional<std::int32_t> rtsp2;
    bool Any() const { return http || onvif || rtsp1 || rtsp2; }
};
struct DdnsChange {
    device::DdnsSettings settings; // the form's, checked
    bool enable = false;
    bool provider = false;
    bool user = false;
    bool password = false;
    bool host = false;
    bool hash = false;
    bool Any() const { return enable || provider || user || password || host || hash; }
};
struct CheckedChange {
    PortChange ports;
    DdnsChange ddns;
    std::optional<Message> error;
    std::optional<Message> field;
};
// `shown`: the fields as the page last filled them; `typed`: as they are.
// Two touched ports that are equal give kSamePort; the DDNS fields are
// checked as in CheckDdns once any of them was touched.
CheckedChange CheckChanges(const PortForm& shown, const PortForm& typed, const DdnsForm& shownDdns,
                           const DdnsForm& typedDdns, const device::CDriverSet& drivers);
// A camera's own ports with the change made; "HTTP 554 = RTSP1" when two
// would then be equal (the camera keeps its ports).
std::string ApplyPortChange(device::PortSettings& camera, const PortChange& change);
void ApplyDdnsChange(device::DdnsSettings& camera, const DdnsChange& change);

} // namespace orv::batchset
