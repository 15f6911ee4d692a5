#pragma once

#include "TestSupport.h"

#include <tuple>

// Runs each test once through the wide entry points and once through the ANSI ones.
class CBothWidthsTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
protected:
    CWidePathScope Width{GetParam()};
};

#define INSTANTIATE_BOTH_WIDTHS(Suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(BothWidths, Suite, ::testing::Values(true, false),                                        \
                             [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; })

// The integer code an operation throws, or 0 when it throws none.
template <typename TOperation> int ThrownCode(TOperation operation)
{
    try
    {
        operation();
    }
    catch (int code)
    {
        return code;
    }
    return 0;
}
