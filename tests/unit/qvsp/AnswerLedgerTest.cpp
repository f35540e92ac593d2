#include "AnswerLedger.h"

#include <gtest/gtest.h>

namespace {

qvsp::wire::MacAddress camera(std::uint8_t n) {
    return {0x02, 0x4f, 0x56, 0x10, 0x00, n};
}

} // namespace

TEST(AnswerLedger, OneReportPerCameraAndRoundWithinItsCapacity) {
    qvsp::AnswerLedger ledger(3, 2);
    EXPECT_TRUE(ledger.Admit(camera(1), false));
    EXPECT_FALSE(ledger.Admit(camera(1), false));
    EXPECT_FALSE(ledger.Admit(camera(1), true)) << "the previous round is older than this answer";
    ledger.NewRound();
    EXPECT_TRUE(ledger.Admit(camera(2), true)) << "a late answer from a camera not yet reported";
    EXPECT_TRUE(ledger.Admit(camera(2), false));
    EXPECT_TRUE(ledger.Admit(camera(3), false));
    EXPECT_FALSE(ledger.Admit(camera(4), false)) << "full";
    EXPECT_TRUE(ledger.Admit(camera(1), false)) << "known cameras are still reported when full";
    ledger.NewRound();
    ledger.NewRound();
    EXPECT_FALSE(ledger.Knows(camera(1))) << "silent for two rounds";
    EXPECT_TRUE(ledger.Admit(camera(4), false)) << "forgetting makes room";
    EXPECT_EQ(ledger.Refused(), 1u);
}
