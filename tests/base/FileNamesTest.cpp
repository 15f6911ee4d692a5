#include "BaseTest.h"

#include "base/FileNames.h"

class FileNamesTest : public CBothWidthsTest
{
};
INSTANTIATE_BOTH_WIDTHS(FileNamesTest);

TEST_P(FileNamesTest, FullPathFolderAndWhereTheLastComponentBegins)
{
    // {name, full path, index of the last component}; the folder is the full path up to the index.
    const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
        {L"C:\\Data\\a.txt", L"C:\\Data\\a.txt", 8},
        {L"C:\\Data\\", L"C:\\Data\\", 8},
        {L"C:\\", L"C:\\", 3},
        {L"C:\\Data\\..\\b.txt", L"C:\\b.txt", 3},
        {L"C:\\Data\\.\\x\\y.zip", L"C:\\Data\\x\\y.zip", 10},
        {L"C:/Data/a.txt", L"C:\\Data\\a.txt", 8},
        {L"C:\\Caf\x00E9\\R\x00E9sum\x00E9.txt", L"C:\\Caf\x00E9\\R\x00E9sum\x00E9.txt", 8},
        {L"C:\\Caf\x00E9\\\x00E9t\x00E9", L"C:\\Caf\x00E9\\\x00E9t\x00E9", 8},
    };
    // The ANSI path spells names in the code page of the file APIs, which may be the OEM one.
    for (bool oem : {false, true})
    {
        COemFileApisScope scope(oem);
        for (const auto& [name, expected, expectedIndex] : cases)
        {
            SCOPED_TRACE(::testing::Message() << (oem ? "OEM: " : "ANSI: ") << CWideString(name));
            CWideString fullPath(L"stale"), folder(L"stale");
            int index = -1;
            ASSERT_TRUE(ResolveFullPath(name, fullPath, index));
            EXPECT_EQ(CWideString(expected), fullPath);
            EXPECT_EQ(expectedIndex, index);
            ASSERT_TRUE(ResolveFullPathFolder(name, folder));
            EXPECT_EQ(CWideString(expected).Prefix(expectedIndex), folder);
        }
    }

    // A relative name that ends with a backslash is wholly the folder.
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    CWideString expected(current), fullPath;
    EnsureTrailingBackslash(expected);
    expected.Append(L"Data\\");
    int index = -1;
    ASSERT_TRUE(ResolveFullPath(L"Data\\", fullPath, index));
    EXPECT_EQ(expected, fullPath);
    EXPECT_EQ(expected.Length(), index);
}

TEST_P(FileNamesTest, AFullPathOfTwoHundredSixtyCharactersFails)
{
    for (int length : {259, 260, 303})
    {
        CWideString fullName(L"C:\\"), fullPath, folder;
        while (fullName.Length() < length)
            fullName.Append(L'a');
        int index = 0;
        EXPECT_EQ(length < 260, ResolveFullPath(fullName, fullPath, index)) << length << " characters";
        EXPECT_EQ(length < 260, ResolveFullPathFolder(fullName, folder));
        if (length < 260)
        {
            EXPECT_EQ(fullName, fullPath);
            EXPECT_EQ(3, index);
        }
    }
}

using TrailingBackslashTest = CModuleTest;

TEST_F(TrailingBackslashTest, AppendsOnlyWhereMissing)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Data", L"C:\\Data\\"}, {L"C:\\Data\\", L"C:\\Data\\"}, {L"Data", L"Data\\"}, {L"", L""}, {L"\\", L"\\"},
        {L"C:\\a\\b", L"C:\\a\\b\\"}};
    for (const auto& [input, expected] : cases)
    {
        CWideString path(input);
        EnsureTrailingBackslash(path);
        EXPECT_EQ(CWideString(expected), path) << input;
    }
}
