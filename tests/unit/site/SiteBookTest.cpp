// A site's book against real SQLite files: what it keeps and reads back,
// that each record is on disk when the call returns (a second connection
// sees it), that two writers on one file both finish whole, and that a file
// it cannot read is refused by name and left byte for byte as it was.

#include "site/SiteBook.h"
#include "site/SiteRecorder.h"
#include "site/Sites.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <sstream>
#include <thread>

using namespace orv::site;

namespace {

std::unique_ptr<CSiteBook> open(const std::filesystem::path& file) {
    CSiteBook::Opened opened = CSiteBook::Open(file);
    EXPECT_FALSE(opened.error.has_value()) << (opened.error ? opened.error->text : "");
    return std::move(opened.book);
}

SiteCamera camera(int n, std::int64_t seen, const std::string& name) {
    const std::string mac = "02:4F:56:10:00:" + std::string(n < 16 ? "0" : "") +
                            (std::stringstream() << std::hex << std::uppercase << n).str();
    return {mac,  mac,  "native", "QVIP3651", "13.1.0.5", "192.0.2." + std::to_string(10 + n),
            name, seen, seen};
}

std::string sqlite(const std::filesystem::path& file, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        out = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return out;
}

} // namespace

TEST(SiteBook, KeepsCamerasJobsAndChangesAndEachRecordIsOnDiskAtOnce) {
    TempDir dir;
    const auto file = dir.path() / "Gate.site";
    auto book = open(file);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->SchemaVersion(), CSiteBook::kSchemaVersion);
    EXPECT_EQ(sqlite(file, "PRAGMA journal_mode"), "wal");

    book->NoteSeen({camera(1, 1000, "Süd-Tor 1"), camera(2, 1000, "Halle 2")});
    // A later answer: new values and time, the first sighting kept.
    SiteCamera renamed = camera(1, 5000, "Süd-Tor Ost");
    renamed.address = "192.0.2.99";
    book->NoteSeen({renamed});
    const std::vector<SiteCamera> cameras = book->Inventory();
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, "Süd-Tor Ost");
    EXPECT_EQ(cameras[0].address, "192.0.2.99");
    EXPECT_EQ(cameras[0].firstSeenMs, 1000);
    EXPECT_EQ(cameras[0].lastSeenMs, 5000);

    const std::int64_t job =
        book->BeginJob({0, "Batch Set Network", 6000, "installer", "2.1", std::nullopt});
    book->Record({{job, cameras[0].key, "Modify Port", "ports", "{\"onvif\":80}",
                   "{\"onvif\":8000}", "Succeeded", "", 6100}});
    // Another connection, as a second tool or a restart after kill -9, sees
    // the finished camera already.
    EXPECT_EQ(sqlite(file, "SELECT count(*) FROM changes"), "1");
    book->Record({{job, cameras[1].key, "Modify Port", "", std::nullopt, std::nullopt, "Failed",
                   "no answer within 2.5 s", 6200}});

    const std::vector<ChangeEntry> ofJob = book->ChangesOfJob(job);
    ASSERT_EQ(ofJob.size(), 2u);
    EXPECT_EQ(ofJob[0].before, "{\"onvif\":80}");
    EXPECT_EQ(ofJob[0].after, "{\"onvif\":8000}");
    EXPECT_EQ(ofJob[0].setting, "ports");
    EXPECT_FALSE(ofJob[1].before.has_value());
    EXPECT_EQ(ofJob[1].reason, "no answer within 2.5 s");
    EXPECT_EQ(book->ChangesOfCamera(cameras[1].key).size(), 1u);
    ASSERT_EQ(book->Jobs().size(), 1u);
    EXPECT_EQ(book->Jobs()[0].osUser, "installer");

    // Opened again, as at the next start: everything is there.
    book.reset();
    book = open(file);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->Inventory().size(), 2u);
    EXPECT_EQ(book->ChangesOfJob(job).size(), 2u);
    EXPECT_EQ(book->IntegrityCheck(), "ok");
}

TEST(SiteBook, TwoWritersOnOneFileBothFinishWhole) {
    TempDir dir;
    // The window and the command line started at once on a site that has no
    // file yet: each makes it or finds it made, never both.
    for (int round = 0; round < 20; ++round) {
        const auto fresh = dir.path() / ("New" + std::to_string(round) + ".site");
        std::vector<std::thread> openers;
        for (int i = 0; i < 4; ++i) {
            openers.emplace_back([&] { EXPECT_NE(open(fresh), nullptr); });
        }
        for (std::thread& opener : openers) {
            opener.join();
        }
    }
    const auto file = dir.path() / "Shared.site";
    ASSERT_NE(open(file), nullptr);
    constexpr int kRecords = 300;
    const auto writer = [&](const std::string& who) {
        auto book = open(file);
        ASSERT_NE(book, nullptr);
        const std::int64_t job = book->BeginJob({0, who, 1, who, "2.1", std::nullopt});
        for (int i = 0; i < kRecords; ++i) {
            book->Record({{job, who + std::to_string(i), "Modify Port", "ports", "a", "b",
                           "Succeeded", "", i}});
        }
    };
    std::thread window(writer, std::string("window"));
    std::thread cli(writer, std::string("cli"));
    window.join();
    cli.join();
    auto book = open(file);
    ASSERT_NE(book, nullptr);
    const std::vector<JobEntry> jobs = book->Jobs();
    ASSERT_EQ(jobs.size(), 2u);
    for (const JobEntry& job : jobs) {
        EXPECT_EQ(book->ChangesOfJob(job.id).size(), static_cast<std::size_t>(kRecords))
            << job.name;
    }
    EXPECT_EQ(book->IntegrityCheck(), "ok");
}

TEST(SiteBook, AFileItCannotReadIsRefusedByNameAndKept) {
    TempDir dir;
    // Not a database at all.
    const std::string junk(8192, 'x');
    dir.write("junk.site", junk);
    CSiteBook::Opened junkOpened = CSiteBook::Open(dir.path() / "junk.site");
    ASSERT_TRUE(junkOpened.error.has_value());
    EXPECT_EQ(junkOpened.error->kind, OpenError::Kind::Corrupt) << junkOpened.error->text;
    EXPECT_NE(junkOpened.error->text.find("is kept as it is"), std::string::npos);
    EXPECT_EQ(dir.read("junk.site"), junk);

    // A book of a later version of the tool.
    const auto newer = dir.path() / "newer.site";
    {
        auto book = open(newer);
        ASSERT_NE(book, nullptr);
        book->NoteSeen({camera(1, 1, "a")});
    }
    {
        sqlite3* db = nullptr;
        sqlite3_open(newer.c_str(), &db);
        sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const std::string before = dir.read("newer.site");
    CSiteBook::Opened newerOpened = CSiteBook::Open(newer);
    ASSERT_TRUE(newerOpened.error.has_value());
    EXPECT_EQ(newerOpened.error->kind, OpenError::Kind::Newer);
    EXPECT_NE(newerOpened.error->text.find("schema 99"), std::string::npos)
        << newerOpened.error->text;
    EXPECT_EQ(dir.read("newer.site"), before);

    // A database whose pages were damaged after its header.
    const auto damaged = dir.path() / "damaged.site";
    {
        auto book = open(damaged);
        ASSERT_NE(book, nullptr);
        std::vector<SiteCamera> many;
        for (int i = 0; i < 2000; ++i) {
            many.push_back(camera(i % 250, i, "Camera " + std::to_string(i)));
            many.back().key = "key" + std::to_string(i);
        }
        book->NoteSeen(many);
        sqlite3* db = nullptr;
        sqlite3_open(damaged.c_str(), &db);
        sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        sqlite3_close(db);
    }
    std::string bytes = dir.read("damaged.site");
    ASSERT_GT(bytes.size(), 3 * 4096u);
    for (std::size_t i = 2 * 4096; i < 3 * 4096; ++i) {
        bytes[i] = static_cast<char>(0xA5);
    }
    dir.write("damaged.site", bytes);
    CSiteBook::Opened damagedOpened = CSiteBook::Open(damaged);
    ASSERT_TRUE(damagedOpened.error.has_value());
    EXPECT_EQ(damagedOpened.error->kind, OpenError::Kind::Corrupt) << damagedOpened.error->text;
    EXPECT_EQ(dir.read("damaged.site"), bytes);
}

TEST(SiteBook, AFileOfTheFirstSchemaIsBroughtUpWithEveryRowKept) {
    TempDir dir;
    const auto file = dir.path() / "Old.site";
    {
        // As the first version of the tool left a site: its schema by hand,
        // never through the tool's own migration list.
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        const char* v1 = R"(
            CREATE TABLE cameras (key TEXT PRIMARY KEY, mac TEXT NOT NULL DEFAULT '',
                protocols TEXT NOT NULL DEFAULT '', model TEXT NOT NULL DEFAULT '',
                firmware TEXT NOT NULL DEFAULT '', address TEXT NOT NULL DEFAULT '',
                name TEXT NOT NULL DEFAULT '', first_seen INTEGER NOT NULL,
                last_seen INTEGER NOT NULL);
            CREATE TABLE jobs (id INTEGER PRIMARY KEY, name TEXT NOT NULL,
                started INTEGER NOT NULL, os_user TEXT NOT NULL, tool_version TEXT NOT NULL);
            CREATE TABLE changes (id INTEGER PRIMARY KEY, job INTEGER NOT NULL REFERENCES jobs(id),
                camera TEXT NOT NULL, operation TEXT NOT NULL, before TEXT, after TEXT,
                outcome TEXT NOT NULL, reason TEXT NOT NULL DEFAULT '', at INTEGER NOT NULL);
            CREATE INDEX changes_by_job ON changes(job);
            CREATE INDEX changes_by_camera ON changes(camera, at);
            INSERT INTO cameras VALUES ('mac:02:4F:56:10:00:01', '02:4F:56:10:00:01', 'native',
                'QVIP3651', '13.1.0.5', '192.0.2.11', 'Tor', 10, 20);
            INSERT INTO jobs VALUES (1, 'Batch Set System', 30, 'installer', '2.0');
            INSERT INTO changes VALUES (1, 1, 'mac:02:4F:56:10:00:01', 'Modify Device Name',
                '{"name":"Tor"}', '{"name":"Tor Ost"}', 'Succeeded', '', 31);
            PRAGMA user_version = 1;)";
        ASSERT_EQ(sqlite3_exec(db, v1, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    auto book = open(file);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->SchemaVersion(), CSiteBook::kSchemaVersion);
    ASSERT_EQ(book->Inventory().size(), 1u);
    EXPECT_EQ(book->Inventory()[0].name, "Tor");
    const std::vector<ChangeEntry> old = book->ChangesOfJob(1);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].after, "{\"name\":\"Tor Ost\"}");
    EXPECT_EQ(old[0].setting, ""); // the first schema did not say
    ASSERT_EQ(book->Jobs().size(), 1u);
    EXPECT_FALSE(book->Jobs()[0].undoes.has_value());
    // What the new columns hold is written and read back.
    JobEntry undo{0, "Undo job 1", 40, "installer", "2.1", 1};
    const std::int64_t id = book->BeginJob(undo);
    book->Record({{id, "mac:02:4F:56:10:00:01", "Modify Device Name", "name",
                   "{\"name\":\"Tor Ost\"}", "{\"name\":\"Tor\"}", "Succeeded", "", 41}});
    EXPECT_EQ(book->Jobs().back().undoes, 1);
    EXPECT_EQ(book->ChangesOfJob(id)[0].setting, "name");
    // A file from before profiles has none, and keeps one put in it.
    EXPECT_FALSE(book->Profile().has_value());
    book->PutProfile({"{\"ports\": {}}", "mac:02:4F:56:10:00:01", 50});
    book->PutProfile({"{\"firmware\": \"13.1\"}", "mac:02:4F:56:10:00:02", 60});
    ASSERT_TRUE(book->Profile().has_value());
    EXPECT_EQ(book->Profile()->text, "{\"firmware\": \"13.1\"}");
    EXPECT_EQ(book->Profile()->source, "mac:02:4F:56:10:00:02");
    EXPECT_EQ(book->Profile()->savedMs, 60);
    EXPECT_EQ(book->IntegrityCheck(), "ok");
}

TEST(Sites, AreMadeListedAndRenamedAndABadNameOrAnOpenBookChangesNothing) {
    TempDir dir;
    CSites sites(dir.path() / "sites");
    EXPECT_TRUE(sites.Names().empty());
    std::string site;
    EXPECT_EQ(sites.EnsureOne(site), std::nullopt);
    EXPECT_EQ(site, "Default");
    EXPECT_EQ(sites.Names(), std::vector<std::string>{"Default"});

    EXPECT_EQ(sites.Create("Werk Süd"), std::nullopt);
    EXPECT_EQ(sites.Create("Werk Süd"), "A site named \"Werk Süd\" exists already.");
    for (const std::string& bad : std::vector<std::string>{"", "../up", "a/b", ".hidden", " padded",
                                                           "tab\there", std::string(65, 'x')}) {
        EXPECT_TRUE(sites.Create(bad).has_value()) << bad;
    }
    EXPECT_EQ(sites.Names(), (std::vector<std::string>{"Default", "Werk Süd"}));

    // Renamed with what it holds; while a tool has it open, not at all.
    {
        auto book = open(sites.FileOf("Werk Süd"));
        ASSERT_NE(book, nullptr);
        book->NoteSeen({camera(1, 1, "Tor")});
        EXPECT_TRUE(sites.Rename("Werk Süd", "Werk Nord").has_value());
    }
    EXPECT_EQ(sites.Rename("Werk Süd", "Default"), "A site named \"Default\" exists already.");
    EXPECT_EQ(sites.Rename("Werk Süd", "Werk Nord"), std::nullopt);
    EXPECT_EQ(sites.Names(), (std::vector<std::string>{"Default", "Werk Nord"}));
    auto renamed = open(sites.FileOf("Werk Nord"));
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->Inventory().size(), 1u);
    EXPECT_EQ(sites.EnsureOne(site), std::nullopt);
    EXPECT_EQ(site, "Default");
}

// Callers hand over and go on: with another tool holding the book's write
// lock for a second, recording a job over 400 cameras from four workers
// takes no caller more than a moment, and everything is in the book once
// the lock is free.
TEST(SiteRecorder, CallersNeverWaitForTheBookAndNothingIsLost) {
    TempDir dir;
    const auto file = dir.path() / "Busy.site";
    auto recorder = std::make_unique<CSiteRecorder>(open(file));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    const auto started = std::chrono::steady_clock::now();
    recorder->BeginJob(7, {0, "Batch Set System", 1, "installer", "2.1", std::nullopt});
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 100; ++i) {
                const std::string key = "cam" + std::to_string(w * 100 + i);
                recorder->NoteSeen({camera(1, i, "Tor")});
                recorder->Record(
                    7, {{0, key, "Modify Device Name", "name", "a", "b", "Succeeded", "", i}});
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const auto handedOver = std::chrono::steady_clock::now() - started;
    EXPECT_LT(handedOver, std::chrono::milliseconds(300)) << "a caller waited for the book";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    recorder->Flush();
    EXPECT_EQ(recorder->TakeProblem(), "");
    recorder.reset();
    auto book = open(file);
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->Jobs().size(), 1u);
    EXPECT_EQ(book->ChangesOfJob(book->Jobs()[0].id).size(), 400u);
}
