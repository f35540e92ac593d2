#include "SiteBook.h"

#include "Sqlite.h"

#include <array>
#include <chrono>
#include <string_view>
#include <thread>

namespace orv::site {

namespace {

// Each entry takes a file from the version before it to its own; a file is
// brought up step by step, in one transaction. Entries are never edited
// once shipped: a change to the schema is a new entry.
constexpr std::array<std::string_view, CSiteBook::kSchemaVersion> kMigrations = {
    // 1: the inventory, the jobs and their changes.
    R"(CREATE TABLE cameras (
           key TEXT PRIMARY KEY,
           mac TEXT NOT NULL DEFAULT '',
           protocols TEXT NOT NULL DEFAULT '',
           model TEXT NOT NULL DEFAULT '',
           firmware TEXT NOT NULL DEFAULT '',
           address TEXT NOT NULL DEFAULT '',
           name TEXT NOT NULL DEFAULT '',
           first_seen INTEGER NOT NULL,
           last_seen INTEGER NOT NULL);
       CREATE TABLE jobs (
           id INTEGER PRIMARY KEY,
           name TEXT NOT NULL,
           started INTEGER NOT NULL,
           os_user TEXT NOT NULL,
           tool_version TEXT NOT NULL);
       CREATE TABLE changes (
           id INTEGER PRIMARY KEY,
           job INTEGER NOT NULL REFERENCES jobs(id),
           camera TEXT NOT NULL,
           operation TEXT NOT NULL,
           before TEXT,
           after TEXT,
           outcome TEXT NOT NULL,
           reason TEXT NOT NULL DEFAULT '',
           at INTEGER NOT NULL);
       CREATE INDEX changes_by_job ON changes(job);
       CREATE INDEX changes_by_camera ON changes(camera, at);)",
    // 2: which setting a change was (what an undo sends back), and which
    // job an undo undid.
    R"(ALTER TABLE changes ADD COLUMN setting TEXT NOT NULL DEFAULT '';
       ALTER TABLE jobs ADD COLUMN undoes INTEGER REFERENCES jobs(id);)",
    // 3: each camera's own password (or where it is kept), and the site
    // passphrase's key derivation.
    R"(CREATE TABLE secrets (
           camera TEXT PRIMARY KEY,
           kept_in TEXT NOT NULL,
           pending INTEGER NOT NULL DEFAULT 0,
           sealed TEXT NOT NULL DEFAULT '',
           updated INTEGER NOT NULL);
       CREATE TABLE site_key (
           id INTEGER PRIMARY KEY CHECK (id = 1),
           salt TEXT NOT NULL,
           ops INTEGER NOT NULL,
           mem INTEGER NOT NULL,
           proof TEXT NOT NULL);)",
    // 4: the site's profile, what its cameras are held to.
    R"(CREATE TABLE site_profile (
           id INTEGER PRIMARY KEY CHECK (id = 1),
           text TEXT NOT NULL,
           source TEXT NOT NULL DEFAULT '',
           saved INTEGER NOT NULL);)",
};

std::string kept(const std::filesystem::path& file) {
    return " The file " + file.string() + " is kept as it is.";
}

void bindOptional(CStatement& statement, int index, const std::optional<std::string>& text) {
    if (text) {
        statement.Bind(index, *text);
    } else {
        statement.BindNull(index);
    }
}

std::optional<std::string> optionalText(const CStatement& statement, int column) {
    return statement.IsNull(column) ? std::nullopt : std::optional(statement.Text(column));
}

constexpr std::string_view kChangeColumns =
    "SELECT job, camera, operation, setting, before, after, outcome, reason, at FROM changes ";

std::vector<ChangeEntry> readChanges(CStatement& statement) {
    std::vector<ChangeEntry> out;
    while (statement.Step()) {
        out.push_back({statement.Integer(0), statement.Text(1), statement.Text(2),
                       statement.Text(3), optionalText(statement, 4), optionalText(statement, 5),
                       statement.Text(6), statement.Text(7), statement.Integer(8)});
    }
    return out;
}

} // namespace

CSiteBook::CSiteBook(std::unique_ptr<CConnection> db) : m_db(std::move(db)) {}

CSiteBook::~CSiteBook() = default;

CSiteBook::Opened CSiteBook::Open(const std::filesystem::path& file) {
    // Two tools making the same new file at once: SQLite refuses one of
    // them as locked without waiting where waiting could deadlock (turning
    // the file to WAL while the other holds it). Such an open is tried
    // again, for as long as any other wait for the file.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        bool busy = false;
        Opened opened = openOnce(file, busy);
        if (!busy || std::chrono::steady_clock::now() >= until) {
            return opened;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

CSiteBook::Opened CSiteBook::openOnce(const std::filesystem::path& file, bool& busy) {
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    std::unique_ptr<CConnection> db;
    try {
        db = std::make_unique<CConnection>(file.string(), !exists);
    } catch (const SqliteError& e) {
        return {nullptr, OpenError{OpenError::Kind::Unreadable,
                                   "The site file cannot be opened: " + std::string(e.what()) +
                                       "." + (exists ? kept(file) : std::string())}};
    }
    try {
        // Wait for another tool on the same file rather than fail.
        db->Exec("PRAGMA busy_timeout = 5000");
        const std::int64_t version = db->Integer("PRAGMA user_version");
        if (version > kSchemaVersion) {
            return {nullptr, OpenError{OpenError::Kind::Newer,
                                       "The site file was written by a newer version of the tool "
                                       "(schema " +
                                           std::to_string(version) + ", this version reads up to " +
                                           std::to_string(kSchemaVersion) + ")." + kept(file)}};
        }
        if (exists) {
            const std::string check = db->Text("PRAGMA quick_check");
            if (check != "ok") {
                return {nullptr,
                        OpenError{OpenError::Kind::Corrupt,
                                  "The site file is damaged (" + check + ")." + kept(file)}};
            }
        }
        db->Exec("PRAGMA journal_mode = WAL");
        db->Exec("PRAGMA synchronous = NORMAL");
        db->Exec("PRAGMA foreign_keys = ON");
        std::unique_ptr<CSiteBook> book(new CSiteBook(std::move(db)));
        book->migrate(static_cast<int>(version));
        return {std::move(book), std::nullopt};
    } catch (const SqliteError& e) {
        busy = (e.Code() & 0xff) == SQLITE_BUSY || (e.Code() & 0xff) == SQLITE_LOCKED;
        const bool notADatabase =
            (e.Code() & 0xff) == SQLITE_NOTADB || (e.Code() & 0xff) == SQLITE_CORRUPT;
        return {
            nullptr,
            OpenError{notADatabase ? OpenError::Kind::Corrupt : OpenError::Kind::Unreadable,
                      "The site file cannot be read: " + std::string(e.what()) + "." + kept(file)}};
    }
}

void CSiteBook::migrate(int from) {
    if (from >= kSchemaVersion) {
        return;
    }
    CTransaction transaction(*m_db);
    // Another tool may have opened the same new file a moment earlier (the
    // window and the command line on one site): the version read before the
    // write lock is only a hint, the one read under it is the truth.
    from = static_cast<int>(m_db->Integer("PRAGMA user_version"));
    if (from >= kSchemaVersion) {
        return;
    }
    for (int version = from + 1; version <= kSchemaVersion; ++version) {
        m_db->Exec(kMigrations[static_cast<std::size_t>(version - 1)]);
    }
    m_db->Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.Commit();
}

int CSiteBook::SchemaVersion() const {
    return static_cast<int>(m_db->Integer("PRAGMA user_version"));
}

std::string CSiteBook::IntegrityCheck() const {
    return m_db->Text("PRAGMA integrity_check");
}

void CSiteBook::NoteSeen(const std::vector<SiteCamera>& cameras) {
    if (cameras.empty()) {
        return;
    }
    CTransaction transaction(*m_db);
    CStatement upsert(*m_db,
                      "INSERT INTO cameras (key, mac, protocols, model, firmware, address, name, "
                      "first_seen, last_seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?8) "
                      "ON CONFLICT(key) DO UPDATE SET mac = ?2, protocols = ?3, model = ?4, "
                      "firmware = ?5, address = ?6, name = ?7, last_seen = ?8");
    for (const SiteCamera& c : cameras) {
        upsert.Bind(1, c.key).Bind(2, c.mac).Bind(3, c.protocols).Bind(4, c.model);
        upsert.Bind(5, c.firmware).Bind(6, c.address).Bind(7, c.name).Bind(8, c.lastSeenMs);
        upsert.Step();
        upsert.Reset();
    }
    transaction.Commit();
}

std::vector<SiteCamera> CSiteBook::Inventory() const {
    CStatement select(*m_db, "SELECT key, mac, protocols, model, firmware, address, name, "
                             "first_seen, last_seen FROM cameras ORDER BY key");
    std::vector<SiteCamera> out;
    while (select.Step()) {
        out.push_back({select.Text(0), select.Text(1), select.Text(2), select.Text(3),
                       select.Text(4), select.Text(5), select.Text(6), select.Integer(7),
                       select.Integer(8)});
    }
    return out;
}

std::int64_t CSiteBook::BeginJob(const JobEntry& job) {
    CStatement insert(*m_db, "INSERT INTO jobs (name, started, os_user, tool_version, undoes) "
                             "VALUES (?1, ?2, ?3, ?4, ?5)");
    insert.Bind(1, job.name).Bind(2, job.startedMs).Bind(3, job.osUser).Bind(4, job.toolVersion);
    if (job.undoes) {
        insert.Bind(5, *job.undoes);
    } else {
        insert.BindNull(5);
    }
    insert.Step();
    return sqlite3_last_insert_rowid(m_db->Handle());
}

void CSiteBook::Record(const std::vector<ChangeEntry>& changes) {
    if (changes.empty()) {
        return;
    }
    CTransaction transaction(*m_db);
    if (!m_insertChange) {
        m_insertChange = std::make_unique<CStatement>(
            *m_db, "INSERT INTO changes (job, camera, operation, setting, before, after, "
                   "outcome, reason, at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    }
    CStatement& insert = *m_insertChange;
    insert.Reset();
    for (const ChangeEntry& c : changes) {
        insert.Bind(1, c.job).Bind(2, c.camera).Bind(3, c.operation).Bind(4, c.setting);
        bindOptional(insert, 5, c.before);
        bindOptional(insert, 6, c.after);
        insert.Bind(7, c.outcome).Bind(8, c.reason).Bind(9, c.atMs);
        insert.Step();
        insert.Reset();
    }
    transaction.Commit();
}

std::vector<JobEntry> CSiteBook::Jobs() const {
    CStatement select(
        *m_db, "SELECT id, name, started, os_user, tool_version, undoes FROM jobs ORDER BY id");
    std::vector<JobEntry> out;
    while (select.Step()) {
        out.push_back({select.Integer(0), select.Text(1), select.Integer(2), select.Text(3),
                       select.Text(4),
                       select.IsNull(5) ? std::nullopt : std::optional(select.Integer(5))});
    }
    return out;
}

std::vector<JobSummary> CSiteBook::JobSummaries() const {
    CStatement select(
        *m_db, "SELECT j.id, j.name, j.started, j.os_user, j.tool_version, j.undoes, "
               "COUNT(DISTINCT c.camera), "
               "COUNT(DISTINCT CASE WHEN c.outcome = 'Failed' THEN c.camera END) "
               "FROM jobs j LEFT JOIN changes c ON c.job = j.id GROUP BY j.id ORDER BY j.id");
    std::vector<JobSummary> out;
    while (select.Step()) {
        JobEntry job{
            select.Integer(0), select.Text(1),
            select.Integer(2), select.Text(3),
            select.Text(4),    select.IsNull(5) ? std::nullopt : std::optional(select.Integer(5))};
        out.push_back({std::move(job), static_cast<int>(select.Integer(6)),
                       static_cast<int>(select.Integer(7))});
    }
    return out;
}

std::vector<ChangeEntry> CSiteBook::ChangesOfJob(std::int64_t job) const {
    CStatement select(*m_db, std::string(kChangeColumns) + "WHERE job = ?1 ORDER BY id");
    select.Bind(1, job);
    return readChanges(select);
}

std::vector<ChangeEntry> CSiteBook::AllChanges() const {
    CStatement select(*m_db, std::string(kChangeColumns) + "ORDER BY id");
    return readChanges(select);
}

std::vector<ChangeEntry> CSiteBook::ChangesOfCamera(const std::string& camera) const {
    CStatement select(*m_db, std::string(kChangeColumns) + "WHERE camera = ?1 ORDER BY at, id");
    select.Bind(1, camera);
    return readChanges(select);
}

void CSiteBook::PutSecret(const SecretEntry& entry) {
    CStatement put(*m_db, "INSERT INTO secrets (camera, kept_in, pending, sealed, updated) "
                          "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT(camera) DO UPDATE SET "
                          "kept_in = excluded.kept_in, pending = excluded.pending, "
                          "sealed = excluded.sealed, updated = excluded.updated");
    put.Bind(1, entry.camera).Bind(2, entry.keptIn).Bind(3, entry.pending ? 1 : 0);
    put.Bind(4, entry.sealed).Bind(5, entry.updatedMs);
    put.Step();
}

void CSiteBook::RemoveSecret(const std::string& camera) {
    CStatement remove(*m_db, "DELETE FROM secrets WHERE camera = ?1");
    remove.Bind(1, camera);
    remove.Step();
}

namespace {

constexpr std::string_view kSecretColumns =
    "SELECT camera, kept_in, pending, sealed, updated FROM secrets ";

SecretEntry readSecret(const CStatement& row) {
    return {row.Text(0), row.Text(1), row.Integer(2) != 0, row.Text(3), row.Integer(4)};
}

} // namespace

std::optional<SecretEntry> CSiteBook::Secret(const std::string& camera) const {
    CStatement select(*m_db, std::string(kSecretColumns) + "WHERE camera = ?1");
    select.Bind(1, camera);
    if (!select.Step()) {
        return std::nullopt;
    }
    return readSecret(select);
}

std::vector<SecretEntry> CSiteBook::Secrets() const {
    CStatement select(*m_db, std::string(kSecretColumns) + "ORDER BY camera");
    std::vector<SecretEntry> out;
    while (select.Step()) {
        out.push_back(readSecret(select));
    }
    return out;
}

SiteKeyEntry CSiteBook::EnsureSiteKey(const SiteKeyEntry& proposed) {
    CTransaction transaction(*m_db);
    CStatement insert(*m_db, "INSERT OR IGNORE INTO site_key (id, salt, ops, mem, proof) "
                             "VALUES (1, ?1, ?2, ?3, ?4)");
    insert.Bind(1, proposed.salt).Bind(2, proposed.ops).Bind(3, proposed.mem);
    insert.Bind(4, proposed.proof);
    insert.Step();
    transaction.Commit();
    return *SiteKey();
}

std::optional<SiteKeyEntry> CSiteBook::SiteKey() const {
    CStatement select(*m_db, "SELECT salt, ops, mem, proof FROM site_key WHERE id = 1");
    if (!select.Step()) {
        return std::nullopt;
    }
    return SiteKeyEntry{select.Text(0), select.Integer(1), select.Integer(2), select.Text(3)};
}

void CSiteBook::PutProfile(const ProfileEntry& profile) {
    CStatement put(*m_db, "INSERT INTO site_profile (id, text, source, saved) VALUES (1, ?1, ?2, "
                          "?3) ON CONFLICT(id) DO UPDATE SET text = excluded.text, "
                          "source = excluded.source, saved = excluded.saved");
    put.Bind(1, profile.text).Bind(2, profile.source).Bind(3, profile.savedMs);
    put.Step();
}

std::optional<ProfileEntry> CSiteBook::Profile() const {
    CStatement select(*m_db, "SELECT text, source, saved FROM site_profile WHERE id = 1");
    if (!select.Step()) {
        return std::nullopt;
    }
    return ProfileEntry{select.Text(0), select.Text(1), select.Integer(2)};
}

} // namespace orv::site
