#pragma once
// A camera's settings kept in the site's book, and given back. A backup is
// a job that reads every setting a camera can tell and keeps each as a
// change with its value and nothing after; a camera's known settings are,
// per setting, the last value the book saw it hold (a backup's, or a job's
// before or after). Restoring gives them to the camera, or to the camera
// that replaced it, each laid over what that camera holds now; addresses
// stay as they are (a replacement is moved to its place by address plan).

#include "Undo.h"

namespace orv::history {

inline constexpr const char* kBackupOperation = "Backup";

// The job that keeps every setting of `targets` in the book.
jobs::JobSpec BackupJob(std::vector<device::DeviceInfo> targets,
                        const device::Credentials& credentials);

// The last value of each setting the book saw `camera` hold; `changes` are
// the camera's, oldest first. No settings: the book knows none.
UndoCamera KnownSettings(const std::string& camera, const std::vector<site::ChangeEntry>& changes);

// The job that gives `target` the settings `known` holds.
jobs::JobSpec RestoreJob(const UndoCamera& known, const device::DeviceInfo& target,
                         const device::Credentials& credentials);

} // namespace orv::history
