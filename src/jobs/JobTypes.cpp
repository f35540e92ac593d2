#include "JobTypes.h"

#include "qvipcsdk/QvIpcSdk.h"

#include <cmath>

namespace orv::jobs {

std::string ReasonText(Reason reason, double seconds) {
    switch (reason) {
    case Reason::None:
        return {};
    case Reason::WrongCredentials:
        return "wrong user name or password";
    case Reason::NoAnswer:
        return "no answer within " + std::to_string(std::max(1L, std::lround(seconds))) + " s";
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
    case Reason::Other:
        break;
    }
    return "failed";
}

Reason ReasonForSdkError(int error, bool upload) {
    switch (error) {
    case QV_ERR_AUTH:
        return Reason::WrongCredentials;
    case QV_ERR_TIMEOUT:
        return Reason::NoAnswer;
    case QV_ERR_NETWORK:
        return Reason::Unreachable;
    case QV_ERR_REJECTED:
        return upload ? Reason::FileRejected : Reason::Refused;
    case QV_ERR_FILE:
        return Reason::FileUnreadable;
    case QV_ERR_DEVICE:
        return Reason::DeviceFault;
    case QV_ERR_MALFORMED:
        return Reason::BadAnswer;
    default:
        return Reason::Other;
    }
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
