#include "BaseTest.h"

#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "base/TextConvert.h"

// The ANSI path spells names in the code page of the file APIs, which may be the OEM one: each
// name runs in both.
using FilesTest = CBothWidthsTest;
INSTANTIATE_BOTH_WIDTHS(FilesTest);

// {name, full path ("" when refused: 260 characters do not fit), index of the last component};
// the folder is the full path up to the index. A relative name ending with a backslash is a
// folder. Looked up, a name the code page cannot spell is not found, not taken for the file its
// "_" names.
TEST_P(FilesTest, FullPathsLookUpsAndReads)
{
    wchar_t current[MAX_PATH + 1] = {};
    const std::wstring here(current, GetCurrentDirectoryW(MAX_PATH, current)),
        name259 = L"C:\\" + std::wstring(256, L'a');
    const std::tuple<std::wstring, std::wstring, size_t> cases[] = {
        {L"C:\\Data\\", L"C:\\Data\\", 8},
        {L"C:\\", L"C:\\", 3},
        {L"C:\\Data\\..\\b.txt", L"C:\\b.txt", 3},
        {L"C:/Data/./x\\y.zip", L"C:\\Data\\x\\y.zip", 10},
        {L"C:\\Caf\x00E9\\R\x00E9sum\x00E9", L"C:\\Caf\x00E9\\R\x00E9sum\x00E9", 8},
        {L"Data\\", here + L"\\Data\\", here.size() + 6},
        {name259, name259, 3},
        {name259 + L"a", L"", 0}};
    CScratchFolder scratch;
    scratch.AddFolder(L"Sub Folder");
    scratch.AddFile(L"r\x00E9sum\x00E9.zip", "abc");
    scratch.AddFile(L"a_b.txt", "x");
    // {name looked up, entry name ("": not found), size, folder}
    const std::tuple<const wchar_t*, const wchar_t*, unsigned long long, bool> entries[] = {
        {L"Sub Folder", L"Sub Folder", 0, true},
        {L"*.zip", L"r\x00E9sum\x00E9.zip", 3, false},
        {L"r\x00E9sum\x00E9.zip", L"r\x00E9sum\x00E9.zip", 3, false},
        {L"missing.txt", L"", 0, false},
        {L"a\x2603\x0062.txt", L"", 0, false}};
    for (bool oem : {false, true})
    {
        (oem ? SetFileApisToOEM : SetFileApisToANSI)();
        EXPECT_EQ(static_cast<UINT>(oem ? CP_OEMCP : CP_ACP), FileApiCodePage()); // asked anew each time
        for (const auto& [name, expected, expectedIndex] : cases)
        {
            CWideString fullPath(L"stale"), folder(L"stale");
            int index = 0;
            EXPECT_EQ(!expected.empty(), ResolveFullPath(name.c_str(), fullPath, index))
                << oem << CWideString(name.c_str());
            EXPECT_EQ(!expected.empty(), ResolveFullPathFolder(name.c_str(), folder));
            EXPECT_EQ(std::make_tuple(CWideString(expected.c_str()), static_cast<int>(expectedIndex),
                                      CWideString(expected.substr(0, expectedIndex).c_str())),
                      std::make_tuple(fullPath, index, folder));
        }
        for (const auto& [name, entryName, size, folder] : entries)
        {
            CDirEntry entry;
            SetLastError(0);
            EXPECT_EQ(*entryName != 0, LookUpEntry(scratch.Path() + name, entry)) << oem << CWideString(name);
            EXPECT_EQ(*entryName != 0 ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
            EXPECT_EQ(std::make_tuple(CWideString(entryName), size, folder, *entryName != 0),
                      std::make_tuple(entry.EntryName, entry.ByteSize, entry.IsFolder(),
                                      entry.WriteTime.dwLowDateTime != 0 || entry.WriteTime.dwHighDateTime != 0));
        }
    }
    SetFileApisToANSI();
    // Opening another name closes the handle held before: else the next AddFile could not rewrite
    // the file. A size of all ones in the low word (a sparse file) is no failure, whatever error code
    // was left before.
    const DWORD big = 5 * 1024 * 1024;
    std::vector<char> bytes(big);
    for (DWORD i = 0; i < big; i++)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    CReadOnlyFile file;
    // {file size, bytes asked for, bytes read}; the buffer ends right at a no-access page, so a
    // transfer past the size asked for faults at once.
    for (const auto& [size, asked, read] :
         {std::make_tuple(10u, 64u, 10u), {0u, 4u, 0u}, {10u, 4u, 4u}, {big, big, big}})
    {
        ASSERT_TRUE(file.Open(scratch.AddFile(L"file.bin", bytes.data(), size)));
        unsigned long long querySize = 99;
        EXPECT_TRUE(file.QuerySize(querySize) && querySize == size) << querySize;
        AllocHooks::SetGuarded(true);
        char* buffer = static_cast<char*>(AllocateOrThrow(asked));
        AllocHooks::SetGuarded(false);
        DWORD total = 99, chunk = 0;
        EXPECT_TRUE(file.ReadAll(buffer, asked, total) && total == read && memcmp(buffer, bytes.data(), read) == 0)
            << size << ", " << asked << ": " << total;
        EXPECT_TRUE(file.OpenForReading(scratch.Path() + L"file.bin", true) && file.ReadChunk(buffer, asked, chunk) &&
                    chunk == std::min(read, 0x400000u))
            << chunk;
        FreeBlock(buffer);
        ASSERT_TRUE(file.Open(scratch.AddFile(L"other.bin")));
    }
    HANDLE handle = CreateFileW(scratch.Path() + L"file.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER end{{0xFFFFFFFFu, 0}};
    const bool sized = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    CloseHandle(handle);
    if (!sized)
        GTEST_SKIP() << "no room for a 4 GiB file here";
    ASSERT_TRUE(file.Open(scratch.Path() + L"file.bin"));
    SetLastError(ERROR_ACCESS_DENIED);
    unsigned long long size = 0;
    EXPECT_TRUE(file.QuerySize(size) && size == 0xFFFFFFFFull) << size;
}
