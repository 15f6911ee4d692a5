#include "TestSupport.h"

#include "lang/Language.h"
#include "menu/CommandTable.h"

class CommandTableTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        // These tests expect the built-in English texts: the test prefix has no "Lang" value. The
        // language stays loaded for the whole process, before the leak count starts.
        LoadLanguageOnce();
        CModuleTest::SetUp();
        ASSERT_TRUE(g_LangTable.Entries.IsEmpty());
    }
};

TEST_F(CommandTableTest, FindCommandRowSearchesByIdNotPosition)
{
    const struct
    {
        UINT Id;
        int Row;
    } cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3},  {5, 4},  {10, 5},  {11, 6},
                 {8, 7}, {9, 8}, {6, 9}, {7, 10}, {0, -1}, {12, -1}, {0xFFFFFFFF, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.Row, FindCommandRow(c.Id)) << "id " << c.Id;
}

TEST_F(CommandTableTest, FlagBitsMakeTheDefaultMask)
{
    DWORD all = 0;
    for (const CMenuCommandInfo& info : g_MenuCommands)
    {
        EXPECT_EQ(0u, all & info.Flag) << "bit shared by two commands";
        all |= info.Flag;
    }
    EXPECT_EQ(0x3F37u, all);
    EXPECT_STREQ(L"Vantor", g_MainVerb);
}

TEST_F(CommandTableTest, FillCommandEntryGivesVerbHelpAndMenuText)
{
    const struct
    {
        UINT Id;
        const wchar_t* Verb;
        const wchar_t* Title;
        const wchar_t* Help;
    } cases[] = {
        {1, L"VantorOpen", L"Open archive", L"Opens the selected archive."},
        {2, L"VantorExtract", L"Extract files...", L"Extracts files from the selected archive."},
        {3, L"VantorExtractHere", L"Extract Here", L"Extracts files from the selected archive to current folder."},
        {4, L"VantorExtractTo", L"Extract to {0}", L"Extracts files to subfolder."},
        {5, L"VantorTest", L"Test archive", L"Tests integrity of the selected archive."},
        {6, L"VantorCompress", L"Add to archive...", L"Adds the selected items to archive."},
        {7, L"VantorCompressEmail", L"Compress and email...",
         L"Compresses the selected items to archive and sends archive via email."},
        {8, L"VantorCompressToVNTX", L"Add to {0}", L"Adds the selected items to archive."},
        {9, L"VantorCompressToVNTXEmail", L"Compress to {0} and email",
         L"Compresses the selected items to archive and sends archive via email."},
        {10, L"VantorCompressToZip", L"Add to {0}", L"Adds the selected items to archive."},
        {11, L"VantorCompressToZipEmail", L"Compress to {0} and email",
         L"Compresses the selected items to archive and sends archive via email."},
    };
    for (const auto& c : cases)
    {
        CWideString title;
        CCommandMapEntry entry;
        entry.Folder = L"kept";
        FillCommandEntry(c.Id, title, entry);
        EXPECT_EQ(c.Id, entry.CommandId);
        EXPECT_EQ(CWideString(c.Verb), entry.Verb) << c.Id;
        EXPECT_EQ(CWideString(c.Title), title) << c.Id;
        EXPECT_EQ(CWideString(c.Help), entry.HelpText) << c.Id;
        EXPECT_EQ(CWideString(L"kept"), entry.Folder) << "fields of the menu builder are left alone";
    }
}

TEST_F(CommandTableTest, FillCommandEntryWithAnUnknownIdFillsNothing)
{
    CWideString title(L"before");
    CCommandMapEntry entry;
    entry.CommandId = 77;
    FillCommandEntry(12, title, entry);
    EXPECT_EQ(CWideString(L"before"), title);
    EXPECT_EQ(77u, entry.CommandId);
    EXPECT_TRUE(entry.Verb.IsEmpty());
}
