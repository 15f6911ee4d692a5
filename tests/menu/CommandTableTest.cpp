#include "TestSupport.h"

#include "lang/Language.h"
#include "menu/CommandTable.h"

class CommandTableTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        // Built-in English texts: the test prefix has no "Lang" value. The language stays loaded
        // for the whole process, so it is loaded before the leak count starts.
        LoadLanguageOnce();
        CModuleTest::SetUp();
        ASSERT_TRUE(g_LangTable.Entries.IsEmpty());
    }
};

TEST_F(CommandTableTest, RowsAreFoundByCommandIdAndTheirBitsMakeTheDefaultMask)
{
    const struct
    {
        UINT Id;
        int Row;
    } cases[] = {{1, 0}, {8, 7}, {6, 9}, {7, 10}, {0, -1}, {12, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.Row, FindCommandRow(c.Id)) << "id " << c.Id;
    DWORD all = 0;
    for (const CMenuCommandInfo& info : g_MenuCommands)
        all |= info.Flag;
    EXPECT_EQ(0x3F37u, all);
}

TEST_F(CommandTableTest, FillCommandEntryGivesVerbHelpAndMenuTextWithItsPlaceholder)
{
    CWideString title;
    CCommandMapEntry entry;
    FillCommandEntry(4, title, entry);
    EXPECT_EQ(4u, entry.CommandId);
    EXPECT_EQ(CWideString(L"VantorExtractTo"), entry.Verb);
    EXPECT_EQ(CWideString(L"Extracts files to subfolder."), entry.HelpText);
    EXPECT_EQ(CWideString(L"Extract to {0}"), title);

    FillCommandEntry(9, title, entry);
    EXPECT_EQ(CWideString(L"VantorCompressToVNTXEmail"), entry.Verb);
    EXPECT_EQ(CWideString(L"Compress to {0} and email"), title);

    // An unknown id fills nothing.
    FillCommandEntry(12, title, entry);
    EXPECT_EQ(9u, entry.CommandId);
    EXPECT_EQ(CWideString(L"Compress to {0} and email"), title);
}
