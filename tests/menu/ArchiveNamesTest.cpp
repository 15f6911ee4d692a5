#include "TestSupport.h"

#include "menu/ArchiveNames.h"

#include <string>

class ArchiveNamesTest : public CModuleTest
{
};

TEST_F(ArchiveNamesTest, ExtensionTableHoldsTheArchiveTypesThenTheNonArchives)
{
    const wchar_t* const types[] = {L"VNTX", L"bz2", L"gz", L"rar", L"zip"};
    for (int i = 0; i < kArchiveTypeCount; i++)
        EXPECT_STREQ(types[i], g_ArchiveExtensions[i]);
    for (int i = 0; i < kArchiveExtensionCount; i++)
        ASSERT_NE(nullptr, g_ArchiveExtensions[i]) << i;
    EXPECT_STREQ(L"txt", g_ArchiveExtensions[5]);
    EXPECT_STREQ(L"mp3", g_ArchiveExtensions[35]);
    EXPECT_STREQ(L"manifest", g_ArchiveExtensions[78]);
    EXPECT_STREQ(L"pdf", g_ArchiveExtensions[113]);
}

TEST_F(ArchiveNamesTest, MayBeArchiveNameJudgesByExtensionOnly)
{
    const struct
    {
        const wchar_t* Name;
        bool Expected;
    } cases[] = {
        {L"song.MP3", false}, {L"song.mp3", false}, {L"page.Html", false}, {L"x.pdf", false},
        {L"setup.exe", true}, {L"Makefile", true},  {L"image.iso", true},  {L"report.zip", true},
        {L"name.", true},     {L"a.txt.gz", true},  {L"a.gz.txt", false},  {L"x.mpeg4", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, MayBeArchiveName(c.Name)) << testing::PrintToString(CWideString(c.Name));
}

TEST_F(ArchiveNamesTest, IsArchiveTypeExtensionIgnoresCaseAndKnowsOnlyTheFiveTypes)
{
    EXPECT_TRUE(IsArchiveTypeExtension(L"vntx"));
    EXPECT_TRUE(IsArchiveTypeExtension(L"ZIP"));
    EXPECT_TRUE(IsArchiveTypeExtension(L"Bz2"));
    EXPECT_FALSE(IsArchiveTypeExtension(L"tar"));
    EXPECT_FALSE(IsArchiveTypeExtension(L"txt"));
    EXPECT_FALSE(IsArchiveTypeExtension(L""));
}

TEST_F(ArchiveNamesTest, DeriveExtractFolderNameDropsExtensionAndVolumeMarkers)
{
    const struct
    {
        const wchar_t* Name;
        const wchar_t* Expected;
    } cases[] = {
        {L"report.zip", L"report"},
        {L"backup.part01.rar", L"backup"},
        {L"backup.PART1.RAR", L"backup"},
        {L"backup.part001.rar", L"backup"},
        {L"backup.part2.rar", L"backup.part2"},
        {L"backup.part01.zip", L"backup.part01"},
        {L"data.zip.001", L"data"},
        {L"data.VNTX.001", L"data"},
        {L"data.gz.002", L"data.gz"},
        {L"data.tar.gz", L"data.tar"},
        {L"notes.txt.001", L"notes.txt"},
        {L"README", L"README~"},
        {L"name .zip", L"name"},
        {L"name .part1 .rar", L"name"},
        {L"name\t.zip", L"name"},
        {L".zip", L""},
        {L".part1.rar", L".part1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWideString(c.Expected), DeriveExtractFolderName(c.Name))
            << testing::PrintToString(CWideString(c.Name));
}

TEST_F(ArchiveNamesTest, DeriveArchiveBaseNameForOneItemUsesItsNameAsOnDisk)
{
    CScratchFolder scratch;
    const struct
    {
        const wchar_t* Created;
        bool Folder;
        const wchar_t* Asked;
        const wchar_t* Expected;
    } cases[] = {
        {L"photo.jpg", false, L"photo.jpg", L"photo"},
        {L"a.b.c", false, L"a.b.c", L"a.b.c"},
        {L".profile", false, L".profile", L".profile"},
        {L"Docs.old", true, L"Docs.old", L"Docs.old"},
        {L"Mixed.Case.txt", false, L"mixed.case.TXT", L"Mixed.Case.txt"},
        {L"Report.ZIP", false, L"report.zip", L"Report"},
        {nullptr, false, L"missing.zip", L"Archive"},
    };
    for (const auto& c : cases)
    {
        if (c.Created != nullptr)
        {
            if (c.Folder)
                scratch.AddFolder(c.Created);
            else
                scratch.AddFile(c.Created);
        }
        EXPECT_EQ(CWideString(c.Expected), DeriveArchiveBaseName(scratch.Path() + c.Asked, false))
            << testing::PrintToString(CWideString(c.Asked));
    }
}

TEST_F(ArchiveNamesTest, DeriveArchiveBaseNameForSeveralItemsUsesTheFolderAsOnDisk)
{
    CScratchFolder scratch;
    scratch.AddFolder(L"Work");
    scratch.AddFolder(L"Work\\Project");
    scratch.AddFile(L"Work\\Project\\a.txt");
    EXPECT_EQ(CWideString(L"Project"), DeriveArchiveBaseName(scratch.Path() + L"WORK\\pROJECT\\a.txt", true));
    // The items need not exist: only their folder is looked up.
    EXPECT_EQ(CWideString(L"Project"), DeriveArchiveBaseName(scratch.Path() + L"work\\project\\gone.txt", true));
    EXPECT_EQ(CWideString(L"Archive"), DeriveArchiveBaseName(scratch.Path() + L"NoSuchFolder\\a.txt", true));
}

TEST_F(ArchiveNamesTest, DeriveArchiveBaseNameTakesTheAnsiPathOnWindows98)
{
    CWidePathScope ansi(false);
    CScratchFolder scratch;
    scratch.AddFolder(L"D\u00e9j\u00e0");
    scratch.AddFile(L"D\u00e9j\u00e0\\R\u00e9sum\u00e9.doc");
    EXPECT_EQ(CWideString(L"R\u00e9sum\u00e9"),
              DeriveArchiveBaseName(scratch.Path() + L"D\u00e9j\u00e0\\r\u00e9sum\u00e9.doc", false));
    EXPECT_EQ(CWideString(L"D\u00e9j\u00e0"), DeriveArchiveBaseName(scratch.Path() + L"D\u00e9j\u00e0\\x", true));
}

namespace
{
// A text of `count` units "A", "B", ... repeating, so every slice is recognisable.
CWideString Pattern(int count)
{
    CWideString text;
    for (int i = 0; i < count; i++)
        text.Append(static_cast<wchar_t>(L'!' + i % 90));
    return text;
}
} // namespace

TEST_F(ArchiveNamesTest, ElideMiddleKeepsShortTextsAndCutsLongOnesTo69Units)
{
    EXPECT_EQ(Pattern(63), ElideMiddle(Pattern(63)));
    EXPECT_EQ(CWideString(L""), ElideMiddle(L""));

    const CWideString hundred = Pattern(100);
    const CWideString elided = ElideMiddle(hundred);
    EXPECT_EQ(hundred.Prefix(32) + L" ... " + hundred.SliceFrom(68), elided);
    EXPECT_EQ(69, elided.Length());

    const CWideString sixtyFour = Pattern(64);
    EXPECT_EQ(sixtyFour.Prefix(32) + L" ... " + sixtyFour.SliceFrom(32), ElideMiddle(sixtyFour));
    EXPECT_EQ(69, ElideMiddle(sixtyFour).Length());
}

TEST_F(ArchiveNamesTest, ElideMiddleNeverSplitsASurrogatePair)
{
    const wchar_t high = 0xD83D, low = 0xDE00; // one character outside the basic plane
    const struct
    {
        int Length;
        int PairAt; // index of the high surrogate
        int HeadCount;
        int TailStart;
    } cases[] = {
        {100, 31, 31, 68}, // the head would end in the high surrogate: it ends before the pair
        {100, 67, 32, 69}, // the tail would start with the low surrogate: it starts after the pair
        {100, 30, 32, 68}, // pair wholly inside the head
        {100, 68, 32, 68}, // pair wholly inside the tail
        {64, 31, 31, 33},  // both cuts fall inside the same pair
    };
    for (const auto& c : cases)
    {
        CWideString text = Pattern(c.Length);
        CWideString pair;
        pair.Append(high).Append(low);
        text.Erase(c.PairAt, 2);
        text.InsertAt(c.PairAt, pair);
        const CWideString expected = text.Prefix(c.HeadCount) + L" ... " + text.SliceFrom(c.TailStart);
        EXPECT_EQ(expected, ElideMiddle(text)) << "length " << c.Length << ", pair at " << c.PairAt;
    }
}

TEST_F(ArchiveNamesTest, QuoteForMenuQuotesTheShortenedText)
{
    EXPECT_EQ(CWideString(L"\"Project.zip\""), QuoteForMenu(L"Project.zip"));
    EXPECT_EQ(CWideString(L"\"report\\\""), QuoteForMenu(L"report\\"));
    const CWideString hundred = Pattern(100);
    EXPECT_EQ(L"\"" + hundred.Prefix(32) + L" ... " + hundred.SliceFrom(68) + L"\"", QuoteForMenu(hundred));
}
