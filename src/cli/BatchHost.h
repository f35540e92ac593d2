#pragma once
// The Batch Set operations' view of the command line: the selected cameras
// are the checked ones, the login is the default one, messages go to
// standard error, a question is asked on the terminal (or answered by
// --yes), and a job runs to its end before the operation returns.

#include "Session.h"
#include "operations/batchset/BatchOperations.h"

namespace orv::cli {

class CCliBatchHost final : public batchset::IBatchHost {
public:
    CCliBatchHost(CSession& session, std::vector<device::DeviceInfo> targets, bool yes);

    bool CheckedMode() const override { return true; }
    std::vector<device::DeviceInfo> CheckedDevices() const override;
    std::optional<device::DeviceInfo> CurrentDevice() const override { return std::nullopt; }
    device::Credentials DefaultCredentials() const override;
    void ShowMessage(const Message& message) override;
    bool Ask(const Message& question) override;
    // The command line shows what will change with --dry-run instead.
    bool ConfirmChange(const std::wstring&, int) override { return true; }
    void RunOperations(jobs::JobSpec order, bool oneCamera) override;
    bool KnownEncrypted(const device::DeviceInfo& device) const override;
    // --allow-plain-http, or the person at the terminal; without either the
    // password goes to cameras that turn out to offer TLS only.
    bool ConfirmPlainSecret(const std::vector<device::DeviceInfo>& cameras, bool inClear) override;

    const std::vector<jobs::OperationResult>& Results() const { return m_results; }
    // A question went unanswered: no terminal and no --yes.
    bool Unanswered() const { return m_unanswered; }

private:
    CSession& m_session;
    std::vector<device::DeviceInfo> m_targets;
    bool m_yes;
    bool m_unanswered = false;
    std::vector<jobs::OperationResult> m_results;
};

} // namespace orv::cli
