#include "log/LimitJudge.h"

#include <gtest/gtest.h>

using namespace varnetta::log;

// The judgement alone, as the command line or any other caller without a
// panel would use it.
TEST(LimitJudge, PassesBetweenTheLimitsBothIncludedAndFailsOutside)
{
    for (const char* inside : {"-1000", "0", "999.9", "1000"})
        EXPECT_TRUE(JudgeMainValue(inside, "1000", "-1000", ".").pass) << inside;
    for (const char* outside : {"-1000.1", "1000.01"})
        EXPECT_FALSE(JudgeMainValue(outside, "1000", "-1000", ".").pass) << outside;
}

TEST(LimitJudge, AValueThatIsNoNumberFailsAndALimitThatIsNoNumberCountsAsZero)
{
    for (const char* text : {"OL", "----", "", "nan", "inf"}) {
        const TLimitVerdict v = JudgeMainValue(text, "1e9", "-1e9", ".");
        EXPECT_FALSE(v.pass) << text;
        EXPECT_FALSE(v.value) << text;
    }
    EXPECT_TRUE(JudgeMainValue("0", "", "-", ".").pass);
    EXPECT_FALSE(JudgeMainValue("0.5", "1.2.3", "0", ".").pass);
}

TEST(LimitJudge, ReadsTheSeparatorTheValuesCarry)
{
    const TLimitVerdict v = JudgeMainValue("229,7", "230,0", "229,5", ",");
    ASSERT_TRUE(v.value);
    EXPECT_DOUBLE_EQ(*v.value, 229.7);
    EXPECT_TRUE(v.pass);
}
