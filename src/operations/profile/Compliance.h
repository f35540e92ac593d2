#pragma once
// Which of a site's cameras keep to the site's profile. Each camera is
// judged by what applying the profile would give it (built for that camera
// alone, by its own model's lists) against what it holds now, field by
// field, and by its firmware against the profile's target. A check reads,
// never writes; applying the profile to the cameras that differ is a job
// of Batch Set operations like any other, so the site's history can undo it.

#include "Profile.h"
#include "jobs/JobEngine.h"
#include "operations/batchset/DeviceSettings.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv::profile {

// One field where a camera is not as the profile wants it: the profile's
// key path ("ports.rtsp1", "video.primary.bit_rate", "firmware"), the
// value the profile wants and the one the camera holds, as a person reads
// them. A setting the camera did not answer for holds "not read".
struct Difference {
    std::string field;
    std::string wanted;
    std::string found;
    bool operator==(const Difference&) const = default;
};

inline constexpr const char* kNotRead = "not read";

// What differs between `built` (the profile built for this camera alone)
// and what `camera` was read to hold; `firmware` the site's target, if any.
// A setting the profile does not name is never compared; nor are the
// camera's name, clock and DDNS password (a profile sets names by
// template, a clock by the moment it is applied, and a camera never hands
// a password back to compare with).
std::vector<Difference> Differences(const BuiltProfile& built,
                                    const std::optional<std::string>& firmware,
                                    const batchset::DeviceSettings& camera);

struct CheckedCamera {
    device::DeviceInfo device;
    std::vector<Difference> differences;
    // Why the camera could not be judged (the profile does not fit its
    // model, it refused the login, it did not answer); empty when judged.
    std::string problem;
    bool Keeps() const { return problem.empty() && differences.empty(); }
};

// Filled by the check's workers, read once the job has finished.
struct ComplianceResults {
    std::mutex lock;
    std::vector<CheckedCamera> cameras;
};

// The profile built for each camera alone, or why it does not fit it.
struct PerCamera {
    device::DeviceInfo device;
    std::optional<BuiltProfile> built;
    std::string problem;
};
std::vector<PerCamera> BuildPerCamera(const ProfileSpec& profile,
                                      const std::vector<device::DeviceInfo>& cameras,
                                      const device::CDriverSet& drivers);

// The job that reads every camera's settings and judges them; it reports
// no operation (it changes nothing, so no history keeps it).
jobs::JobSpec ComplianceJob(const ProfileSpec& profile, std::vector<PerCamera> cameras,
                            const device::Credentials& credentials,
                            std::shared_ptr<ComplianceResults> results);

// Applying the profile to the cameras of a check that differ, as a job of
// Batch Set operations: each camera gets the settings it differs in and
// nothing else, so what it holds of its own otherwise stays. The names of
// a profile (a template over a whole set) are never sent here. Nothing,
// with `error` said, when no camera differs in a setting a job can send
// or the profile does not build for them.
std::optional<jobs::JobSpec> ApplyJob(ProfileSpec profile,
                                      const std::vector<CheckedCamera>& cameras,
                                      const device::CDriverSet& drivers,
                                      const device::Credentials& credentials, std::string& error);

// The cameras of a check that do not keep to the profile (they differ, or
// could not be judged), in the order of their addresses.
std::vector<CheckedCamera> Differing(std::vector<CheckedCamera> checked);

// What a camera of a check is shown with: its differences in one line, or
// why it could not be judged.
std::string WhatDiffers(const CheckedCamera& camera);

// A camera's differences in one line, what it holds first:
// "ports.rtsp1 8554 (profile 554), firmware 13.0.2.1 (profile 13.1.0.5)".
std::string DifferencesText(const std::vector<Difference>& differences);

} // namespace orv::profile
