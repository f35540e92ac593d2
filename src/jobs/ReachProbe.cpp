#include "ReachProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace orv::jobs {

namespace {

// The eventfd's mark in epoll; flights count from 1.
constexpr std::uint64_t kWakeMark = 0;

} // namespace

CReachProbe::~CReachProbe() {
    Stop();
}

void CReachProbe::Probe(std::vector<Request> requests) {
    {
        std::lock_guard lock(m_lock);
        for (Request& r : requests) {
            m_waiting.push_back(std::move(r));
        }
        if (!m_thread.joinable()) {
            m_stopping = false;
            m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
            m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            epoll_event wake{};
            wake.events = EPOLLIN;
            wake.data.u64 = kWakeMark;
            if (m_epoll >= 0 && m_wake >= 0) {
                ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wake);
            }
            m_thread = std::thread([this] { run(); });
            return;
        }
    }
    wake();
}

void CReachProbe::wake() const {
    const std::uint64_t one = 1;
    // A full counter still wakes the thread; nothing to do about a failure.
    (void)!::write(m_wake, &one, sizeof one);
}

void CReachProbe::launch(std::vector<std::pair<Request, Outcome>>& ended) {
    for (;;) {
        std::vector<Request> batch;
        {
            std::lock_guard lock(m_lock);
            const std::size_t room = kMaxInFlight - std::min(kMaxInFlight, m_flights.size());
            while (!m_stopping && !m_waiting.empty() &&
                   batch.size() < std::min(room, kLaunchBatch)) {
                batch.push_back(std::move(m_waiting.front()));
                m_waiting.pop_front();
            }
            if (batch.empty()) {
                return;
            }
            m_inHand = true;
        }
        // The connects run without the lock: a job started meanwhile only
        // queues its cameras, and a Drop waits for this batch alone.
        std::vector<Flight> launched;
        for (Request& request : batch) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                // Out of descriptors: the camera's own work finds out
                // whether it answers, at the old cost.
                ended.emplace_back(std::move(request), Outcome::Answered);
                continue;
            }
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(request.port);
            to.sin_addr.s_addr = htonl(request.address);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
                errno != EINPROGRESS) {
                // Made, refused or without a route at once.
                ::close(fd);
                ended.emplace_back(std::move(request), Outcome::Answered);
                continue;
            }
            const Clock::time_point deadline = Clock::now() + request.limit;
            launched.push_back(Flight{std::move(request), fd, deadline});
        }
        {
            std::lock_guard lock(m_lock);
            for (Flight& flight : launched) {
                // Registered under the lock, as the flight becomes known: an
                // answer before then waits in epoll for the next round.
                const std::uint64_t serial = ++m_serial;
                epoll_event ready{};
                ready.events = EPOLLOUT;
                ready.data.u64 = serial;
                if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, flight.fd, &ready) != 0) {
                    ::close(flight.fd);
                    ended.emplace_back(std::move(flight.request), Outcome::Answered);
                    continue;
                }
                m_deadlines.emplace(flight.deadline, serial);
                m_flights.emplace(serial, std::move(flight));
            }
            m_inHand = false;
        }
        m_handedOver.notify_all();
    }
}

void CReachProbe::end(std::uint64_t serial, Outcome outcome,
                      std::vector<std::pair<Request, Outcome>>& ended) {
    const auto it = m_flights.find(serial);
    if (it == m_flights.end()) {
        return; // dropped meanwhile
    }
    // Closing takes the descriptor out of epoll as well.
    ::close(it->second.fd);
    m_deadlines.erase({it->second.deadline, serial});
    ended.emplace_back(std::move(it->second.request), outcome);
    m_flights.erase(it);
}

void CReachProbe::run() {
    std::array<epoll_event, 64> events{};
    std::vector<std::pair<Request, Outcome>> ended;
    const auto tell = [&ended] {
        for (auto& [request, outcome] : ended) {
            request.done(outcome);
        }
        ended.clear();
    };
    for (;;) {
        launch(ended);
        tell();
        int waitMs = -1;
        {
            std::lock_guard lock(m_lock);
            if (m_stopping) {
                return;
            }
            if (!m_deadlines.empty()) {
                const auto left = m_deadlines.begin()->first - Clock::now();
                // Rounded up: waking before the deadline only loops.
                waitMs = static_cast<int>(std::max<std::int64_t>(
                    0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
            }
        }
        const int n = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), waitMs);
        {
            std::lock_guard lock(m_lock);
            settle(events.data(), n, ended);
        }
        tell();
    }
}

void CReachProbe::settle(const epoll_event* events, int n,
                         std::vector<std::pair<Request, Outcome>>& ended) {
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == kWakeMark) {
            std::uint64_t count = 0;
            (void)!::read(m_wake, &count, sizeof count);
            continue;
        }
        // Made or refused: either way something answered there.
        end(events[i].data.u64, Outcome::Answered, ended);
    }
    const Clock::time_point now = Clock::now();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        end(m_deadlines.begin()->second, Outcome::Silent, ended);
    }
}

void CReachProbe::drop(bool all, std::uint64_t tag) {
    std::vector<Request> dropped;
    {
        std::unique_lock lock(m_lock);
        // A batch being connected is neither waiting nor in flight yet.
        m_handedOver.wait(lock, [this] { return !m_inHand; });
        const auto ours = [all, tag](const Request& r) { return all || r.tag == tag; };
        for (auto it = m_waiting.begin(); it != m_waiting.end();) {
            if (ours(*it)) {
                dropped.push_back(std::move(*it));
                it = m_waiting.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = m_flights.begin(); it != m_flights.end();) {
            if (ours(it->second.request)) {
                ::close(it->second.fd);
                m_deadlines.erase({it->second.deadline, it->first});
                dropped.push_back(std::move(it->second.request));
                it = m_flights.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Request& r : dropped) {
        r.done(Outcome::Dropped);
    }
}

void CReachProbe::Drop(std::uint64_t tag) {
    drop(false, tag);
}

void CReachProbe::Stop() {
    {
        std::lock_guard lock(m_lock);
        if (!m_thread.joinable()) {
            return;
        }
        m_stopping = true;
    }
    wake();
    m_thread.join();
    // Whatever the thread had in hand when it stopped is still in the
    // queues: nothing was taken out without being told.
    drop(true, 0);
    std::lock_guard lock(m_lock);
    ::close(m_epoll);
    ::close(m_wake);
    m_epoll = -1;
    m_wake = -1;
}

} // namespace orv::jobs
