#include "PasswordRotation.h"

#include <sys/random.h>

#include <string_view>

namespace orv::batchset {

std::string RandomPassword() {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    // Bytes at or above the largest multiple of the alphabet's size are
    // drawn again, so every character is equally likely.
    constexpr unsigned kLimit = 256 - 256 % kAlphabet.size();
    std::string password;
    while (password.size() < kPasswordLength) {
        unsigned char bytes[32];
        if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
            continue;
        }
        for (const unsigned char b : bytes) {
            if (b < kLimit && password.size() < kPasswordLength) {
                password += kAlphabet[b % kAlphabet.size()];
            }
        }
    }
    return password;
}

jobs::JobSpec PasswordJob(std::vector<device::DeviceInfo> targets,
                          const device::Credentials& credentials,
                          std::shared_ptr<const NewPasswords> passwords, KeepPassword keep,
                          PlainConsent consent, jobs::CRebootQueue& reboots) {
    jobs::JobSpec order;
    order.name = "Passwords";
    order.targets = std::move(targets);
    order.credentials = credentials;
    const char* words = OperationWords(Operation::ModifyPassword);
    order.operations = {words};
    order.work = [passwords, keep = std::move(keep), consent, words,
                  &reboots](jobs::CameraRun& run) {
        const std::string& password = passwords->at(run.Device().id);
        std::string why;
        if (keep && !keep(run.Device(), kAdministrator, password, why)) {
            run.ReportFailure(words, jobs::Reason::NotKept, why);
            return;
        }
        CBatchOperations::RunSteps(
            CBatchOperations::PasswordAndRebootSteps(reboots, kAdministrator,
                                                     QString::fromStdString(password), consent),
            run);
    };
    return order;
}

} // namespace orv::batchset
