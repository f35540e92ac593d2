#include "qvsp/Qvsp.h"

#include "AnswerLedger.h"
#include "qvsp/wire/Capture.h"
#include "qvsp/wire/Frame.h"
#include "qvsp/wire/Proof.h"
#include "qvsp/wire/Records.h"
#include "qvsp/wire/UniqueFd.h"

#include <openssl/crypto.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace qvsp::wire;
using Clock = std::chrono::steady_clock;

namespace {

// One IP change in flight: challenge requested, then signed request sent.
struct PendingModify {
    tagQvIpcInfo request{};
    MacAddress camera{};
    bool awaitingResult = false;
    int attemptsLeft = 0;
    Clock::time_point deadline;
};

MacAddress cameraOf(const tagQvIpcInfo& record) {
    MacAddress mac{};
    std::copy_n(record.Mac, mac.size(), mac.begin());
    return mac;
}

MacAddress cameraOf(const DeviceId& device) {
    MacAddress mac{};
    std::copy_n(device.begin(), mac.size(), mac.begin());
    return mac;
}

void wipeCredentials(tagQvIpcInfo& record) {
    OPENSSL_cleanse(record.UserName, sizeof record.UserName);
    OPENSSL_cleanse(record.Password, sizeof record.Password);
}

// An adapter tracks at most this many cameras; the program lists fewer, and
// the simulator offers fewer still.
constexpr std::size_t kMaxCamerasPerAdapter = 16384;
// The program drops a camera after 30 silent seconds; the library remembers
// it a little longer, so a change to a camera still listed gets its failure
// reported.
constexpr auto kRememberSilentCamera = std::chrono::seconds(40);
// Read failures in a row, with the adapter still present, that end capture.
constexpr int kMaxReadFailures = 50;

std::uint32_t roundsToRemember(const QvspTiming& timing) {
    const auto interval =
        std::max<std::chrono::milliseconds::rep>(timing.searchInterval.count(), 1);
    const auto rounds =
        (std::chrono::milliseconds(kRememberSilentCamera).count() + interval - 1) / interval;
    return static_cast<std::uint32_t>(std::clamp<long long>(rounds, 4, 1'000'000));
}

} // namespace

struct CQvsp::Impl {
    explicit Impl(const QvspTiming& t)
        : timing(t), answers(kMaxCamerasPerAdapter, roundsToRemember(t)) {
        std::random_device rd;
        nextXid = rd();
    }

    const QvspTiming timing;
    std::string adapter;
    std::string filter;
    PcapPtr pcap;
    MacAddress ownMac{};
    UniqueFd wake;
    std::thread thread;
    QvspCallback callback = nullptr;
    void* user = nullptr;
    // Read before every callback, so that a stop requested from inside a
    // callback also holds back the rest of the batch.
    std::atomic<bool> stopping{false};

    std::mutex mutex; // guards the two fields below
    std::vector<tagQvIpcInfo> queuedModifies;
    bool discoveryWanted = false;

    // Owned by the capture thread.
    bool discovering = false;
    Clock::time_point nextSearch;
    std::array<std::uint32_t, 2> searchXids{}; // this round's and the previous one's
    std::uint32_t nextXid = 0;
    std::map<std::uint32_t, PendingModify> modifies;
    qvsp::AnswerLedger answers; // cameras that have answered on this adapter

    std::uint32_t newXid() {
        if (++nextXid == 0)
            ++nextXid;
        return nextXid;
    }

    void wakeUp() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake.get(), &one, sizeof one);
    }

    void send(const MacAddress& dst, std::uint32_t xid, Body body) {
        Frame f;
        f.dst = dst;
        f.src = ownMac;
        f.xid = xid;
        f.body = std::move(body);
        sendFrame(pcap.get(), encode(f));
    }

    void report(int type, tagQvIpcInfo record, std::int32_t result) {
        if (stopping.load())
            return;
        tagMsgInfo msg{};
        msg.Info = record;
        wipeCredentials(msg.Info);
        msg.Result = result;
        callback(type, &msg, user);
    }

    // Capture has ended; the program learns which adapter and why.
    void reportStopped(std::int32_t why) {
        tagQvIpcInfo adapterRecord{};
        std::copy(ownMac.begin(), ownMac.end(), adapterRecord.Mac);
        setField(adapterRecord.DevName, adapter);
        report(CAP_CAPTURE_STOPPED, adapterRecord, why);
    }

    void sendSearch(Clock::time_point now) {
        answers.NewRound();
        searchXids[1] = searchXids[0];
        searchXids[0] = newXid();
        send(kBroadcast, searchXids[0], SearchRequest{});
        nextSearch = now + timing.searchInterval;
    }

    void sendChallengeRequest(std::uint32_t xid, PendingModify& p, Clock::time_point now) {
        ChallengeRequest c;
        std::copy_n(p.request.Mac, c.device.size(), c.device.begin());
        send(p.camera, xid, c);
        p.awaitingResult = false;
        p.deadline = now + timing.answerTimeout;
    }

    // A failure no camera stated is reported only by an adapter on which the
    // camera has answered: every instance receives every request, and the
    // others must stay quiet.
    void reportUnanswered(const PendingModify& p, std::int32_t result) {
        if (answers.Knows(p.camera))
            report(CAP_MODIFY_RESULT, p.request, result);
    }

    void startModify(const tagQvIpcInfo& request, Clock::time_point now) {
        PendingModify p;
        p.request = request;
        p.camera = cameraOf(request);
        if (!requestedSettings(request)) {
            reportUnanswered(p, QVSP_RESULT_BAD_VALUES);
            wipeCredentials(p.request);
            return;
        }
        p.attemptsLeft = std::max(1, timing.attempts) - 1;
        const std::uint32_t xid = newXid();
        sendChallengeRequest(xid, modifies.emplace(xid, p).first->second, now);
        wipeCredentials(p.request);
    }

    void finish(std::map<std::uint32_t, PendingModify>::iterator it) {
        wipeCredentials(it->second.request);
        modifies.erase(it);
    }

    void expireModifies(Clock::time_point now) {
        for (auto it = modifies.begin(); it != modifies.end();) {
            auto next = std::next(it);
            PendingModify& p = it->second;
            if (p.deadline <= now) {
                // A lost result may hide an applied change; asking again is
                // harmless because the same values are sent.
                if (p.attemptsLeft > 0) {
                    --p.attemptsLeft;
                    sendChallengeRequest(it->first, p, now);
                } else {
                    reportUnanswered(p, QVSP_RESULT_NO_ANSWER);
                    finish(it);
                }
            }
            it = next;
        }
    }

    void onChallenge(const Frame& f, const Challenge& c, Clock::time_point now) {
        const auto it = modifies.find(f.xid);
        if (it == modifies.end() || it->second.awaitingResult || it->second.camera != f.src)
            return;
        PendingModify& p = it->second;
        auto request = makeModifyRequest(p.request, c.nonce);
        if (!request)
            return;
        send(p.camera, f.xid, *request);
        p.awaitingResult = true;
        p.deadline = now + timing.answerTimeout;
    }

    void onModifyResult(const Frame& f, const ModifyResult& r) {
        const auto it = modifies.find(f.xid);
        if (it == modifies.end() || !it->second.awaitingResult || it->second.camera != f.src)
            return;
        const tagQvIpcInfo request = it->second.request;
        finish(it);
        report(CAP_MODIFY_RESULT, request, r.result);
    }

    void onSearchAnswer(const Frame& f, const SearchAnswer& a) {
        if (f.xid == 0 ||
            std::find(searchXids.begin(), searchXids.end(), f.xid) == searchXids.end())
            return;
        // One report per camera and round, whatever arrives: a station that
        // repeats answers, or invents cameras, is held to the ledger's bound.
        if (!answers.Admit(cameraOf(a.device), f.xid != searchXids[0]))
            return;
        report(CAP_SEARCH_RESP, toRecord(a), 0);
    }

    void onBytes(std::span<const std::uint8_t> bytes, Clock::time_point now) {
        Frame f;
        if (decode(bytes, f) != DecodeError::None)
            return;
        // The filter normally removes our own frames; without one they are
        // dropped here, as are answers meant for another tool.
        if (f.src == ownMac || (f.dst != ownMac && f.dst != kBroadcast))
            return;
        if (const auto* a = std::get_if<SearchAnswer>(&f.body))
            onSearchAnswer(f, *a);
        else if (const auto* c = std::get_if<Challenge>(&f.body))
            onChallenge(f, *c, now);
        else if (const auto* r = std::get_if<ModifyResult>(&f.body))
            onModifyResult(f, *r);
    }

    static void onPacket(u_char* self, const pcap_pkthdr* header, const u_char* data) {
        auto* impl = reinterpret_cast<Impl*>(self);
        // A frame cut by the snapshot length is incomplete: not a frame of ours.
        if (header->caplen != header->len)
            return;
        impl->onBytes(std::span<const std::uint8_t>(data, header->caplen), Clock::now());
    }

    int pollTimeout(Clock::time_point now) const {
        auto until = Clock::time_point::max();
        if (discovering)
            until = nextSearch;
        for (const auto& [xid, p] : modifies)
            until = std::min(until, p.deadline);
        if (until == Clock::time_point::max())
            return -1;
        if (until <= now)
            return 0;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        return static_cast<int>(std::min<long long>(ms, 60'000));
    }

    // Reads what is waiting; false when capture has ended (and was reported).
    bool readCapture(short events, int& failures) {
        if (events & POLLNVAL) {
            reportStopped(QVSP_ERROR_CAPTURE);
            return false;
        }
        const bool error = events & (POLLERR | POLLHUP);
        const int read =
            events & (POLLIN | POLLERR | POLLHUP)
                ? pcap_dispatch(pcap.get(), 512, &Impl::onPacket, reinterpret_cast<u_char*>(this))
                : 0;
        if (read >= 0 && !error) {
            failures = 0;
            return true;
        }
        if (!adapterMac(adapter)) {
            reportStopped(QVSP_ERROR_ADAPTER_GONE);
            return false;
        }
        // An adapter taken down reports an error once and resumes when it
        // comes back up; one that keeps failing is given up.
        if (++failures >= kMaxReadFailures) {
            reportStopped(QVSP_ERROR_CAPTURE);
            return false;
        }
        return true;
    }

    void run() {
        const int captureFd = pcap_get_selectable_fd(pcap.get());
        int failures = 0;
        for (;;) {
            std::vector<tagQvIpcInfo> requests;
            bool startSearching = false;
            {
                std::lock_guard lock(mutex);
                requests.swap(queuedModifies);
                startSearching = discoveryWanted && !discovering;
            }
            if (stopping.load())
                break;
            auto now = Clock::now();
            if (startSearching) {
                discovering = true;
                nextSearch = now;
            }
            for (auto& r : requests) {
                startModify(r, now);
                wipeCredentials(r);
            }
            if (discovering && nextSearch <= now)
                sendSearch(now);
            expireModifies(now);

            pollfd fds[2] = {{captureFd, POLLIN, 0}, {wake.get(), POLLIN, 0}};
            const int n = ::poll(fds, 2, pollTimeout(Clock::now()));
            if (n < 0 && errno != EINTR) {
                reportStopped(QVSP_ERROR_CAPTURE);
                break;
            }
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(wake.get(), &count, sizeof count);
            }
            if (n > 0 && !readCapture(fds[0].revents, failures))
                break;
        }
    }
};

void CQvsp::SearchAdapter(QvAdapter** list, int* count) {
    if (!list || !count)
        return;
    *list = nullptr;
    *count = 0;
    const auto adapters = listAdapters();
    if (adapters.empty())
        return;
    // The caller frees the array with FreeSearchAdapter.
    auto out = std::make_unique<QvAdapter[]>(adapters.size());
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        setField(out[i].Name, adapters[i].name);
        setField(out[i].Description, adapters[i].description);
        std::copy(adapters[i].mac.begin(), adapters[i].mac.end(), out[i].Mac);
    }
    *count = static_cast<int>(adapters.size());
    *list = out.release();
}

void CQvsp::FreeSearchAdapter(QvAdapter* list) {
    std::unique_ptr<QvAdapter[]> owned(list);
}

CQvsp::CQvsp() : CQvsp(QvspTiming{}) {}

CQvsp::CQvsp(const QvspTiming& timing) : m_impl(std::make_unique<Impl>(timing)) {}

CQvsp::~CQvsp() {
    UnInitQvsp();
    // Only left running when stopped from inside its own callback.
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

void CQvsp::SetAdapter(char* name) {
    m_impl->adapter = name ? name : "";
}

void CQvsp::SetFilter(char* filter) {
    m_impl->filter = filter ? filter : "";
}

int CQvsp::InitQvsp() {
    Impl& d = *m_impl;
    if (d.pcap)
        return 0;
    const auto mac = adapterMac(d.adapter);
    if (!mac)
        return QVSP_ERROR_NO_ADAPTER;
    std::string error;
    CaptureOptions options;
    options.filter = d.filter;
    OpenFailure why = OpenFailure::None;
    auto pcap = openCapture(d.adapter, options, error, &why);
    if (!pcap) {
        switch (why) {
        case OpenFailure::NoPermission:
            return QVSP_ERROR_NO_PERMISSION;
        case OpenFailure::NoDevice:
            return QVSP_ERROR_NO_ADAPTER;
        case OpenFailure::None:
        case OpenFailure::Other:
            break;
        }
        return QVSP_ERROR_CAPTURE;
    }
    UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake)
        return QVSP_ERROR_CAPTURE;
    d.ownMac = *mac;
    d.pcap = std::move(pcap);
    d.wake = std::move(wake);
    d.stopping = false;
    return 0;
}

int CQvsp::StartCapture(QvspCallback callback, void* user) {
    Impl& d = *m_impl;
    if (!d.pcap || !callback || d.thread.joinable())
        return -1;
    d.callback = callback;
    d.user = user;
    d.thread = std::thread([&d] { d.run(); });
    return 0;
}

int CQvsp::StartDiscovery() {
    Impl& d = *m_impl;
    if (!d.pcap)
        return -1;
    {
        std::lock_guard lock(d.mutex);
        d.discoveryWanted = true;
    }
    d.wakeUp();
    return 0;
}

int CQvsp::ModifyIpcInfo(tagQvIpcInfo* request) {
    Impl& d = *m_impl;
    if (!d.pcap || !request)
        return -1;
    {
        std::lock_guard lock(d.mutex);
        d.queuedModifies.push_back(*request);
    }
    d.wakeUp();
    return 0;
}

void CQvsp::UnInitQvsp() {
    Impl& d = *m_impl;
    d.stopping = true;
    if (d.thread.joinable()) {
        // From inside a callback the thread cannot be joined; the flag keeps
        // further callbacks back and the destructor joins it.
        if (d.thread.get_id() == std::this_thread::get_id())
            return;
        d.wakeUp();
        d.thread.join();
    }
    d.pcap.reset();
    d.wake.reset();
    {
        std::lock_guard lock(d.mutex);
        for (auto& r : d.queuedModifies)
            wipeCredentials(r);
        d.queuedModifies.clear();
        d.discoveryWanted = false;
    }
    for (auto it = d.modifies.begin(); it != d.modifies.end();)
        d.finish(it++);
    d.discovering = false;
    d.answers.Clear();
}
