#include "core/Responder.h"

#include "qvipcsdk/wire/Utf8.h"
#include "qvsp/QvspTypes.h"
#include "qvsp/wire/Proof.h"

#include <algorithm>

namespace camsim {

using namespace qvsp::wire;

namespace {

DeviceId deviceOf(const MacAddress& mac) {
    DeviceId id{};
    std::copy(mac.begin(), mac.end(), id.begin());
    return id;
}

bool usableHost(std::uint32_t ip) {
    const std::uint8_t first = static_cast<std::uint8_t>(ip >> 24);
    return ip != 0 && ip != 0xffffffff && first != 0 && first != 127 && first < 224;
}

} // namespace

Responder::Responder(CameraStore& store, std::vector<Behaviour> behaviours,
                     std::chrono::milliseconds jitter, double lossRate, std::uint64_t seed,
                     Clock::time_point start)
    : m_store(store), m_behaviours(std::move(behaviours)), m_jitter(jitter), m_loss(lossRate),
      m_random(seed), m_start(start), m_challenges(store.size()), m_rebootUntil(store.size()),
      m_muted(store.size()) {
    m_behaviours.resize(store.size());
    store.forEach([this](const Camera& c) { m_onvifOnly.push_back(!c.maker.empty()); });
}

bool Responder::silent(std::size_t camera, Clock::time_point now) const {
    if (m_onvifOnly[camera])
        return true;
    if (m_muted[camera].load(std::memory_order_relaxed))
        return true;
    if (now.time_since_epoch().count() < m_rebootUntil[camera].load(std::memory_order_relaxed))
        return true;
    const auto& after = m_behaviours[camera].silentAfter;
    return after && now - m_start >= *after;
}

void Responder::silenceUntil(std::size_t camera, Clock::time_point until) {
    if (camera < m_rebootUntil.size())
        m_rebootUntil[camera].store(until.time_since_epoch().count(), std::memory_order_relaxed);
}

void Responder::setMuted(std::size_t camera, bool muted) {
    if (camera < m_muted.size())
        m_muted[camera].store(muted, std::memory_order_relaxed);
}

void Responder::answer(std::size_t camera, const MacAddress& to, std::uint32_t xid, Body body,
                       Clock::time_point now, std::vector<Outgoing>& out) {
    if (m_loss(m_random))
        return;
    auto delay = m_behaviours[camera].answerDelay;
    if (m_jitter.count() > 0)
        delay += std::chrono::milliseconds(
            std::uniform_int_distribution<long long>(0, m_jitter.count())(m_random));
    Frame f;
    f.dst = to;
    f.src = m_store.viewCamera(camera, [](const Camera& c) { return c.mac; });
    f.xid = xid;
    f.body = std::move(body);
    out.push_back({now + delay, encode(f)});
}

void Responder::handle(const Frame& in, Clock::time_point now, std::vector<Outgoing>& out) {
    if (std::holds_alternative<SearchRequest>(in.body)) {
        if (in.dst == kBroadcast)
            onSearch(in, now, out);
        return;
    }
    const auto camera = m_store.indexOf(in.dst);
    if (!camera || silent(*camera, now))
        return;
    if (std::holds_alternative<ChallengeRequest>(in.body))
        onChallengeRequest(*camera, in, now, out);
    else if (const auto* m = std::get_if<ModifyRequest>(&in.body))
        onModify(*camera, in, *m, now, out);
}

void Responder::onSearch(const Frame& in, Clock::time_point now, std::vector<Outgoing>& out) {
    for (std::size_t i = 0; i < m_store.size(); ++i) {
        if (silent(i, now))
            continue;
        SearchAnswer a = m_store.viewCamera(i, [](const Camera& c) {
            SearchAnswer s;
            s.device = deviceOf(c.mac);
            s.net = c.net;
            s.name = c.name;
            s.model = c.model;
            s.version = c.version;
            s.displayModel = c.displayModel;
            return s;
        });
        answer(i, in.src, in.xid, std::move(a), now, out);
    }
}

void Responder::onChallengeRequest(std::size_t camera, const Frame& in, Clock::time_point now,
                                   std::vector<Outgoing>& out) {
    OpenChallenge open;
    open.requester = in.src;
    open.xid = in.xid;
    open.issued = now;
    if (!randomNonce(open.nonce))
        return;
    auto& list = m_challenges[camera];
    if (list.size() == kOpenChallenges)
        list.pop_front();
    list.push_back(open);
    Challenge c;
    c.device = deviceOf(in.dst);
    c.nonce = open.nonce;
    answer(camera, in.src, in.xid, c, now, out);
}

void Responder::onModify(std::size_t camera, const Frame& in, const ModifyRequest& request,
                         Clock::time_point now, std::vector<Outgoing>& out) {
    // A nonce is good for one request, from the tool that asked for it, for a
    // limited time; anything else could be a replay.
    auto& list = m_challenges[camera];
    const auto it = std::find_if(list.begin(), list.end(), [&](const OpenChallenge& c) {
        return c.requester == in.src && c.xid == in.xid && c.nonce == request.nonce;
    });
    std::int32_t result = QVSP_RESULT_STALE_NONCE;
    if (it != list.end()) {
        const bool fresh = now - it->issued <= kChallengeLifetime;
        list.erase(it);
        if (fresh)
            result = apply(camera, request);
    }
    if (result == 0 && m_changed)
        m_changed(camera);
    ModifyResult r;
    r.device = request.device;
    r.result = result;
    answer(camera, in.src, in.xid, r, now, out);
}

std::int32_t Responder::apply(std::size_t camera, const ModifyRequest& request) {
    const auto& n = request.net;
    const std::int32_t checked = m_store.withCamera(camera, [&](Camera& c) {
        if (request.user != c.user || !proofMatches(c.password, request))
            return QVSP_RESULT_BAD_PROOF;
        // A name that is not UTF-8 could not be stored or shown anywhere.
        if (!usableHost(n.ip) || !prefixLength(n.netmask) || n.httpPort == 0 ||
            !qvipc::wire::isValidUtf8(request.name))
            return QVSP_RESULT_BAD_VALUES;
        c.net = n;
        if (!request.name.empty())
            c.name = request.name;
        return 0;
    });
    if (checked != 0)
        return checked;
    // The store undoes a change the interface refused.
    const bool kept = m_store.viewCamera(camera, [&](const Camera& c) { return c.net == n; });
    return kept ? 0 : QVSP_RESULT_BAD_VALUES;
}

} // namespace camsim
