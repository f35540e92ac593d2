#pragma once
// What a job reports: per camera and operation, whether it worked and, when
// not, why, in words an installer can act on.

#include "device/DeviceInfo.h"
#include "device/DeviceResult.h"
#include "device/SettingsRecord.h"

#include <QMetaType>

#include <cstdint>
#include <string>
#include <vector>

namespace orv::jobs {

using JobId = std::uint64_t;

enum class Outcome { Succeeded, Failed, Cancelled };

enum class Reason {
    None,
    WrongCredentials, // the camera refused the user name or password
    NoAnswer,         // nothing, or nothing complete, in time
    Unreachable,      // connection refused, reset or cut
    Refused,          // the camera refused the value
    FileRejected,     // an upload the camera refused
    FileUnreadable,   // the file could not be read while sending it
    DeviceFault,      // the camera reported an internal failure
    BadAnswer,        // an answer that is not the documented one
    Cancelled,        // the job was cancelled before this camera's turn
    NotSeen,          // a moved camera did not answer discovery at its new address
    ModelMismatch,    // the file is not made for the camera's model; `detail` names both
    SamePort,         // with the camera's own other ports, two would be the same
    NotSupported,     // the camera cannot do the operation at all
    IdentityChanged,  // the camera showed another key than it was trusted by; `detail`: since
    NotEncrypted,     // a secret not sent over a connection without encryption
    NoValueBefore,    // an undo of a change whose value before was never read
    NotStarted,       // the job stopped after too many failures; `detail`: how many
    NotBack,          // an image taken, the camera not back in time; `detail`: the limit in s
    NotKept,          // a new password not kept, so not sent; `detail`: why
    Other,
};

// "Succeeded", "Failed", "Cancelled": the outcome's word in the log and
// the site's book, never translated.
const char* OutcomeWord(Outcome outcome);

// "wrong user name or password", "no answer within 2.5 s", ... For
// NoAnswer and NotSeen `seconds` is the time limit that ran out, so the same
// limit reads the same on every camera. `detail` completes the reasons that
// name something of their own.
std::string ReasonText(Reason reason, double seconds = 0, const std::string& detail = {});
// The reason a device fault gives a camera's result.
Reason ReasonOf(device::Fault fault);

// One operation on one camera.
struct OperationResult {
    JobId job = 0;
    device::DeviceInfo device; // as it was targeted
    std::string operation;     // the operation's words, "Modify Port"
    Outcome outcome = Outcome::Succeeded;
    Reason reason = Reason::None;
    double seconds = 0; // from the camera's turn to this result
    std::string detail; // what ModelMismatch and SamePort name
    // NoAnswer: the time limit that ran out, where the driver named it.
    double limitSeconds = 0;
    // What the operation's calls changed on the camera, with the values
    // before: the site's history and its undo.
    std::vector<device::SettingChange> changes;
};
std::string ReasonText(const OperationResult& result);

// The summary line of a job in checked mode, per operation.
struct OperationTally {
    std::string operation;
    int succeeded = 0;
    int failed = 0;
    int cancelled = 0;
};
std::vector<OperationTally> Tally(const std::vector<OperationResult>& results);

// A job's cameras by their overall outcome: a camera failed when any of its
// operations failed, was cancelled when none failed and one was cancelled,
// and succeeded when all of them did.
struct CameraTally {
    int cameras = 0;
    int succeeded = 0;
    int failed = 0;
    int cancelled = 0;
};
CameraTally TallyCameras(const std::vector<OperationResult>& results);

} // namespace orv::jobs

Q_DECLARE_METATYPE(orv::jobs::OperationResult)
