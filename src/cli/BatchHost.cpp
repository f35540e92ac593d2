#include "BatchHost.h"

#include "lang/Language.h"
#include "text/TextConv.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace orv::cli {
namespace {

std::string text(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

} // namespace

CCliBatchHost::CCliBatchHost(CSession& session, std::vector<device::DeviceInfo> targets, bool yes)
    : m_session(session), m_targets(std::move(targets)), m_yes(yes) {}

device::Credentials CCliBatchHost::DefaultCredentials() const {
    return m_session.LoginData().credentials;
}

std::vector<device::DeviceInfo> CCliBatchHost::CheckedDevices() const {
    return m_targets;
}

void CCliBatchHost::ShowMessage(const Message& message) {
    Note(text(message));
}

bool CCliBatchHost::Ask(const Message& question) {
    if (m_yes) {
        return true;
    }
    if (isatty(0) == 0 || isatty(2) == 0) {
        Note(text(question) + " Not at a terminal: confirm with --yes.");
        m_unanswered = true;
        return false;
    }
    std::fprintf(stderr, "%s (%zu camera(s)) [y/N] ", text(question).c_str(), m_targets.size());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

bool CCliBatchHost::KnownEncrypted(const device::DeviceInfo& device) const {
    return device.mac && m_session.Trust().Find(*device.mac).has_value();
}

bool CCliBatchHost::ConfirmPlainSecret(const std::vector<device::DeviceInfo>& cameras,
                                       bool inClear) {
    const char* flag = inClear ? "allow-clear-password" : "allow-plain-http";
    if (m_session.Opts().Has(flag)) {
        return true;
    }
    const std::string risk =
        std::to_string(cameras.size()) +
        (inClear ? " camera(s) were never reached over an encrypted connection and cannot seal a "
                   "password; over plain HTTP a new password crosses the network in clear, and "
                   "anyone who captures it can read it."
                 : " camera(s) were never reached over an encrypted connection; over plain HTTP "
                   "a new password is sealed only under the current one, and anyone who "
                   "captures it and knows or guesses the current password can read it.");
    if (isatty(0) == 0 || isatty(2) == 0) {
        Note(risk + " Not at a terminal: such cameras keep their password (--" + flag +
             " sends it).");
        return false;
    }
    std::fprintf(stderr, "%s Send it to such cameras anyway? [y/N] ", risk.c_str());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

void CCliBatchHost::RunOperations(jobs::JobSpec order, bool) {
    m_results = m_session.Run(std::move(order));
}

} // namespace orv::cli
