#pragma once
// Asks many cameras at once whether they answer at all: one TCP connection
// to each, all in flight together from one thread, closed as soon as it is
// made. A job puts its cameras through here before their work, so that the
// cameras that are unplugged or mid-reboot cost the job one connect timeout
// in all, while the workers go on with those that answered. Without it each
// silent camera held a worker for its whole timeout, and every 16 of them
// added one timeout to the job.
//
// Only a connection that runs out of time counts as silent. One that is
// made, refused or fails at once (no route) lets the camera's own work run
// and tell the real reason.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

struct epoll_event;

namespace orv::jobs {

class CReachProbe {
public:
    enum class Outcome { Answered, Silent, Dropped };
    struct Request {
        // Whose the request is (a job), for Drop.
        std::uint64_t tag = 0;
        std::uint32_t address = 0; // host order
        std::uint16_t port = 0;
        std::chrono::milliseconds limit{0};
        // Called once: on the probe's thread, or in Drop on its caller's.
        std::function<void(Outcome)> done;
    };
    // Connections in flight at once; the rest wait their turn. A site's
    // cameras answer within a millisecond each, so the bound costs a silent
    // camera nothing, and it keeps the file descriptors and the SYNs that a
    // link (and a switch's ARP) takes at once within reason.
    static constexpr std::size_t kMaxInFlight = 512;
    // Connections opened per hold of the lock: what a Drop or a new job's
    // Probe may wait for (a few hundred microseconds).
    static constexpr std::size_t kLaunchBatch = 16;

    CReachProbe() = default;
    // Drops whatever is still being asked.
    ~CReachProbe();
    CReachProbe(const CReachProbe&) = delete;
    CReachProbe& operator=(const CReachProbe&) = delete;

    // Queues `requests`; the thread starts with the first.
    void Probe(std::vector<Request> requests);
    // Ends every request of `tag` at once, each told Dropped before this
    // returns.
    void Drop(std::uint64_t tag);
    // Stops the thread and drops whatever is still being asked; no `done`
    // runs on the probe's thread after it returns. A later Probe starts
    // the thread again.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;
    struct Flight {
        Request request;
        int fd = -1;
        Clock::time_point deadline;
    };
    void run();
    // Under m_lock: ends the flights that `events` name as made or
    // refused, and those whose time ran out.
    void settle(const ::epoll_event* events, int n,
                std::vector<std::pair<Request, Outcome>>& ended);
    // Opens connections for waiting requests while there is room, taking
    // m_lock only to move them between the queues; those ended at once go
    // to `ended`.
    void launch(std::vector<std::pair<Request, Outcome>>& ended);
    // Under m_lock: ends the flight `serial`.
    void end(std::uint64_t serial, Outcome outcome,
             std::vector<std::pair<Request, Outcome>>& ended);
    void wake() const;
    void drop(bool all, std::uint64_t tag);

    std::mutex m_lock;
    std::condition_variable m_handedOver;
    bool m_inHand = false; // a batch is between m_waiting and m_flights
    std::deque<Request> m_waiting;
    std::map<std::uint64_t, Flight> m_flights; // by serial
    std::set<std::pair<Clock::time_point, std::uint64_t>> m_deadlines;
    std::uint64_t m_serial = 0;
    bool m_stopping = false;
    int m_epoll = -1;
    int m_wake = -1; // eventfd
    std::thread m_thread;
};

} // namespace orv::jobs
