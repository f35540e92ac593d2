#include "SiteRecorder.h"

#include "Sqlite.h"

#include <optional>
#include <utility>

namespace orv::site {

CSiteRecorder::CSiteRecorder(std::unique_ptr<CSiteBook> book)
    : m_book(std::move(book)), m_thread([this] { run(); }) {}

CSiteRecorder::~CSiteRecorder() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_queued.notify_all();
    m_thread.join();
}

void CSiteRecorder::NoteSeen(std::vector<SiteCamera> cameras) {
    const std::size_t weight = cameras.size();
    push(std::move(cameras), weight);
}

void CSiteRecorder::BeginJob(std::uint64_t job, JobEntry entry) {
    push(Begin{job, std::move(entry)}, 1);
}

void CSiteRecorder::Record(std::uint64_t job, std::vector<ChangeEntry> changes,
                           std::function<void()> committed) {
    const std::size_t weight = changes.size();
    push(Changes{job, std::move(changes), std::move(committed)}, weight);
}

void CSiteRecorder::push(Item item, std::size_t weight) {
    std::unique_lock lock(m_lock);
    m_written.wait(lock, [this] { return m_weight < kMaxQueued || m_stopping; });
    m_items.push_back(std::move(item));
    m_weight += weight;
    ++m_pushedCount;
    if (m_items.size() == 1) {
        m_queued.notify_one();
    }
}

void CSiteRecorder::Flush() {
    std::unique_lock lock(m_lock);
    const std::uint64_t target = m_pushedCount;
    m_written.wait(lock, [this, target] { return m_writtenCount >= target; });
}

std::string CSiteRecorder::TakeProblem() {
    std::lock_guard lock(m_lock);
    return std::exchange(m_problem, {});
}

void CSiteRecorder::run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stopping || !m_items.empty(); });
        if (m_items.empty()) {
            return; // stopping, with everything written
        }
        std::vector<Item> items;
        items.swap(m_items);
        m_weight = 0;
        const std::uint64_t upTo = m_pushedCount;
        lock.unlock();
        write(items);
        lock.lock();
        m_writtenCount = upTo;
        m_written.notify_all();
    }
}

void CSiteRecorder::write(std::vector<Item>& items) {
    // What the workers handed over meanwhile goes in one commit: a commit
    // per camera would cost each camera's job a write to the log.
    std::optional<CTransaction> batch;
    try {
        batch.emplace(m_book->Connection());
    } catch (const SqliteError&) {
        // Each item then tries on its own, and says why it failed.
    }
    for (Item& item : items) {
        try {
            if (auto* cameras = std::get_if<std::vector<SiteCamera>>(&item)) {
                m_book->NoteSeen(*cameras);
            } else if (auto* begin = std::get_if<Begin>(&item)) {
                m_jobIds[begin->job] = m_book->BeginJob(begin->entry);
            } else if (auto* changes = std::get_if<Changes>(&item)) {
                const auto id = m_jobIds.find(changes->job);
                if (id == m_jobIds.end()) {
                    continue; // a job whose start the book refused
                }
                for (ChangeEntry& change : changes->changes) {
                    change.job = id->second;
                }
                m_book->Record(changes->changes);
            }
        } catch (const SqliteError& e) {
            noteProblem(e);
        }
    }
    if (batch) {
        try {
            batch->Commit();
        } catch (const SqliteError& e) {
            noteProblem(e);
        }
    }
    // Only now, with the batch on disk, are its writers told.
    for (Item& item : items) {
        if (auto* changes = std::get_if<Changes>(&item); changes && changes->committed) {
            changes->committed();
        }
    }
}

void CSiteRecorder::noteProblem(const SqliteError& e) {
    std::lock_guard lock(m_lock);
    if (m_problem.empty()) {
        m_problem = std::string("The site's book could not be written: ") + e.what() + ".";
    }
}

} // namespace orv::site
