#include "BenchHarness.h"

#include "base/FileSystem.h"
#include "lang/LangTable.h"

#include <cstdio>
#include <string>

namespace
{
const int kEntryCount = 30000;

// A language file of exactly kMaxLangFileSize bytes holding kEntryCount entries in scrambled id
// order, so that the sort has real work; written once into the temporary folder and removed
// when the program ends.
class CBenchLangFile
{
public:
    CBenchLangFile()
    {
        wchar_t folder[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, folder);
        _path = CWideString(folder) + L"VantorLangBench.txt";

        std::string bytes = ";!@Lang@!UTF-8! Benchmark\n";
        for (int i = 0; i < kEntryCount; i++)
        {
            char line[80];
            const unsigned id = 0x02000000u + static_cast<unsigned>((i * 7919) % kEntryCount);
            std::snprintf(line, sizeof(line),
                          "%08X = \"\xC3\x9C"
                          "bersetzung %05d\\n\"\n",
                          id, i);
            bytes += line;
        }
        bytes += ";";
        bytes.resize(kMaxLangFileSize, 'x');

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

private:
    CWideString _path;
};

const CWideString& LangFilePath()
{
    static CBenchLangFile file;
    return file.Path();
}

void LoadLangFile()
{
    CLangTable table;
    if (!table.LoadFromFile(LangFilePath()) || table.Entries.Count() != kEntryCount)
        std::printf("the benchmark language file did not load\n");
    BenchKeep(&table);
}

// What the loader cannot avoid: one size query and one read of the whole file.
void ReadLangFile()
{
    static char buffer[kMaxLangFileSize + 1];
    CReadOnlyFile file;
    unsigned long long size = 0;
    DWORD read = 0;
    if (!file.Open(LangFilePath()) || !file.QuerySize(size) || !file.ReadAll(buffer, static_cast<DWORD>(size), read))
        std::printf("the benchmark language file could not be read\n");
    BenchKeep(buffer);
}
} // namespace

VANTOR_BENCH(LangLoadOneMebibyte, "CLangTable::LoadFromFile of a 1 MiB file with 30,000 entries", LoadLangFile,
             "open, size query and one read of the same file", ReadLangFile);
