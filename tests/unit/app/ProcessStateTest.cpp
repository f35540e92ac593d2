#include "app/ProcessState.h"

#include <gtest/gtest.h>

TEST(OemMode, OnlyAnExactFirstArgumentSwitchesItOn) {
    const char* plain[] = {"orvantix"};
    const char* oem[] = {"orvantix", "qvoem"};
    const char* upper[] = {"orvantix", "QVOEM"};
    const char* second[] = {"orvantix", "x", "qvoem"};
    const char* longer[] = {"orvantix", "qvoem2"};
    EXPECT_FALSE(orv::ParseOemMode(1, plain));
    EXPECT_TRUE(orv::ParseOemMode(2, oem));
    EXPECT_FALSE(orv::ParseOemMode(2, upper));
    EXPECT_FALSE(orv::ParseOemMode(3, second));
    EXPECT_FALSE(orv::ParseOemMode(2, longer));
}
