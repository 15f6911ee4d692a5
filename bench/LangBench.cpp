#include "BenchHarness.h"

#include "base/FileSystem.h"
#include "lang/LangTable.h"

#include <cstdio>
#include <string>

namespace
{
const int kLargeEntryCount = 30000;
// A real translation: about 50 KB and 1,500 entries.
const int kSmallEntryCount = 1500;
// One load of the small file takes well under a millisecond: its measure repeats it.
const int kSmallFileRepeats = 20;
// Each entry's text, "Übersetzung 00000" and a line feed, in UTF-16 units.
const int kTextUnits = 18;

enum class EIdOrder
{
    Ascending, // as translators' files are written
    Scrambled, // so that the sort has real work
};

// A language file in the temporary folder, one entry per line, padded with a trailing comment to
// `size` bytes when that is larger; written once and removed when the program ends.
class CBenchLangFile
{
public:
    CBenchLangFile(const wchar_t* name, int entryCount, EIdOrder order, size_t size) : _entryCount(entryCount)
    {
        wchar_t folder[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, folder);
        _path = CWideString(folder) + name;

        std::string bytes = ";!@Lang@!UTF-8! Benchmark\n";
        for (int i = 0; i < entryCount; i++)
        {
            char line[80];
            const int index = order == EIdOrder::Ascending ? i : static_cast<int>((i * 7919LL) % entryCount);
            const unsigned id = 0x02000000u + static_cast<unsigned>(index);
            std::snprintf(line, sizeof(line),
                          "%08X = \"\xC3\x9C"
                          "bersetzung %05d\\n\"\n",
                          id, i);
            bytes += line;
        }
        if (bytes.size() < size)
        {
            bytes += ";";
            bytes.resize(size, 'x');
        }

        HANDLE file = CreateFileW(_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    ~CBenchLangFile() { DeleteFileW(_path); }
    CBenchLangFile(const CBenchLangFile&) = delete;
    CBenchLangFile& operator=(const CBenchLangFile&) = delete;

    const CWideString& Path() const { return _path; }
    int EntryCount() const { return _entryCount; }

private:
    CWideString _path;
    int _entryCount;
};

const CBenchLangFile& LargeFile()
{
    static CBenchLangFile file(L"VantorLangBench.txt", kLargeEntryCount, EIdOrder::Ascending, kMaxLangFileSize);
    return file;
}

const CBenchLangFile& LargeScrambledFile()
{
    static CBenchLangFile file(L"VantorLangBenchScrambled.txt", kLargeEntryCount, EIdOrder::Scrambled,
                               kMaxLangFileSize);
    return file;
}

const CBenchLangFile& SmallFile()
{
    static CBenchLangFile file(L"VantorLangBenchSmall.txt", kSmallEntryCount, EIdOrder::Ascending, 0);
    return file;
}

void Load(const CBenchLangFile& file)
{
    CLangTable table;
    if (!table.LoadFromFile(file.Path()) || table.Entries.Count() != file.EntryCount())
        std::printf("the benchmark language file did not load\n");
    BenchKeep(&table);
}

// What no loader can avoid: one size query and one read of the whole file, one decoding pass over
// all of it, and one block of its text's size for each entry, freed again with the table.
void LoadFloor(const CBenchLangFile& file)
{
    static char bytes[kMaxLangFileSize + 1];
    static wchar_t units[kMaxLangFileSize + 1];
    static void* blocks[kLargeEntryCount];
    CReadOnlyFile reader;
    unsigned long long size = 0;
    DWORD read = 0;
    if (!reader.Open(file.Path()) || !reader.QuerySize(size) || !reader.ReadAll(bytes, static_cast<DWORD>(size), read))
        std::printf("the benchmark language file could not be read\n");
    reader.Close();
    const int decoded = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(read), units, kMaxLangFileSize + 1);
    for (int i = 0; i < file.EntryCount(); i++)
        blocks[i] = AllocateOrThrow((kTextUnits + 1) * sizeof(wchar_t));
    for (int i = 0; i < file.EntryCount(); i++)
        FreeBlock(blocks[i]);
    BenchKeep(&units[decoded > 0 ? decoded - 1 : 0]);
}

void LoadLarge()
{
    Load(LargeFile());
}

void LoadLargeFloor()
{
    LoadFloor(LargeFile());
}

void LoadLargeScrambled()
{
    Load(LargeScrambledFile());
}

void LoadLargeScrambledFloor()
{
    LoadFloor(LargeScrambledFile());
}

void LoadSmall()
{
    for (int i = 0; i < kSmallFileRepeats; i++)
        Load(SmallFile());
}

void LoadSmallFloor()
{
    for (int i = 0; i < kSmallFileRepeats; i++)
        LoadFloor(SmallFile());
}
} // namespace

VANTOR_BENCH_GOAL(LangLoadOneMebibyte, "CLangTable::LoadFromFile of a 1 MiB file, 30,000 entries in id order",
                  LoadLarge, "read it, decode it whole, one block per entry's text", LoadLargeFloor, 0, 2.0);
VANTOR_BENCH_GOAL(LangLoadScrambled, "CLangTable::LoadFromFile of a 1 MiB file, 30,000 entries out of order",
                  LoadLargeScrambled, "read it, decode it whole, one block per entry's text", LoadLargeScrambledFloor,
                  0, 2.0);
VANTOR_BENCH_GOAL(LangLoadFiftyKilobytes, "CLangTable::LoadFromFile of a 51 KB file, 1,500 entries (20 times)",
                  LoadSmall, "read it, decode it whole, one block per entry's text (20 times)", LoadSmallFloor, 0, 2.0);
