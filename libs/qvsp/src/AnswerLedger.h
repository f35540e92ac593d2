#pragma once

// Which cameras have answered which search round on one adapter. A camera is
// reported once per round however often it answers, and the ledger never
// holds more than a fixed number of cameras, so a station that floods the
// segment with answers from invented MACs costs neither memory nor callbacks
// beyond that bound.

#include "qvsp/wire/Frame.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace qvsp {

class AnswerLedger {
public:
    // `capacity`: cameras tracked at once; `keepRounds`: rounds after which a
    // silent camera is forgotten.
    AnswerLedger(std::size_t capacity, std::uint32_t keepRounds);

    // Starts the next search round and forgets the cameras that have been
    // silent for `keepRounds` rounds.
    void NewRound();

    // True when this is the camera's first answer to the round (the current
    // one, or with `previousRound` the one before) and it should be reported.
    // False for a repeat, for an answer to the previous round from a camera
    // that already answered the current one, and for a camera not yet known
    // while the ledger is full.
    bool Admit(const wire::MacAddress& camera, bool previousRound);

    // The camera answered within the kept rounds.
    bool Knows(const wire::MacAddress& camera) const;

    std::size_t Size() const { return m_lastRound.size(); }
    // Answers of unknown cameras turned away because the ledger was full.
    std::uint64_t Refused() const { return m_refused; }

    void Clear();

private:
    static std::uint64_t key(const wire::MacAddress& mac);

    const std::size_t m_capacity;
    const std::uint32_t m_keepRounds;
    // Rounds count from 1, so round 0 (the one before the first) is never
    // mistaken for a reported one.
    std::uint32_t m_round = 1;
    std::uint64_t m_refused = 0;
    std::unordered_map<std::uint64_t, std::uint32_t> m_lastRound; // camera -> last reported round
};

} // namespace qvsp
