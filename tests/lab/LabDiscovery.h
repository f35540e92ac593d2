#pragma once
// Opens a discovery instance on a lab adapter exactly as the program does:
// the filter names the adapter's own MAC, then capture, then (optionally)
// the search. `initResult` receives InitQvsp's result when it runs.

#include "qvsp/Qvsp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A discovery instance on the lab's short timings: a search every
// `interval`, each answer awaited 300 ms, two attempts.
class LabQvsp : public CQvsp {
public:
    explicit LabQvsp(std::chrono::milliseconds interval = std::chrono::seconds(10))
        : CQvsp(timing(interval)) {}

private:
    static QvspTiming timing(std::chrono::milliseconds interval) {
        QvspTiming t;
        t.searchInterval = interval;
        t.answerTimeout = std::chrono::milliseconds(300);
        t.attempts = 2;
        return t;
    }
};

struct LabEvent {
    int type = 0;
    int adapter = 0; // which instance reported it
    tagQvIpcInfo info{};
    std::int32_t result = 0;
    std::chrono::steady_clock::time_point at;
};

// Everything the discovery callbacks deliver, from any number of instances;
// `user(n)` is the callback argument of instance n.
class LabEvents {
public:
    static void callback(int type, tagMsgInfo* msg, void* user) {
        auto* source = static_cast<Source*>(user);
        LabEvents& self = *source->events;
        if (self.closed.load()) {
            self.late.fetch_add(1);
        }
        std::lock_guard lock(self.m_mutex);
        self.m_events.push_back(
            {type, source->adapter, msg->Info, msg->Result, std::chrono::steady_clock::now()});
        self.m_changed.notify_all();
    }

    void* user(int adapter = 0) {
        std::lock_guard lock(m_mutex);
        return &m_sources.emplace_back(Source{this, adapter});
    }

    // Waits until `pred` accepts the events so far.
    template <class Pred>
    bool waitUntil(Pred pred, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return pred(m_events); });
    }

    // Waits for one event that `pred` accepts.
    template <class Pred>
    std::optional<LabEvent> waitFor(Pred pred, std::chrono::milliseconds timeout) {
        std::optional<LabEvent> found;
        waitUntil(
            [&](const std::vector<LabEvent>& events) {
                const auto it = std::find_if(events.begin(), events.end(), pred);
                found = it == events.end() ? std::nullopt : std::optional(*it);
                return found.has_value();
            },
            timeout);
        return found;
    }

    std::vector<LabEvent> events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    std::atomic<bool> closed{false}; // callbacks after this count as late
    std::atomic<int> late{0};

private:
    struct Source {
        LabEvents* events;
        int adapter;
    };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<LabEvent> m_events;
    std::deque<Source> m_sources;
};

inline bool StartLabDiscovery(CQvsp& qvsp, const std::string& adapter, QvspCallback callback,
                              void* user, bool discover = true, int* initResult = nullptr) {
    QvAdapter* list = nullptr;
    int count = 0;
    CQvsp::SearchAdapter(&list, &count);
    std::string filter;
    for (int i = 0; i < count; ++i) {
        if (adapter == list[i].Name) {
            const auto* m = list[i].Mac;
            char text[256];
            std::snprintf(text, sizeof text,
                          "ether proto 0x0809 and len ==260 and ether src not "
                          "%.2x:%.2x:%.2x:%.2x:%.2x:%.2x",
                          m[0], m[1], m[2], m[3], m[4], m[5]);
            filter = text;
        }
    }
    if (count > 0) {
        CQvsp::FreeSearchAdapter(list);
    }
    if (filter.empty()) {
        return false;
    }
    std::vector<char> name(adapter.begin(), adapter.end());
    name.push_back(0);
    std::vector<char> filterText(filter.begin(), filter.end());
    filterText.push_back(0);
    qvsp.SetAdapter(name.data());
    qvsp.SetFilter(filterText.data());
    const int result = qvsp.InitQvsp();
    if (initResult != nullptr) {
        *initResult = result;
    }
    if (result != 0) {
        return false;
    }
    qvsp.StartCapture(callback, user);
    if (discover) {
        qvsp.StartDiscovery();
    }
    return true;
}
