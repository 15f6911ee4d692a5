#include "TestSupport.h"

#include "base/WideString.h"

class StringTest : public CModuleTest
{
};

TEST_F(StringTest, AppendingUnitsFollowsTheGrowthSteps)
{
    CWideString text;
    EXPECT_EQ(4, text.Capacity());
    const int expected[] = {4, 4, 4, 9, 9, 9, 9, 9, 26};
    for (int i = 0; i < 9; i++)
    {
        text.Append(L'x');
        EXPECT_EQ(expected[i], text.Capacity()) << "after " << (i + 1) << " units";
    }
}
