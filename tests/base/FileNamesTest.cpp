#include "TestSupport.h"

#include "base/FileNames.h"

class FileNamesTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
};

INSTANTIATE_TEST_SUITE_P(BothWidths, FileNamesTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; });

namespace
{
CWideString Repeated(wchar_t unit, int count)
{
    CWideString text;
    for (int i = 0; i < count; i++)
        text.Append(unit);
    return text;
}
} // namespace

TEST_P(FileNamesTest, FullPathAndWhereItsLastComponentBegins)
{
    CWidePathScope width(GetParam());
    const struct
    {
        const wchar_t* Name;
        const wchar_t* FullPath;
        int FileNameIndex;
    } cases[] = {
        {L"C:\\Data\\a.txt", L"C:\\Data\\a.txt", 8},
        {L"C:\\Data\\", L"C:\\Data\\", 8},
        {L"C:\\", L"C:\\", 3},
        {L"C:\\Data\\..\\b.txt", L"C:\\b.txt", 3},
        {L"C:\\Data\\.\\x\\y.zip", L"C:\\Data\\x\\y.zip", 10},
        {L"C:/Data/a.txt", L"C:\\Data\\a.txt", 8},
        {L"C:\\Caf\x00E9\\R\x00E9sum\x00E9.txt", L"C:\\Caf\x00E9\\R\x00E9sum\x00E9.txt", 8},
    };
    for (const auto& c : cases)
    {
        CWideString fullPath(L"stale");
        int index = -1;
        ASSERT_TRUE(ResolveFullPath(c.Name, fullPath, index)) << c.Name;
        EXPECT_EQ(CWideString(c.FullPath), fullPath) << c.Name;
        EXPECT_EQ(c.FileNameIndex, index) << c.Name;
    }
}

TEST_P(FileNamesTest, ARelativeFolderNameIsWhollyTheFolder)
{
    CWidePathScope width(GetParam());
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    CWideString expected(current);
    EnsureTrailingBackslash(expected);
    expected.Append(L"Data\\");
    CWideString fullPath;
    int index = -1;
    ASSERT_TRUE(ResolveFullPath(L"Data\\", fullPath, index));
    EXPECT_EQ(expected, fullPath);
    EXPECT_EQ(expected.Length(), index);
}

TEST_P(FileNamesTest, FolderOfANameEndsWithItsBackslash)
{
    CWidePathScope width(GetParam());
    const struct
    {
        const wchar_t* Name;
        const wchar_t* Folder;
    } cases[] = {
        {L"C:\\Data\\a.txt", L"C:\\Data\\"},
        {L"C:\\Data\\Sub\\", L"C:\\Data\\Sub\\"},
        {L"C:\\", L"C:\\"},
        {L"C:\\Caf\x00E9\\x", L"C:\\Caf\x00E9\\"},
    };
    for (const auto& c : cases)
    {
        CWideString folder;
        ASSERT_TRUE(ResolveFullPathFolder(c.Name, folder)) << c.Name;
        EXPECT_EQ(CWideString(c.Folder), folder) << c.Name;
    }
}

TEST_P(FileNamesTest, AFullPathOfTwoHundredSixtyCharactersFails)
{
    CWidePathScope width(GetParam());
    const struct
    {
        int NameLength;
        bool Resolved;
    } cases[] = {{256, true}, {257, false}, {300, false}}; // "C:\\" and this many characters
    for (const auto& c : cases)
    {
        const CWideString fullName = CWideString(L"C:\\") + Repeated(L'a', c.NameLength);
        CWideString fullPath;
        int index = 0;
        EXPECT_EQ(c.Resolved, ResolveFullPath(fullName, fullPath, index)) << fullName.Length() << " characters";
        if (c.Resolved)
        {
            EXPECT_EQ(fullName, fullPath);
            EXPECT_EQ(3, index);
        }
        CWideString folder;
        EXPECT_EQ(c.Resolved, ResolveFullPathFolder(fullName, folder));
    }
}

TEST_P(FileNamesTest, TheAnsiPathSpellsNamesInTheOemCodePageWhileTheFileApisAreOem)
{
    CWidePathScope width(GetParam());
    SetFileApisToOEM();
    CWideString fullPath;
    int index = 0;
    const bool resolved = ResolveFullPath(L"C:\\Caf\x00E9\\\x00E9t\x00E9", fullPath, index);
    SetFileApisToANSI();
    ASSERT_TRUE(resolved);
    EXPECT_EQ(CWideString(L"C:\\Caf\x00E9\\\x00E9t\x00E9"), fullPath);
    EXPECT_EQ(8, index);
}

class TrailingBackslashTest : public CModuleTest
{
};

TEST_F(TrailingBackslashTest, AppendsOnlyWhereMissing)
{
    const struct
    {
        const wchar_t* Path;
        const wchar_t* Expected;
    } cases[] = {
        {L"C:\\Data", L"C:\\Data\\"}, {L"C:\\Data\\", L"C:\\Data\\"}, {L"Data", L"Data\\"}, {L"", L""}, {L"\\", L"\\"},
        {L"C:\\a\\b", L"C:\\a\\b\\"},
    };
    for (const auto& c : cases)
    {
        CWideString path(c.Path);
        EnsureTrailingBackslash(path);
        EXPECT_EQ(CWideString(c.Expected), path) << c.Path;
    }
}
