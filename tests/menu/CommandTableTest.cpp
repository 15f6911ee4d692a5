#include "TestSupport.h"

#include "menu/CommandTable.h"

using CommandTableTest = CModuleTest;

// A front end that keeps no command map of its own finds a command by the verb the shell knows it
// by: the main verb and the command's own, joined, in the exact letter case, and nothing after it.
TEST_F(CommandTableTest, VerbFindsTheRowOfExactlyThatCommand)
{
    const std::pair<const wchar_t*, int> cases[] = {
        {L"VantorOpen", 0},
        {L"VantorExtractTo", 3},
        {L"VantorCompressToVNTXEmail", 8},
        {L"VantorCompress", 9},
        {L"VantorCompressEmail", 10},
        {L"VantorCompressT", -1},
        {L"VantorOpen ", -1},
        {L"vantorOpen", -1},
        {L"VantorOPEN", -1},
        {L"Open", -1},
        {L"Vantor", -1},
        {L"", -1},
        {nullptr, -1},
    };
    for (const auto& [verb, row] : cases)
        EXPECT_EQ(row, FindCommandRowByVerb(verb)) << (verb != nullptr ? verb : L"(null)");
}
