#pragma once
// A site's profile taken from one camera: the settings the site's cameras
// share, read from a camera the installer set up as they want them, written
// in the profile format `apply` reads, so the window and the command line
// share one file. What a camera holds for itself alone is left out, and
// said: its name, its DDNS host, a clock set by hand.

#include "Profile.h"
#include "operations/batchset/DeviceSettings.h"

#include <string>
#include <vector>

namespace orv::profile {

struct TakenProfile {
    ProfileSpec profile;
    // What the camera holds that the profile does not take, one short
    // phrase each ("DDNS: each camera has its own host"), for the installer.
    std::vector<std::string> leftOut;
};

// The profile of what `camera` was read to hold (its firmware becomes the
// site's target); a setting not read is not in it.
TakenProfile ProfileOf(const batchset::DeviceSettings& camera);

// The profile as JSON, in the order the reader documents; what ReadProfile
// reads back as the same profile.
std::string ProfileText(const ProfileSpec& profile);

} // namespace orv::profile
