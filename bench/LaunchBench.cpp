#include "BenchHarness.h"

#include "launch/ArchiverCommands.h"

#include <cstring>
#include <vector>

namespace
{
const int kNames = 100000;
const int kNameLength = 60;

// 100,000 names of 60 units each, as a large selection hands them over.
const COwningVector<CWideString>& Selection()
{
    static COwningVector<CWideString>* names = []
    {
        COwningVector<CWideString>* list = new COwningVector<CWideString>;
        list->Reserve(kNames);
        wchar_t name[kNameLength + 1];
        for (int i = 0; i < kNames; i++)
        {
            for (int unit = 0; unit < kNameLength; unit++)
                name[unit] = static_cast<wchar_t>(L'a' + (i + unit) % 26);
            name[kNameLength] = 0;
            list->Add(CWideString(name));
        }
        return list;
    }();
    return *names;
}

// The whole hand-over but the start: a named mapping and event, the list argument, the block
// written name by name.
void BuildNameList()
{
    CNamedFileMapping mapping;
    CNamedEvent endEvent;
    CWideString commandLine;
    BenchKeep(reinterpret_cast<const void*>(
        static_cast<UINT_PTR>(CreateNameListMapping(Selection(), L"VNTXBench", mapping, endEvent, commandLine))));
}

// The same bytes, already laid out, copied in one piece into a page-file mapping of the same size.
void CopyBlock()
{
    static std::vector<BYTE> block = []
    {
        std::vector<BYTE> bytes(NameListBlockSize(Selection()));
        WriteNameListBlock(Selection(), bytes.data());
        return bytes;
    }();
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(block.size()), nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, block.size());
    std::memcpy(view, block.data(), block.size());
    BenchKeep(view);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}
} // namespace

VANTOR_BENCH(NameListBlock, "name-list block for 100,000 names of 60 units (mapping, event, names)", BuildNameList,
             "memcpy of the same 12,200,002 bytes into a page-file mapping", CopyBlock);
