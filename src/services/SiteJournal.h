#pragma once
// The open site of a window or command-line session: its book's writer
// thread, fed by discovery (every camera seen) and by the job engine (every
// job, and each camera's results with the values before and after). Nothing
// here waits for the disk; a reader opens the book on a thread of its own.

#include "jobs/JobJournal.h"
#include "site/SiteRecorder.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace orv {

class CSiteJournal final : public jobs::IJobJournal {
public:
    // A camera's unchanged answers are noted at most this often: its last
    // sighting stays to the minute without a write per search cycle.
    static constexpr std::int64_t kSeenRefreshMs = 60'000;

    struct Opened {
        std::shared_ptr<CSiteJournal> journal;
        std::string error; // for the installer, when there is no journal
        // Every camera the site remembers, read as it opened.
        std::vector<site::SiteCamera> inventory;
    };
    static Opened Open(const std::string& site, const std::filesystem::path& file);

    const std::string& Site() const { return m_site; }
    const std::filesystem::path& File() const { return m_file; }

    // From any thread: cameras that answered.
    void NoteSeen(const std::vector<device::DeviceInfo>& devices);
    void JobStarted(jobs::JobId job, const jobs::JobSpec& order) override;
    void CameraFinished(jobs::JobId job, const std::vector<jobs::OperationResult>& results,
                        std::function<void()> kept) override;
    // Returns once everything handed over before is in the book.
    void Flush() override { m_recorder.Flush(); }
    // A write the book refused (a full disk), each once; empty when none.
    std::string TakeProblem() { return m_recorder.TakeProblem(); }

    // A camera as the site book keeps it; its key is DeviceId::Text().
    static site::SiteCamera SiteCameraOf(const device::DeviceInfo& device, std::int64_t seenMs);
    static std::string KeyOf(const device::DeviceInfo& device) { return device.id.Text(); }
    // What the site remembers of a camera as a device value (no way to
    // reach it: it is shown, not worked on).
    static device::DeviceInfo DeviceOf(const site::SiteCamera& camera);

private:
    CSiteJournal(std::string site, std::filesystem::path file,
                 std::unique_ptr<site::CSiteBook> book);

    const std::string m_site;
    const std::filesystem::path m_file;
    site::CSiteRecorder m_recorder;
    std::mutex m_seenLock;
    // Per camera: when it was last noted, and what it said then.
    struct Noted {
        std::int64_t atMs = 0;
        site::SiteCamera values;
    };
    std::unordered_map<std::string, Noted> m_seen;
};

// The OS user a job is recorded under.
std::string OsUser();
// The person behind it, where the system knows their full name; else the
// user name.
std::string OsUserFullName();
// This program's version ("2.1").
std::string ToolVersion();

} // namespace orv
