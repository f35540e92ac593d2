#pragma once
// Writes to a site's book from a thread of its own, so that the window
// thread and the job workers never wait for the disk: they hand over what
// a camera answered or a job did and go on. A job is named by the caller's
// own number; the book's id is looked up on the recorder's thread.
//
// Bounded: past kMaxQueued entries a caller waits for the book, which then
// is a disk that stopped taking writes, as the log does.

#include "SiteBook.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

namespace orv::site {

class SqliteError;

class CSiteRecorder {
public:
    static constexpr std::size_t kMaxQueued = 100000;

    // Takes the book over; it is used on the recorder's thread only.
    explicit CSiteRecorder(std::unique_ptr<CSiteBook> book);
    // Writes what is still queued, then closes the book.
    ~CSiteRecorder();
    CSiteRecorder(const CSiteRecorder&) = delete;
    CSiteRecorder& operator=(const CSiteRecorder&) = delete;

    void NoteSeen(std::vector<SiteCamera> cameras);
    // `job`: the caller's number for it (the engine's job id).
    void BeginJob(std::uint64_t job, JobEntry entry);
    // `change.job` is ignored: the book's id of `job` is used. `committed`
    // is called on the recorder's thread once the changes are in the book
    // (or the book refused them), before Flush returns.
    void Record(std::uint64_t job, std::vector<ChangeEntry> changes,
                std::function<void()> committed = {});
    // Returns once everything handed over before is in the book.
    void Flush();
    // A problem the book reported (a full disk), or empty; each once.
    std::string TakeProblem();

private:
    struct Begin {
        std::uint64_t job;
        JobEntry entry;
    };
    struct Changes {
        std::uint64_t job;
        std::vector<ChangeEntry> changes;
        std::function<void()> committed;
    };
    using Item = std::variant<std::vector<SiteCamera>, Begin, Changes>;
    void push(Item item, std::size_t weight);
    void run();
    void write(std::vector<Item>& items);
    void noteProblem(const SqliteError& e);

    std::unique_ptr<CSiteBook> m_book;
    std::map<std::uint64_t, std::int64_t> m_jobIds; // the recorder's thread's own
    std::mutex m_lock;
    std::condition_variable m_queued;
    std::condition_variable m_written;
    std::vector<Item> m_items;
    std::size_t m_weight = 0;
    std::uint64_t m_pushedCount = 0;
    std::uint64_t m_writtenCount = 0;
    bool m_stopping = false;
    std::string m_problem;
    std::thread m_thread;
};

} // namespace orv::site
