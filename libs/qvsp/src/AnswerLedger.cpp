#include "AnswerLedger.h"

#include <algorithm>

namespace qvsp {

AnswerLedger::AnswerLedger(std::size_t capacity, std::uint32_t keepRounds)
    : m_capacity(capacity), m_keepRounds(std::max<std::uint32_t>(keepRounds, 1)) {
    m_lastRound.reserve(m_capacity);
}

void AnswerLedger::NewRound() {
    ++m_round;
    std::erase_if(m_lastRound,
                  [this](const auto& entry) { return m_round - entry.second >= m_keepRounds; });
}

bool AnswerLedger::Admit(const wire::MacAddress& camera, bool previousRound) {
    const std::uint32_t round = previousRound ? m_round - 1 : m_round;
    const auto it = m_lastRound.find(key(camera));
    if (it != m_lastRound.end()) {
        if (it->second >= round)
            return false;
        it->second = round;
        return true;
    }
    if (m_lastRound.size() >= m_capacity) {
        ++m_refused;
        return false;
    }
    m_lastRound.emplace(key(camera), round);
    return true;
}

bool AnswerLedger::Knows(const wire::MacAddress& camera) const {
    return m_lastRound.contains(key(camera));
}

void AnswerLedger::Clear() {
    m_lastRound.clear();
    m_refused = 0;
}

std::uint64_t AnswerLedger::key(const wire::MacAddress& mac) {
    std::uint64_t k = 0;
    for (const std::uint8_t b : mac)
        k = (k << 8) | b;
    return k;
}

} // namespace qvsp
