#pragma once
// A blocking hop to the GUI thread: another thread hands over a piece of work
// and waits until the GUI thread has run it. Before the window thread waits
// for such threads itself (stopping discovery joins the capture threads), it
// closes the hop, which releases every waiting caller, so neither side can
// wait for the other forever.

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orv {

class GuiThreadHop {
public:
    // `target` lives on the GUI thread; work runs in its event handling.
    explicit GuiThreadHop(QObject* target);
    ~GuiThreadHop();
    GuiThreadHop(const GuiThreadHop&) = delete;
    GuiThreadHop& operator=(const GuiThreadHop&) = delete;

    // Runs `work` on the GUI thread: directly when called there, else by a
    // posted event while the caller waits. False when the hop was closed
    // before the work ran (the work is then dropped).
    bool RunBlocking(std::function<void()> work);

    // Refuses new work and releases every waiting caller. GUI thread only.
    void Close();

private:
    struct Task;

    QObject* m_target;
    std::mutex m_lock;
    bool m_closed = false;
    std::vector<std::shared_ptr<Task>> m_waiting;
};

} // namespace orv
