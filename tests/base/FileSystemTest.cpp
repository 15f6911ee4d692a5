#include "BaseTest.h"

#include "base/FileSystem.h"

#include <memory>
#include <vector>

class FileSystemTest : public CBothWidthsTest
{
protected:
    CScratchFolder Scratch;
};
INSTANTIATE_BOTH_WIDTHS(FileSystemTest);

TEST_P(FileSystemTest, LookUpEntryFindsFilesAndFoldersAndReportsMissingNames)
{
    Scratch.AddFile(L"report.zip", "12345");
    Scratch.AddFolder(L"Sub Folder");
    Scratch.AddFile(L"r\x00E9sum\x00E9.txt", "abc");
    Scratch.AddFile(L"a_b.txt", "x");
    // {name looked up, entry name (null: not found), size, folder}
    const std::tuple<const wchar_t*, const wchar_t*, unsigned long long, bool> cases[] = {
        {L"report.zip", L"report.zip", 5, false},
        {L"Sub Folder", L"Sub Folder", 0, true},
        {L"r\x00E9sum\x00E9.txt", L"r\x00E9sum\x00E9.txt", 3, false},
        {L"*.zip", L"report.zip", 5, false},
        {L"missing.txt", nullptr, 0, false},
        // A name the code page cannot spell is not found, not taken for the file its "_" names.
        {L"a\x2603\x0062.txt", nullptr, 0, false},
    };
    // The ANSI path spells names in the code page of the file APIs, which may be the OEM one.
    for (bool oem : {false, true})
    {
        COemFileApisScope scope(oem);
        for (const auto& [name, entryName, size, folder] : cases)
        {
            SCOPED_TRACE(::testing::Message() << (oem ? "OEM: " : "ANSI: ") << CWideString(name));
            CDirEntry entry;
            entry.EntryName = L"untouched";
            SetLastError(0);
            EXPECT_EQ(entryName != nullptr, LookUpEntry(Scratch.Path() + name, entry));
            EXPECT_EQ(entryName != nullptr ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
            EXPECT_EQ(CWideString(entryName != nullptr ? entryName : L"untouched"), entry.EntryName);
            EXPECT_EQ(size, entry.ByteSize);
            EXPECT_EQ(folder ? 0x10u : 0u, entry.Attributes & 0x10);
            EXPECT_EQ(entryName != nullptr, entry.WriteTime.dwLowDateTime != 0 || entry.WriteTime.dwHighDateTime != 0);
        }
    }
}

TEST_P(FileSystemTest, ReadAllStopsAtTheEndOfTheFile)
{
    // {file bytes, bytes asked for, bytes read}
    const std::tuple<const char*, DWORD, DWORD> cases[] = {
        {"", 0, 0}, {"", 4, 0}, {"0123456789", 64, 10}, {"0123456789", 4, 4}};
    for (const auto& [bytes, asked, read] : cases)
    {
        CReadOnlyFile file;
        ASSERT_TRUE(file.Open(Scratch.AddFile(L"file.txt", bytes)));
        unsigned long long fileSize = 99;
        EXPECT_TRUE(file.QuerySize(fileSize));
        EXPECT_EQ(strlen(bytes), fileSize);
        BYTE buffer[64] = {};
        DWORD total = 99;
        EXPECT_TRUE(file.ReadAll(buffer, asked, total)) << bytes << ", " << asked;
        EXPECT_EQ(read, total);
        EXPECT_EQ(0, memcmp(buffer, bytes, read));
    }
}

TEST_P(FileSystemTest, FiveMebibytesAreReadInChunksOfAtMostFour)
{
    const DWORD fileSize = 5 * 1024 * 1024;
    std::vector<char> bytes(fileSize);
    for (DWORD i = 0; i < fileSize; i++)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    const CWideString name = Scratch.AddFile(L"big.bin", bytes.data(), fileSize);
    CReadOnlyFile file;
    ASSERT_TRUE(file.OpenForReading(name, true));
    // The buffer ends right at a no-access page: a transfer past the size asked for faults at once.
    AllocHooks::SetGuarded(true);
    std::unique_ptr<char, void (*)(void*)> buffer(static_cast<char*>(AllocateOrThrow(fileSize)), FreeBlock);
    AllocHooks::SetGuarded(false);
    DWORD chunk = 0;
    ASSERT_TRUE(file.ReadChunk(buffer.get(), fileSize, chunk));
    EXPECT_EQ(0x400000u, chunk);

    CReadOnlyFile again;
    ASSERT_TRUE(again.Open(name));
    DWORD total = 0;
    ASSERT_TRUE(again.ReadAll(buffer.get(), fileSize, total));
    EXPECT_EQ(fileSize, total);
    EXPECT_EQ(0, memcmp(bytes.data(), buffer.get(), fileSize));
}

TEST_P(FileSystemTest, OpeningASecondNameClosesTheFirstHandle)
{
    const CWideString first = Scratch.AddFile(L"first.txt", "1");
    const CWideString second = Scratch.AddFile(L"second.txt", "2");
    CReadOnlyFile file;
    EXPECT_FALSE(file.Open(Scratch.Path() + L"missing.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_TRUE(file.Open(first));
    // Opened without delete sharing, the first file cannot be deleted while the handle lives.
    EXPECT_FALSE(DeleteFileW(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    ASSERT_TRUE(file.Open(second));
    EXPECT_TRUE(DeleteFileW(first));
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close()); // nothing held any more
}

TEST_P(FileSystemTest, AFileOfAllOnesInTheLowSizeWordStillReportsItsSize)
{
    const CWideString name = Scratch.AddFile(L"huge.bin");
    {
        // A sparse file: no disk space is taken for the hole.
        HANDLE handle = CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        DWORD returned = 0;
        DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = 0xFFFFFFFFll;
        const bool sized = SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
        CloseHandle(handle);
        if (!sized)
            GTEST_SKIP() << "no room for a 4 GiB file here";
    }
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(name));
    SetLastError(ERROR_ACCESS_DENIED); // a stale code from an earlier call must not count
    unsigned long long size = 0;
    EXPECT_TRUE(file.QuerySize(size));
    EXPECT_EQ(0xFFFFFFFFull, size);
}
