#pragma once
// Address plans: what an installer keeps in a spreadsheet when many cameras
// are commissioned at once. One CSV row per camera, keyed by its MAC, with
// the network settings it is to get; a blank field keeps the camera's own
// value. Reading checks every field with the Network Settings rules and the
// plan as a whole (one row per camera, one camera per address); matching
// sets the plan against the cameras that answered discovery: matched,
// missing, or conflicting with something that holds the address already.
// Plain code, shared by the command line and the window.

#include "device/DeviceInfo.h"
#include "device/DriverSet.h"
#include "operations/network/NetworkRules.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::plan {

inline constexpr std::size_t kMaxPlanBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxPlanRows = 5000;

using Mac = device::MacAddress;

using device::MacText;
using device::ReadMac;

struct PlanRow {
    int line = 0; // where the row starts in the file, from 1
    Mac mac{};
    // As written, trimmed; empty keeps the camera's value.
    std::string ip;
    std::string netmask;
    std::string gateway;
    std::string httpPort;
    std::string name; // UTF-8
};

// A line of the file and the column it concerns ("" for the whole row).
struct PlanProblem {
    int line = 0;
    std::string field;
    std::string text;
};

struct Plan {
    std::vector<PlanRow> rows;
    std::vector<PlanProblem> problems;
};

// Reads the CSV text: a header row naming the columns (mac, ip, netmask,
// gateway, http_port, name; the columns of the discovery list are allowed
// and ignored), then one row per camera; commas or semicolons; RFC 4180
// quoting; UTF-8 with or without a byte order mark.
// A name that not every driver in `drivers` takes whole is refused.
Plan ReadPlan(std::string_view text, const device::CDriverSet& drivers);

// "plan.csv:4: ip: Invalid IP address."
std::string ProblemText(const std::string& file, const PlanProblem& problem);

enum class RowState { Matched, Missing, Conflicting };

struct PlanEntry {
    PlanRow row;
    RowState state = RowState::Missing;
    std::optional<device::DeviceInfo> camera; // as it answered
    // Matched: the modify request, and whether it changes anything.
    std::optional<network::ModifyRequest> request;
    bool changes = false;
    std::string reason; // why not matched
};

// Addresses found in use, with who holds each ("this computer", a MAC).
using AddressesInUse = std::map<std::string, std::string>;

// The default user name and password every modify request carries; the
// drivers' fields they and the planned names must fit.
struct PlanLogin {
    std::wstring user;
    std::wstring password;
};

std::vector<PlanEntry> MatchPlan(const Plan& plan, const std::vector<device::DeviceInfo>& cameras,
                                 const PlanLogin& login, const device::CDriverSet& drivers,
                                 const AddressesInUse& inUse = {});

// The target addresses of matched rows that move their camera: the ones to
// look for on the network before anything is sent.
std::vector<std::string> AddressesToProbe(const std::vector<PlanEntry>& entries);

// A camera list as it is exported: name, mac, ip, netmask, gateway,
// http_port, model, display_model, version, adapter. Its CSV reads back as
// an address plan, so an installer edits the list into one.
extern const std::vector<std::string> kListColumns;
std::vector<std::string> ListCells(const device::DeviceInfo& device, const std::string& adapters);
// How a camera is reached, for files and the command line: "native",
// "onvif" or "native+onvif" (a plan reads the column past).
std::string ProtocolCell(const device::DeviceInfo& device);
// The header and one CSV row per camera (RFC 4180, UTF-8).
std::string ListCsv(const std::vector<std::vector<std::string>>& rows);

} // namespace orv::plan
