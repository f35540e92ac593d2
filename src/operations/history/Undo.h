#pragma once
// Putting a job's changes back. From the job's history, each camera gets
// back the value every setting had before the job: the setting is read,
// the value before laid over it and sent, so what the job did not touch
// (and what a camera hands back unread) stays as it is now. Only changes
// that succeeded are undone; a password, a firmware image or a factory
// restore cannot be. An address is put back last, through the caller's
// verified address path, because the camera is reached at it.

#include "device/SettingsRecord.h"
#include "jobs/JobEngine.h"
#include "site/SiteBook.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::history {

struct SettingBack {
    device::Setting setting = device::Setting::Name;
    std::string operation; // the job's words for it, "Modify Port"
    // The value before the job; nothing when the job could not read it.
    std::optional<std::string> before;
};

struct UndoCamera {
    std::string camera; // the site book's key
    // In the order the job changed them, each setting once.
    std::vector<SettingBack> settings;
    // The IP settings before the job, when it moved the camera.
    std::optional<device::AddressChange> address;
};

struct UndoPlan {
    std::vector<UndoCamera> cameras;
    // Changes that succeeded but cannot be undone (passwords, firmware).
    int notUndoable = 0;
};

UndoPlan PlanUndo(const std::vector<site::ChangeEntry>& changes);

// The words of an undo job's operations, in order.
std::vector<std::string> UndoOperations(const UndoPlan& plan);

// Puts one camera's settings back (not its address) as a job's work.
void PutBack(const UndoCamera& camera, jobs::CameraRun& run);

// The undo job for the cameras of `plan` found among `present` (by their
// book key); `missing` receives the keys of the others.
jobs::JobSpec UndoJob(std::int64_t bookJob, const UndoPlan& plan,
                      const std::vector<device::DeviceInfo>& present,
                      const device::Credentials& credentials, std::vector<std::string>& missing);

} // namespace orv::history
