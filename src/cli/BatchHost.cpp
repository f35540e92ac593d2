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

void CCliBatchHost::RunOperations(jobs::JobSpec order, bool) {
    m_results = m_session.Run(std::move(order));
}

} // namespace orv::cli
