#pragma once
// A site's book: one SQLite file per site that keeps every camera ever seen
// there and every change a job made, with the values before and after.
// The file is written in WAL mode, each call's rows committed before it
// returns, so a tool killed mid-job loses no finished camera, and a second
// tool on the same file waits its turn rather than corrupting it. A file
// this version cannot read (corrupt, or of a newer schema) is refused with
// a reason and left exactly as it was.
//
// Not thread-safe: one book per thread (the window keeps its own off the
// window thread).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv::site {

class CConnection;
class CStatement;

struct OpenError {
    enum class Kind { Unreadable, Corrupt, Newer };
    Kind kind = Kind::Unreadable;
    // For the installer: what is wrong, and that the file was kept.
    std::string text;
};

// A camera as the site remembers it. `key` is its identity in the lists
// (its MAC, or its endpoint while the MAC is not known).
struct SiteCamera {
    std::string key;
    std::string mac;
    std::string protocols; // "native", "onvif", "native+onvif"
    std::string model;
    std::string firmware;
    std::string address;
    std::string name;
    std::int64_t firstSeenMs = 0; // since 1970, UTC
    std::int64_t lastSeenMs = 0;
};

struct JobEntry {
    std::int64_t id = 0; // given by the book
    std::string name;
    std::int64_t startedMs = 0;
    std::string osUser;
    std::string toolVersion;
    // The job this one undid.
    std::optional<std::int64_t> undoes;
};

// One operation on one camera: what it was before, what it was to become,
// and how it ended.
struct ChangeEntry {
    std::int64_t job = 0;
    std::string camera; // SiteCamera::key
    std::string operation;
    // What was changed ("ports", "name", ...); empty for an operation that
    // changed nothing it could tell (a refused login).
    std::string setting;
    std::optional<std::string> before;
    std::optional<std::string> after;
    std::string outcome; // "Succeeded", "Failed", "Cancelled"
    std::string reason;
    std::int64_t atMs = 0;
};

// A camera's own password as the site keeps it: in the desktop keyring
// ("keyring"; the book holds only that it is there) or sealed under the
// site passphrase in the book itself ("sealed"). `pending`: a new password
// was kept before the camera was changed and no login has confirmed it yet.
struct SecretEntry {
    std::string camera; // SiteCamera::key
    std::string keptIn;
    bool pending = false;
    std::string sealed; // base64 of nonce and box, when keptIn is "sealed"
    std::int64_t updatedMs = 0;
};

// How the site passphrase becomes the key the sealed passwords are under:
// the salt and costs of the derivation, and a known text sealed with the
// key, which tells a wrong passphrase from a right one. Base64 texts.
struct SiteKeyEntry {
    std::string salt;
    std::int64_t ops = 0;
    std::int64_t mem = 0;
    std::string proof;
};

// The site's profile (what its cameras are held to) as the profile file
// holds it, the camera it was taken from (its book key), and when.
struct ProfileEntry {
    std::string text;
    std::string source;
    std::int64_t savedMs = 0;
};

// A job with how many cameras it reached and how many of them failed.
struct JobSummary {
    JobEntry job;
    int cameras = 0;
    int failed = 0;
};

class CSiteBook {
public:
    static constexpr int kSchemaVersion = 4;

    struct Opened {
        std::unique_ptr<CSiteBook> book;
        std::optional<OpenError> error;
    };
    // Opens `file`, creating it when it does not exist, and brings its
    // schema up to this version.
    static Opened Open(const std::filesystem::path& file);

    ~CSiteBook();
    CSiteBook(const CSiteBook&) = delete;
    CSiteBook& operator=(const CSiteBook&) = delete;

    int SchemaVersion() const;
    // "ok", or what SQLite's integrity check found.
    std::string IntegrityCheck() const;

    // Answers of cameras: new ones are added, known ones take the new
    // values and time; a camera keeps the time it was first seen.
    void NoteSeen(const std::vector<SiteCamera>& cameras);
    std::vector<SiteCamera> Inventory() const;

    std::int64_t BeginJob(const JobEntry& job);
    // Committed before it returns: call it as each camera finishes.
    void Record(const std::vector<ChangeEntry>& changes);
    std::vector<JobEntry> Jobs() const;
    std::vector<JobSummary> JobSummaries() const;
    // A job's changes, or a camera's across jobs, oldest first.
    std::vector<ChangeEntry> ChangesOfJob(std::int64_t job) const;
    std::vector<ChangeEntry> ChangesOfCamera(const std::string& camera) const;
    // Every change of the site, oldest first.
    std::vector<ChangeEntry> AllChanges() const;

    // Committed before it returns: a password is kept before its camera
    // is changed.
    void PutSecret(const SecretEntry& entry);
    void RemoveSecret(const std::string& camera);
    std::optional<SecretEntry> Secret(const std::string& camera) const;
    std::vector<SecretEntry> Secrets() const;
    // The site's key derivation; `proposed` is kept when there is none yet.
    // What the book holds afterwards (another tool's, when it came first).
    SiteKeyEntry EnsureSiteKey(const SiteKeyEntry& proposed);
    std::optional<SiteKeyEntry> SiteKey() const;

    // The site has one profile; a new one takes the old one's place.
    void PutProfile(const ProfileEntry& profile);
    std::optional<ProfileEntry> Profile() const;

    // For a writer that groups several calls in one transaction.
    CConnection& Connection() { return *m_db; }

private:
    explicit CSiteBook(std::unique_ptr<CConnection> db);
    // One try of Open; `busy` when SQLite refused it as locked.
    static Opened openOnce(const std::filesystem::path& file, bool& busy);
    void migrate(int from);

    std::unique_ptr<CConnection> m_db;
    // Prepared once: a job records a camera at a time.
    std::unique_ptr<CStatement> m_insertChange;
};

} // namespace orv::site
