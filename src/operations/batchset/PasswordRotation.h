#pragma once
// New administrator passwords for a set of cameras, each kept before its
// camera is changed: a password that exists only on a camera locks the
// installer out of it. A job gives each camera its own password (random
// for a rotation), changes it, then reboots the camera logged in with the
// new one, as the System page's password change does.

#include "BatchOperations.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace orv::batchset {

// 14 characters from letters and digits without the look-alikes (0 O o 1 l
// I): about 81 bits, the most a camera login carries once escaped.
inline constexpr int kPasswordLength = 14;
std::string RandomPassword();

using NewPasswords = std::unordered_map<device::DeviceId, std::string, device::DeviceIdHash>;

// Keeps `password` as the camera's new one before it is sent, from a
// worker thread; false, with why, when it could not be kept.
using KeepPassword = std::function<bool(const device::DeviceInfo& camera, const QString& user,
                                        const std::string& password, std::string& why)>;

// The administrator, whose password the System page changes.
inline const QString kAdministrator = QStringLiteral("admin");

// The job: per camera its password from `passwords` is kept (with `keep`;
// none keeps nothing), and only once kept sent; a camera whose password
// could not be kept keeps its own and fails as "not kept".
jobs::JobSpec PasswordJob(std::vector<device::DeviceInfo> targets,
                          const device::Credentials& credentials,
                          std::shared_ptr<const NewPasswords> passwords, KeepPassword keep,
                          PlainConsent consent, jobs::CRebootQueue& reboots);

} // namespace orv::batchset
