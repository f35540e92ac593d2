#pragma once

// Opening an adapter for discovery frames, shared by the library and the
// camera simulator so that both ends capture the same way.

#include "qvsp/wire/Frame.h"

#include <pcap/pcap.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qvsp::wire {

struct PcapCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};
using PcapPtr = std::unique_ptr<pcap_t, PcapCloser>;

struct CaptureOptions {
    std::string filter;       // compiled as given; empty means no filter
    bool inboundOnly = false; // leave out the frames this host sends
};

// Why an adapter could not be opened, for callers that tell the user.
enum class OpenFailure { None, NoDevice, NoPermission, Other };

// Opens `device` promiscuous, in immediate mode and non-blocking. On failure
// returns null, says why in `error` and, when asked, classifies it in `why`.
PcapPtr openCapture(const std::string& device, const CaptureOptions& options, std::string& error,
                    OpenFailure* why = nullptr);

// Sends one frame; false when the adapter refused it.
bool sendFrame(pcap_t* pcap, const FrameBytes& bytes);

struct AdapterInfo {
    std::string name;
    std::string description;
    MacAddress mac{};
};

// Adapters with a MAC address of their own; loopback, "any" and the other
// pseudo-devices have none and are left out.
std::vector<AdapterInfo> listAdapters();
std::optional<MacAddress> adapterMac(const std::string& name);

} // namespace qvsp::wire
