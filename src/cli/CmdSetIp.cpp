// set-ip: an address plan applied through discovery, as the Network Settings
// page changes one camera, then checked: every moved camera must answer
// discovery at its new address. Nothing is sent unless every row of the
// plan is sound, matches a camera that answered, and aims at an address
// that nobody holds (no other camera, no host answering an ARP probe from
// the camera's adapter, not this computer).

#include "ArpProbe.h"
#include "Session.h"
#include "file/RegularFile.h"
#include "operations/network/AddressPlan.h"

#include <cstdio>
#include <cstring>

namespace orv::cli {
namespace {

constexpr const char* kVerifyOperation = "Verify Address";

bool sameNetwork(const device::DeviceInfo& seen, const device::AddressChange& change) {
    return seen.address == change.address && seen.netmask == change.netmask &&
           seen.gateway == change.gateway && seen.ports.http == change.httpPort;
}

std::vector<std::string> entryRow(const plan::PlanEntry& e) {
    const std::string state = e.state == plan::RowState::Matched
                                  ? (e.changes ? "change" : "unchanged")
                              : e.state == plan::RowState::Missing ? "missing"
                                                                   : "conflicting";
    std::vector<std::string> row = {std::to_string(e.row.line), plan::MacText(e.row.mac),
                                    e.camera ? e.camera->AddressText().toStdString() : "", state};
    if (e.request) {
        const device::AddressChange& c = e.request->change;
        for (const QString& cell :
             {device::Ipv4Text(c.address), device::Ipv4Text(c.netmask), device::Ipv4Text(c.gateway),
              QString::number(c.httpPort), c.name}) {
            row.push_back(cell.toStdString());
        }
    } else {
        row.push_back(e.reason);
    }
    return row;
}

} // namespace

int RunSetIp(const Command& command, const Options& options) {
    if (!options.Has("plan")) {
        return BadInput("set-ip needs --plan FILE");
    }
    const std::string file = options.Value("plan");
    const FileContent content = ReadRegularFile(file, plan::kMaxPlanBytes + 1);
    if (content.error != FileError::None) {
        return BadInput(file + ": " + std::string(Describe(content.error)));
    }
    std::string error;
    const std::optional<int> verifySeconds = options.Number("verify-seconds", 20, 1, 600, error);
    if (!verifySeconds) {
        return BadInput(error);
    }
    // Before discovery: the drivers judge the plan's names.
    CSession session(command, options);
    if (const int status = session.Begin(); status != kExitOk) {
        return status;
    }
    const plan::Plan plan = plan::ReadPlan(content.bytes, session.Drivers());
    if (!plan.problems.empty()) {
        for (const plan::PlanProblem& p : plan.problems) {
            Note(plan::ProblemText(file, p));
        }
        return BadInput("the plan is refused; nothing was sent");
    }
    if (const int status = session.Discover(); status != kExitOk) {
        return status;
    }
    std::vector<jobs::OperationResult> results;
    if (const std::optional<int> end = MoveByPlan(session, plan, file, *verifySeconds, results)) {
        return *end;
    }
    return session.Finish(results);
}

std::optional<int> MoveByPlan(CSession& session, const plan::Plan& plan, const std::string& file,
                              int verifySeconds, std::vector<jobs::OperationResult>& results,
                              const std::string& jobName, std::int64_t undoes) {
    const Options& options = session.Opts();
    const plan::PlanLogin login{session.LoginData().user, session.LoginData().password};
    std::vector<plan::PlanEntry> entries =
        plan::MatchPlan(plan, session.Devices(), login, session.Drivers());

    // Each target address is probed from the adapter its camera answered on.
    std::map<std::string, std::vector<std::string>> probes;
    for (const plan::PlanEntry& e : entries) {
        const std::vector<std::string> one = plan::AddressesToProbe({e});
        const SeenCamera* seen = e.camera ? session.Discovery().Find(e.camera->id) : nullptr;
        if (!one.empty() && seen != nullptr && !seen->adapters.empty()) {
            probes[seen->adapters.front()].push_back(one.front());
        }
    }
    plan::AddressesInUse inUse;
    for (const auto& [adapter, addresses] : probes) {
        const ProbeResult probe =
            ProbeAddresses(adapter, session.Discovery().AdapterNamed(adapter)->mac, addresses);
        if (!probe.error.empty()) {
            Note(probe.error);
            return BadInput("the plan's addresses cannot be checked; nothing was sent");
        }
        inUse.insert(probe.inUse.begin(), probe.inUse.end());
    }
    entries = plan::MatchPlan(plan, session.Devices(), login, session.Drivers(), inUse);

    bool refused = false;
    for (const plan::PlanEntry& e : entries) {
        if (e.state != plan::RowState::Matched) {
            refused = true;
            Note(plan::ProblemText(file, {e.row.line, plan::MacText(e.row.mac), e.reason}));
        }
    }
    if (refused || options.Has("dry-run")) {
        std::vector<std::vector<std::string>> rows = {
            {"Line", "MAC", "Now", "Plan", "IP", "Netmask", "Gateway", "Port", "Name"}};
        for (const plan::PlanEntry& e : entries) {
            rows.push_back(entryRow(e));
        }
        std::fputs(Table(rows).c_str(), refused ? stderr : stdout);
        Note(refused ? "the plan is refused; nothing was sent" : "dry run: nothing was sent");
        return refused ? kExitBadInput : kExitOk;
    }

    std::unordered_map<device::DeviceId, plan::PlanEntry, device::DeviceIdHash> planned;
    jobs::JobSpec order;
    order.name = jobName;
    order.undoes = undoes;
    order.probe = false;
    order.operations = {network::kModifyOperation};
    order.credentials = session.LoginData().credentials;
    for (const plan::PlanEntry& e : entries) {
        planned.emplace(e.camera->id, e);
        order.targets.push_back(*e.camera);
    }
    CCliDiscovery& discovery = session.Discovery();
    order.work = [&planned, &discovery](jobs::CameraRun& run) {
        const device::DeviceId key = run.Device().id;
        const plan::PlanEntry& e = planned.at(key);
        if (!e.changes) {
            run.Report(network::kModifyOperation, device::Done{});
            return;
        }
        discovery.Waiter().Expect(key);
        if (const device::Status sent = discovery.Modify(*e.request); !sent) {
            run.Report(network::kModifyOperation, sent);
            return;
        }
        network::ReportModifyOutcome(discovery.Waiter(), run, e.request->change);
    };
    std::vector<jobs::OperationResult> ran = session.Run(std::move(order));

    // Every moved camera must be heard at its new place.
    std::vector<jobs::OperationResult> moved;
    for (const jobs::OperationResult& r : ran) {
        if (r.outcome == jobs::Outcome::Succeeded && planned.at(r.device.id).changes) {
            moved.push_back(r);
        }
    }
    const auto seenAtTarget = [&](const jobs::OperationResult& r) {
        const SeenCamera* seen = discovery.Find(r.device.id);
        return seen != nullptr &&
               sameNetwork(seen->device, planned.at(r.device.id).request->change);
    };
    const auto verifyStart = std::chrono::steady_clock::now();
    if (!moved.empty()) {
        Note("waiting for " + std::to_string(moved.size()) +
             " moved camera(s) to answer at their new addresses");
        discovery.RunFor(std::chrono::seconds(verifySeconds),
                         [&] { return std::all_of(moved.begin(), moved.end(), seenAtTarget); });
    }
    for (jobs::OperationResult r : moved) {
        const bool seen = seenAtTarget(r);
        r.operation = kVerifyOperation;
        r.outcome = seen ? jobs::Outcome::Succeeded : jobs::Outcome::Failed;
        r.reason = seen ? jobs::Reason::None : jobs::Reason::NotSeen;
        r.seconds = verifySeconds;
        if (seen) {
            const SeenCamera* at = discovery.Find(r.device.id);
            r.device = at->device;
            r.seconds = std::chrono::duration<double>(at->lastSeen - verifyStart).count();
        }
        ran.push_back(r);
    }
    results.insert(results.end(), ran.begin(), ran.end());
    return std::nullopt;
}

} // namespace orv::cli
