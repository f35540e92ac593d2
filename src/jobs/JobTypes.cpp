#include "JobTypes.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace orv::jobs {

namespace {

// "2.5", "5": a limit in seconds as a person writes it.
std::string secondsText(double seconds) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "%.1f", seconds);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) {
        out.resize(out.size() - 2);
    }
    return out;
}

} // namespace

std::string ReasonText(const OperationResult& result) {
    // A wait the driver did not name is as long as the camera's turn took.
    const double limit = result.reason == Reason::NoAnswer && result.limitSeconds > 0
                             ? result.limitSeconds
                             : result.seconds;
    return ReasonText(result.reason, limit, result.detail);
}

const char* OutcomeWord(Outcome outcome) {
    switch (outcome) {
    case Outcome::Succeeded:
        return "Succeeded";
    case Outcome::Failed:
        return "Failed";
    case Outcome::Cancelled:
        return "Cancelled";
    }
    return "";
}

std::string ReasonText(Reason reason, double seconds, const std::string& detail) {
    switch (reason) {
    case Reason::None:
        return {};
    case Reason::WrongCredentials:
        return "wrong user name or password";
    case Reason::NoAnswer:
        return "no answer within " + secondsText(seconds) + " s";
    case Reason::Unreachable:
        return "connection refused or cut";
    case Reason::Refused:
        return "the camera refused the value";
    case Reason::FileRejected:
        return "file rejected by the camera";
    case Reason::FileUnreadable:
        return "the file could not be read";
    case Reason::DeviceFault:
        return "the camera reported an internal failure";
    case Reason::BadAnswer:
        return "the camera's answer was not understood";
    case Reason::Cancelled:
        return "cancelled";
    case Reason::NotSeen:
        return "not seen at its new address within " +
               std::to_string(std::max(1L, std::lround(seconds))) + " s";
    case Reason::ModelMismatch:
        return "not made for this camera's model: " + detail;
    case Reason::SamePort:
        return "two of the camera's ports would be the same: " + detail;
    case Reason::NotSupported:
        return "not supported by this camera";
    case Reason::IdentityChanged:
        return "the camera's identity changed since " + detail +
               "; if it was replaced or reset, trust it again";
    case Reason::NotEncrypted:
        return "not sent: the camera offers no encrypted connection";
    case Reason::NoValueBefore:
        return "its value before the job is not known";
    case Reason::NotBack:
        return "the camera took the image but did not answer again within " + detail + " s";
    case Reason::NotStarted:
        return "not started: the job stopped after " + detail + " failed cameras";
    case Reason::NotKept:
        return "the new password could not be kept, so the camera keeps its own (" + detail + ")";
    case Reason::Other:
        break;
    }
    return "failed";
}

Reason ReasonOf(device::Fault fault) {
    switch (fault) {
    case device::Fault::WrongCredentials:
        return Reason::WrongCredentials;
    case device::Fault::NoAnswer:
        return Reason::NoAnswer;
    case device::Fault::Unreachable:
        return Reason::Unreachable;
    case device::Fault::Refused:
        return Reason::Refused;
    case device::Fault::FileRejected:
        return Reason::FileRejected;
    case device::Fault::FileUnreadable:
        return Reason::FileUnreadable;
    case device::Fault::DeviceFault:
        return Reason::DeviceFault;
    case device::Fault::BadAnswer:
        return Reason::BadAnswer;
    case device::Fault::Cancelled:
        return Reason::Cancelled;
    case device::Fault::NotSupported:
        return Reason::NotSupported;
    case device::Fault::IdentityChanged:
        return Reason::IdentityChanged;
    case device::Fault::NotEncrypted:
        return Reason::NotEncrypted;
    case device::Fault::Other:
        break;
    }
    return Reason::Other;
}

std::vector<OperationTally> Tally(const std::vector<OperationResult>& results) {
    std::vector<OperationTally> tallies;
    for (const OperationResult& r : results) {
        auto it = std::find_if(tallies.begin(), tallies.end(),
                               [&](const OperationTally& t) { return t.operation == r.operation; });
        if (it == tallies.end()) {
            tallies.push_back({r.operation});
            it = tallies.end() - 1;
        }
        (r.outcome == Outcome::Succeeded ? it->succeeded
         : r.outcome == Outcome::Failed  ? it->failed
                                         : it->cancelled)++;
    }
    return tallies;
}

} // namespace orv::jobs

namespace orv::jobs {

CameraTally TallyCameras(const std::vector<OperationResult>& results) {
    // Worst outcome per camera, cameras counted in one pass.
    enum : int { kSucceeded, kCancelled, kFailed };
    std::unordered_map<device::DeviceId, int, device::DeviceIdHash> worst;
    for (const OperationResult& r : results) {
        const int outcome = r.outcome == Outcome::Failed      ? kFailed
                            : r.outcome == Outcome::Cancelled ? kCancelled
                                                              : kSucceeded;
        const auto [it, added] = worst.emplace(r.device.id, outcome);
        if (!added) {
            it->second = std::max(it->second, outcome);
        }
    }
    CameraTally tally;
    tally.cameras = static_cast<int>(worst.size());
    for (const auto& [key, outcome] : worst) {
        (outcome == kFailed      ? tally.failed
         : outcome == kCancelled ? tally.cancelled
                                 : tally.succeeded)++;
    }
    return tally;
}

} // namespace orv::jobs
