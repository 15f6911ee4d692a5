#include "TestSupport.h"

#include "menu/ArchiveNames.h"

using ArchiveNamesTest = CModuleTest;
using CNameCase = std::pair<const wchar_t*, const wchar_t*>;

TEST_F(ArchiveNamesTest, OnlyKnownNonArchiveExtensionsAreNoArchives)
{
    for (const wchar_t* name : {L"setup.exe", L"Makefile", L"image.iso", L"name."})
        EXPECT_TRUE(MayBeArchiveName(name)) << testing::PrintToString(CWideString(name));
    for (const wchar_t* name : {L"song.MP3", L"x.pdf"})
        EXPECT_FALSE(MayBeArchiveName(name)) << testing::PrintToString(CWideString(name));
}

TEST_F(ArchiveNamesTest, DeriveExtractFolderNameDropsExtensionAndVolumeMarkers)
{
    const CNameCase cases[] = {
        {L"backup.part01.rar", L"backup"},
        {L"backup.PART1.RAR", L"backup"},
        {L"a.part1.rar", L"a"}, // a one-letter set name
        {L"backup.part2.rar", L"backup.part2"},
        {L"data.zip.001", L"data"},
        {L"data.VNTX.001", L"data"},
        {L"data.tar.gz", L"data.tar"},
        {L"notes.txt.001", L"notes.txt"},
        {L"README", L"README~"},
        {L"name .zip", L"name"},
        {L".zip", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWideString(c.second), DeriveExtractFolderName(c.first))
            << testing::PrintToString(CWideString(c.first));
}

TEST_F(ArchiveNamesTest, ArchiveBaseNameIsTheFirstNameAsOnDiskOrTheFolderOfSeveral)
{
    CScratchFolder scratch;
    scratch.AddFolder(L"Docs.old");
    scratch.AddFolder(L"Project");
    for (const wchar_t* name : {L"photo.jpg", L"a.b.c", L".profile", L"Report.ZIP"})
        scratch.AddFile(name);
    // The first name alone, or (after a "*") the folder of several, as on disk.
    const CNameCase baseCases[] = {
        {L"photo.jpg", L"photo"},         {L"a.b.c", L"a.b.c"},
        {L".profile", L".profile"},       {L"Docs.old", L"Docs.old"},
        {L"report.zip", L"Report"},       {L"missing.zip", L"Archive"},
        {L"*pROJECT\\a.txt", L"Project"}, {L"*NoSuchFolder\\a.txt", L"Archive"},
    };
    for (const auto& c : baseCases)
        EXPECT_EQ(CWideString(c.second),
                  DeriveArchiveBaseName(scratch.Path() + (c.first + (c.first[0] == L'*')), c.first[0] == L'*'))
            << testing::PrintToString(CWideString(c.first));

    // Items at a drive root: the bare "C:" would name the current folder on that drive.
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
    const CWideString atRoot = DeriveArchiveBaseName(L"C:\\a.txt", true);
    SetCurrentDirectoryW(current);
    EXPECT_EQ(CWideString(L"Archive"), atRoot);
}

TEST_F(ArchiveNamesTest, ElideMiddleCutsTextsOver63UnitsButNeverASurrogatePair)
{
    const struct
    {
        int Length, PairAt, HeadCount, TailStart; // PairAt: index of the high surrogate; -1: none
        const wchar_t* Pair;
    } cases[] = {
        {63, -1, 63, 63, L""}, // short enough: unchanged
        // The head would end in the high surrogate: it ends before the pair; the first and last pairs.
        {100, 31, 31, 68, L"\U00010000"},
        {100, 31, 31, 68, L"\U0010FFFF"},
        // The tail would start with the low surrogate: it starts after the pair.
        {100, 67, 32, 69, L"\U00010000"},
        {100, 67, 32, 69, L"\U0010FFFF"},
        {100, 30, 32, 68, L"\U0001F600"}, // pair wholly inside the head
        {100, 68, 32, 68, L"\U0001F600"}, // pair wholly inside the tail
        {64, 31, 31, 33, L"\U0001F600"},  // both cuts fall inside the same pair
    };
    for (const auto& c : cases)
    {
        CWideString text; // units that make every slice recognisable
        for (int i = 0; i < c.Length; i++)
            text.Append(static_cast<wchar_t>(L'0' + i % 75));
        if (c.PairAt >= 0)
        {
            text.Erase(c.PairAt, 2);
            text.InsertAt(c.PairAt, c.Pair);
        }
        const CWideString expected =
            c.HeadCount == c.Length ? text : text.Prefix(c.HeadCount) + L" ... " + text.SliceFrom(c.TailStart);
        EXPECT_EQ(expected, ElideMiddle(text)) << "length " << c.Length << ", pair at " << c.PairAt;
    }
}
