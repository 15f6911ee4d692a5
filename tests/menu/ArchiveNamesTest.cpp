#include "TestSupport.h"

#include "menu/ArchiveNames.h"

class ArchiveNamesTest : public CModuleTest
{
};

TEST_F(ArchiveNamesTest, MayBeArchiveNameJudgesByTheExtensionTable)
{
    EXPECT_STREQ(L"VNTX", g_ArchiveExtensions[0]);
    EXPECT_STREQ(L"txt", g_ArchiveExtensions[kArchiveTypeCount]);
    EXPECT_STREQ(L"pdf", g_ArchiveExtensions[kArchiveExtensionCount - 1]);
    const struct
    {
        const wchar_t* Name;
        bool Expected;
    } cases[] = {{L"song.MP3", false}, {L"x.pdf", false},    {L"setup.exe", true},
                 {L"Makefile", true},  {L"image.iso", true}, {L"name.", true}};
    for (const auto& c : cases)
        EXPECT_EQ(c.Expected, MayBeArchiveName(c.Name)) << testing::PrintToString(CWideString(c.Name));
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
        EXPECT_EQ(CWideString(c.Expected), DeriveExtractFolderName(c.Name))
            << testing::PrintToString(CWideString(c.Name));
}

TEST_F(ArchiveNamesTest, DeriveArchiveBaseNameUsesTheNameAsOnDisk)
{
    CScratchFolder scratch;
    scratch.AddFolder(L"Docs.old");
    scratch.AddFolder(L"Project");
    for (const wchar_t* name : {L"photo.jpg", L"a.b.c", L".profile", L"Report.ZIP"})
        scratch.AddFile(name);
    const struct
    {
        const wchar_t* Asked;
        bool Several;
        const wchar_t* Expected;
    } cases[] = {
        {L"photo.jpg", false, L"photo"},       {L"a.b.c", false, L"a.b.c"},
        {L".profile", false, L".profile"},     {L"Docs.old", false, L"Docs.old"},
        {L"report.zip", false, L"Report"},     {L"missing.zip", false, L"Archive"},
        {L"pROJECT\\a.txt", true, L"Project"}, {L"NoSuchFolder\\a.txt", true, L"Archive"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWideString(c.Expected), DeriveArchiveBaseName(scratch.Path() + c.Asked, c.Several))
            << testing::PrintToString(CWideString(c.Asked));

    // Items at a drive root: the bare "C:" would name the current folder on that drive.
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\windows"));
    const CWideString atRoot = DeriveArchiveBaseName(L"C:\\a.txt", true);
    SetCurrentDirectoryW(current);
    EXPECT_EQ(CWideString(L"Archive"), atRoot);
}

namespace
{
// `count` units that make every slice recognisable; no "&", which a menu text doubles.
CWideString Pattern(int count)
{
    CWideString text;
    for (int i = 0; i < count; i++)
        text.Append(static_cast<wchar_t>(L'0' + i % 75));
    return text;
}
} // namespace

TEST_F(ArchiveNamesTest, ElideMiddleKeepsShortTextsAndCutsLongOnesTo69Units)
{
    EXPECT_EQ(Pattern(63), ElideMiddle(Pattern(63)));
    const CWideString hundred = Pattern(100);
    EXPECT_EQ(hundred.Prefix(32) + L" ... " + hundred.SliceFrom(68), ElideMiddle(hundred));
    EXPECT_EQ(L"\"" + hundred.Prefix(32) + L" ... " + hundred.SliceFrom(68) + L"\"", QuoteForMenu(hundred));
    EXPECT_EQ(69, ElideMiddle(Pattern(64)).Length());
}

TEST_F(ArchiveNamesTest, ElideMiddleNeverSplitsASurrogatePair)
{
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
        text.Erase(c.PairAt, 2);
        text.InsertAt(c.PairAt, L"\U0001F600");
        EXPECT_EQ(text.Prefix(c.HeadCount) + L" ... " + text.SliceFrom(c.TailStart), ElideMiddle(text))
            << "length " << c.Length << ", pair at " << c.PairAt;
    }
}
