// Any bytes as an address plan: the reader names a line inside the file for
// every fault, a plan it accepts holds only checked rows, and matching it
// against cameras keeps one entry per row and one matched row per address.

#include "MakerDrivers.h"
#include "operations/network/AddressPlan.h"
#include "operations/network/NetworkRules.h"
#include "protocols/qv/QvRecords.h"
#include "text/TextConv.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::vector<orv::device::DeviceInfo> cameras() {
    std::vector<orv::device::DeviceInfo> list;
    for (int n = 1; n <= 4; ++n) {
        tagQvIpcInfo c{};
        const std::uint8_t mac[6] = {0x02, 0x4F, 0x56, 0x10, 0x00, static_cast<std::uint8_t>(n)};
        std::copy(std::begin(mac), std::end(mac), c.Mac);
        std::snprintf(c.IpAddr, sizeof c.IpAddr, "192.0.2.%d", 10 + n);
        std::snprintf(c.NetMask, sizeof c.NetMask, "255.255.255.0");
        std::snprintf(c.Gateway, sizeof c.Gateway, "192.0.2.1");
        c.HttpPort = 80;
        list.push_back(orv::qv::DeviceOf(c, {}));
    }
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv::plan;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Plan plan = ReadPlan(text, MakerDrivers());
    // A line ends at LF, CR LF or a lone CR.
    long lines = 1 + std::count(text.begin(), text.end(), '\n');
    for (std::size_t cr = text.find('\r'); cr != std::string_view::npos;
         cr = text.find('\r', cr + 1)) {
        lines += cr + 1 == text.size() || text[cr + 1] != '\n';
    }
    for (const PlanProblem& p : plan.problems) {
        check(p.line >= 0 && p.line <= lines && !p.text.empty());
    }
    if (!plan.problems.empty()) {
        return 0;
    }
    check(!plan.rows.empty());
    std::set<Mac> macs;
    for (const PlanRow& row : plan.rows) {
        check(row.line >= 2 && row.line <= lines && macs.insert(row.mac).second);
        check(row.ip.empty() || orv::network::IsValidAddress(orv::FromUtf8(row.ip)));
        check(ReadMac(MacText(row.mac)) == row.mac);
    }
    const std::vector<PlanEntry> entries =
        MatchPlan(plan, cameras(), {L"admin", L"pw"}, MakerDrivers());
    check(entries.size() == plan.rows.size());
    std::set<std::string> targets;
    for (const PlanEntry& e : entries) {
        check((e.state == RowState::Matched) == e.reason.empty());
        if (e.state == RowState::Matched) {
            check(e.request &&
                  targets.insert(orv::device::Ipv4Text(e.request->change.address).toStdString())
                      .second);
        }
    }
    return 0;
}
