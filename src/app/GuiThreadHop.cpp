#include "GuiThreadHop.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace orv {

struct GuiThreadHop::Task {
    std::function<void()> work;
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;
};

GuiThreadHop::GuiThreadHop(QObject* target) : m_target(target) {}

GuiThreadHop::~GuiThreadHop() {
    Close();
}

bool GuiThreadHop::RunBlocking(std::function<void()> work) {
    if (QThread::currentThread() == m_target->thread()) {
        {
            std::lock_guard lock(m_lock);
            if (m_closed) {
                return false;
            }
        }
        work();
        return true;
    }

    auto task = std::make_shared<Task>();
    task->work = std::move(work);
    {
        std::lock_guard lock(m_lock);
        if (m_closed) {
            return false;
        }
        m_waiting.push_back(task);
    }
    // The posted functor holds its own reference, so it stays valid even
    // after a closed hop let the caller return.
    QMetaObject::invokeMethod(
        m_target,
        [task] {
            std::unique_lock lock(task->lock);
            if (task->cancelled) {
                return;
            }
            lock.unlock();
            task->work();
            lock.lock();
            task->done = true;
            task->cv.notify_all();
        },
        Qt::QueuedConnection);

    bool done = false;
    {
        std::unique_lock lock(task->lock);
        task->cv.wait(lock, [&] { return task->done || task->cancelled; });
        done = task->done;
    }
    std::lock_guard lock(m_lock);
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), task), m_waiting.end());
    return done;
}

void GuiThreadHop::Close() {
    std::lock_guard lock(m_lock);
    m_closed = true;
    for (const auto& task : m_waiting) {
        std::lock_guard taskLock(task->lock);
        if (!task->done) {
            task->cancelled = true;
        }
        task->cv.notify_all();
    }
}

} // namespace orv
