#include "AnswerLedger.h"

#include <gtest/gtest.h>

using qvsp::AnswerLedger;
using qvsp::wire::MacAddress;

namespace {

MacAddress camera(int n) {
    return {
        0x02, 0x4f, 0x56, 0x10, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

} // namespace

TEST(AnswerLedger, ReportsEachCameraOncePerRoundAndLateAnswersOnlyWhenNew) {
    AnswerLedger ledger(8, 4);
    EXPECT_TRUE(ledger.Admit(camera(1), false));
    EXPECT_FALSE(ledger.Admit(camera(1), false));
    EXPECT_FALSE(ledger.Admit(camera(1), true)) << "the previous round is older than this answer";

    ledger.NewRound();
    EXPECT_TRUE(ledger.Admit(camera(2), true)) << "a late answer from a camera not yet reported";
    EXPECT_FALSE(ledger.Admit(camera(2), true));
    EXPECT_TRUE(ledger.Admit(camera(2), false));
    EXPECT_TRUE(ledger.Admit(camera(1), false));
    EXPECT_FALSE(ledger.Admit(camera(1), false));
}

TEST(AnswerLedger, StaysWithinItsCapacityAndForgetsSilentCameras) {
    AnswerLedger ledger(3, 2);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(ledger.Admit(camera(i), false));
    EXPECT_FALSE(ledger.Admit(camera(7), false));
    EXPECT_FALSE(ledger.Admit(camera(8), false));
    EXPECT_EQ(ledger.Refused(), 2u);
    EXPECT_EQ(ledger.Size(), 3u);

    ledger.NewRound();
    EXPECT_TRUE(ledger.Admit(camera(0), false)) << "known cameras keep being reported when full";
    EXPECT_TRUE(ledger.Knows(camera(1)));
    ledger.NewRound();
    EXPECT_FALSE(ledger.Knows(camera(1))) << "silent for two rounds";
    EXPECT_TRUE(ledger.Knows(camera(0)));
    EXPECT_EQ(ledger.Size(), 1u);
    EXPECT_TRUE(ledger.Admit(camera(7), false)) << "forgetting makes room";

    ledger.Clear();
    EXPECT_EQ(ledger.Size(), 0u);
    EXPECT_FALSE(ledger.Knows(camera(0)));
}
