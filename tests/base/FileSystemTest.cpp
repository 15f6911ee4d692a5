#include "TestSupport.h"

#include "base/FileSystem.h"

#include <vector>

class FileSystemTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
protected:
    CScratchFolder Scratch;
};

INSTANTIATE_TEST_SUITE_P(BothWidths, FileSystemTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; });

namespace
{
// A block of the module's heap that ends right at a no-access page, so that a read past the
// size asked for faults at once.
class CGuardedBlock
{
public:
    explicit CGuardedBlock(size_t size)
    {
        AllocHooks::SetGuarded(true);
        _block = static_cast<BYTE*>(AllocateOrThrow(size));
        AllocHooks::SetGuarded(false);
    }
    ~CGuardedBlock() { FreeBlock(_block); }
    BYTE* Get() const { return _block; }

private:
    BYTE* _block;
};

CWideString WriteFileOfSize(CScratchFolder& scratch, const wchar_t* name, size_t size)
{
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = static_cast<char>(i * 7 + i / 4096);
    return scratch.AddFile(name, bytes.data(), size);
}
} // namespace

TEST_P(FileSystemTest, LookUpEntryFindsFilesAndFoldersAndReportsMissingNames)
{
    CWidePathScope width(GetParam());
    Scratch.AddFile(L"report.zip", "12345");
    Scratch.AddFolder(L"Sub Folder");
    Scratch.AddFile(L"r\x00E9sum\x00E9.txt", "abc");
    const struct
    {
        const wchar_t* Name;
        bool Found;
        const wchar_t* EntryName;
        unsigned long long Size;
        bool Folder;
    } cases[] = {
        {L"report.zip", true, L"report.zip", 5, false},
        {L"Sub Folder", true, L"Sub Folder", 0, true},
        {L"r\x00E9sum\x00E9.txt", true, L"r\x00E9sum\x00E9.txt", 3, false},
        {L"*.zip", true, L"report.zip", 5, false},
        {L"missing.txt", false, L"", 0, false},
    };
    for (const auto& c : cases)
    {
        CDirEntry entry;
        entry.EntryName = L"untouched";
        SetLastError(0);
        EXPECT_EQ(c.Found, LookUpEntry(Scratch.Path() + c.Name, entry)) << c.Name;
        if (!c.Found)
        {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
            EXPECT_EQ(CWideString(L"untouched"), entry.EntryName);
            continue;
        }
        EXPECT_EQ(CWideString(c.EntryName), entry.EntryName);
        EXPECT_EQ(c.Size, entry.ByteSize) << c.Name;
        EXPECT_EQ(c.Folder, (entry.Attributes & 0x10) != 0) << c.Name;
        EXPECT_EQ(c.Folder, entry.IsFolder());
        EXPECT_NE(0u, entry.WriteTime.dwLowDateTime | entry.WriteTime.dwHighDateTime);
    }
}

TEST_P(FileSystemTest, LookUpEntrySpellsNamesInTheOemCodePageWhileTheFileApisAreOem)
{
    CWidePathScope width(GetParam());
    Scratch.AddFile(L"caf\x00E9.txt", "x");
    CDirEntry entry;
    SetFileApisToOEM();
    const bool found = LookUpEntry(Scratch.Path() + L"caf\x00E9.txt", entry);
    SetFileApisToANSI();
    ASSERT_TRUE(found);
    EXPECT_EQ(CWideString(L"caf\x00E9.txt"), entry.EntryName);
}

TEST_P(FileSystemTest, AnEmptyFileHasSizeZeroAndReadsAtOnce)
{
    CWidePathScope width(GetParam());
    const CWideString name = Scratch.AddFile(L"empty.txt");
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(name));
    unsigned long long size = 99;
    EXPECT_TRUE(file.QuerySize(size));
    EXPECT_EQ(0u, size);
    BYTE buffer[4];
    DWORD total = 99;
    EXPECT_TRUE(file.ReadAll(buffer, 0, total));
    EXPECT_EQ(0u, total);
    EXPECT_TRUE(file.ReadAll(buffer, sizeof(buffer), total)); // end of file at once
    EXPECT_EQ(0u, total);
}

TEST_P(FileSystemTest, FiveMebibytesAreReadInChunksOfAtMostFour)
{
    CWidePathScope width(GetParam());
    const DWORD fileSize = 5 * 1024 * 1024;
    const CWideString name = WriteFileOfSize(Scratch, L"big.bin", fileSize);
    CReadOnlyFile file;
    ASSERT_TRUE(file.OpenForReading(name, true));
    unsigned long long size = 0;
    ASSERT_TRUE(file.QuerySize(size));
    EXPECT_EQ(fileSize, size);

    CGuardedBlock buffer(fileSize);
    DWORD chunk = 0;
    ASSERT_TRUE(file.ReadChunk(buffer.Get(), fileSize, chunk));
    EXPECT_EQ(0x400000u, chunk);

    CReadOnlyFile again;
    ASSERT_TRUE(again.Open(name));
    DWORD total = 0;
    ASSERT_TRUE(again.ReadAll(buffer.Get(), fileSize, total));
    EXPECT_EQ(fileSize, total);
    bool same = true;
    for (DWORD i = 0; i < fileSize && same; i++)
        same = buffer.Get()[i] == static_cast<BYTE>(i * 7 + i / 4096);
    EXPECT_TRUE(same);
}

TEST_P(FileSystemTest, ReadAllStopsAtTheEndOfAShorterFile)
{
    CWidePathScope width(GetParam());
    const CWideString name = Scratch.AddFile(L"short.txt", "0123456789");
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(name));
    BYTE buffer[64] = {};
    DWORD total = 0;
    EXPECT_TRUE(file.ReadAll(buffer, sizeof(buffer), total));
    EXPECT_EQ(10u, total);
    EXPECT_EQ(0, memcmp(buffer, "0123456789", 10));
}

TEST_P(FileSystemTest, OpeningASecondNameClosesTheFirstHandle)
{
    CWidePathScope width(GetParam());
    const CWideString first = Scratch.AddFile(L"first.txt", "1");
    const CWideString second = Scratch.AddFile(L"second.txt", "2");
    CReadOnlyFile file;
    ASSERT_TRUE(file.Open(first));
    // Opened without delete sharing, the first file cannot be deleted while the handle lives.
    EXPECT_FALSE(DeleteFileW(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    ASSERT_TRUE(file.Open(second));
    EXPECT_TRUE(DeleteFileW(first));
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close()); // nothing held any more
}

TEST_P(FileSystemTest, OpeningAMissingFileFailsWithTheSystemsCode)
{
    CWidePathScope width(GetParam());
    CReadOnlyFile file;
    EXPECT_FALSE(file.Open(Scratch.Path() + L"missing.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(file.Close());
}

class FileSizeTest : public CModuleTest
{
protected:
    CScratchFolder Scratch;
};

TEST_F(FileSizeTest, AFileOfAllOnesInTheLowSizeWordStillReportsItsSize)
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
