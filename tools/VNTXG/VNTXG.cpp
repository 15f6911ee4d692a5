// VNTXG.exe, the stand-in archiver. It takes the command line the shell extension builds, opens
// the name list and its end event by the names given there, checks the block, records what it
// received (README.md beside this file describes the record), signals the event and ends. It
// archives nothing. VANTOR_ARCHIVER_MODE makes it misbehave the ways a real archiver can.

#include "RecordLog.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
const wchar_t kLogVariable[] = L"VANTOR_ARCHIVER_LOG";
const wchar_t kModeVariable[] = L"VANTOR_ARCHIVER_MODE";
const wchar_t kDefaultLog[] = L"VNTXG-received.txt";

// "mapping:size:event", the text after -i# or -ai#.
struct CListArgument
{
    bool Present = false;
    std::string Mapping;
    std::wstring SizeText;
    std::string Event;
};

// What the block held and whether it was what the command line announced.
struct CBlockReport
{
    std::vector<std::wstring> Names;
    std::wstring Verdict;
};

std::wstring Decimal(unsigned long long value)
{
    return std::to_wstring(value);
}

std::string SystemText(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

CListArgument FindListArgument(const std::vector<std::wstring>& arguments)
{
    CListArgument list;
    for (const std::wstring& argument : arguments)
    {
        if (argument == L"--")
            break;
        std::wstring value;
        if (argument.compare(0, 3, L"-i#") == 0)
            value = argument.substr(3);
        else if (argument.compare(0, 4, L"-ai#") == 0)
            value = argument.substr(4);
        else
            continue;
        const size_t first = value.find(L':');
        const size_t second = first == std::wstring::npos ? first : value.find(L':', first + 1);
        if (second == std::wstring::npos)
            return list;
        list.Present = true;
        list.Mapping = SystemText(value.substr(0, first));
        list.SizeText = value.substr(first + 1, second - first - 1);
        list.Event = SystemText(value.substr(second + 1));
        return list;
    }
    return list;
}

bool ParseSize(const std::wstring& text, unsigned long long& size)
{
    if (text.empty() || text.size() > 10)
        return false;
    size = 0;
    for (wchar_t unit : text)
    {
        if (unit < L'0' || unit > L'9')
            return false;
        size = size * 10 + (unit - L'0');
    }
    return true;
}

// The size of the section as it was created, where the system tells it.
bool QuerySectionSize(HANDLE mapping, unsigned long long& size)
{
    struct CSectionBasicInformation
    {
        void* BaseAddress;
        ULONG Attributes;
        LARGE_INTEGER Size;
    };
    typedef LONG(WINAPI * CQuerySection)(HANDLE, int, void*, SIZE_T, SIZE_T*);
    const CQuerySection query = reinterpret_cast<CQuerySection>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySection")));
    if (query == nullptr)
        return false;
    CSectionBasicInformation information = {};
    if (query(mapping, 0, &information, sizeof(information), nullptr) != 0)
        return false;
    size = static_cast<unsigned long long>(information.Size.QuadPart);
    return true;
}

CBlockReport ReadBlock(const CListArgument& list)
{
    CBlockReport report;
    unsigned long long size = 0;
    if (!ParseSize(list.SizeText, size))
    {
        report.Verdict = L"size \"" + list.SizeText + L"\" is not a decimal number";
        return report;
    }
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, list.Mapping.c_str());
    if (mapping == nullptr)
    {
        report.Verdict = L"mapping cannot be opened (error " + Decimal(GetLastError()) + L")";
        return report;
    }
    unsigned long long sectionSize = 0;
    const bool sectionKnown = QuerySectionSize(mapping, sectionSize);
    // The whole section: whatever lies beyond the announced size is checked as well.
    const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    if (view == nullptr)
    {
        report.Verdict = L"mapping cannot be mapped (error " + Decimal(GetLastError()) + L")";
        CloseHandle(mapping);
        return report;
    }
    MEMORY_BASIC_INFORMATION region = {};
    VirtualQuery(view, &region, sizeof(region));
    const unsigned long long viewSize = region.RegionSize;

    const wchar_t* units = reinterpret_cast<const wchar_t*>(view);
    const unsigned long long unitCount = size / 2;
    if (size > viewSize)
        report.Verdict = L"announced " + Decimal(size) + L" bytes, the section holds " + Decimal(viewSize);
    else if (size % 2 != 0)
        report.Verdict = L"announced size " + Decimal(size) + L" is odd";
    else if (size == 0)
        report.Verdict = L"announced size is 0: no leading zero";
    else if (units[0] != 0)
        report.Verdict = L"no leading zero unit";
    else
    {
        unsigned long long index = 1;
        while (index < unitCount && report.Verdict.empty())
        {
            unsigned long long end = index;
            while (end < unitCount && units[end] != 0)
                end++;
            if (end == unitCount)
                report.Verdict = L"name " + Decimal(report.Names.size() + 1) + L" has no terminating zero within " +
                                 Decimal(size) + L" bytes";
            else
                report.Names.push_back(std::wstring(units + index, static_cast<size_t>(end - index)));
            index = end + 1;
        }
    }
    if (report.Verdict.empty())
    {
        // A block bigger than announced would hand over names the archiver never sees.
        for (unsigned long long byte = size; byte < viewSize; byte++)
            if (view[byte] != 0)
            {
                report.Verdict = L"data after the announced " + Decimal(size) + L" bytes";
                break;
            }
    }
    // Windows reports the size the section was created with; Wine rounds it up to whole pages.
    if (report.Verdict.empty() && sectionKnown && sectionSize != size && sectionSize != viewSize)
        report.Verdict = L"section of " + Decimal(sectionSize) + L" bytes, " + Decimal(size) + L" announced";
    if (report.Verdict.empty())
        report.Verdict = L"exact";
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return report;
}

std::wstring RecordHead(const std::wstring& mode)
{
    std::wstring record = L"[VNTXG]\r\nCommandLine=";
    record += GetCommandLineW();
    record += L"\r\n";
    if (!mode.empty() && mode != L"normal")
        record += L"Mode=" + mode + L"\r\n";
    return record;
}

DWORD MillisecondsAfter(const std::wstring& mode, const wchar_t* prefix)
{
    return static_cast<DWORD>(wcstoul(mode.c_str() + wcslen(prefix), nullptr, 10));
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::wstring mode = EnvironmentValue(kModeVariable);
    if (mode == L"exit")
    {
        // Gone before it even looked at its list.
        AppendRecord(kLogVariable, kDefaultLog, RecordHead(mode));
        return 0;
    }
    if (mode == L"hang")
    {
        // Never reads, never signals, never ends: the test ends it by this id.
        AppendRecord(kLogVariable, kDefaultLog, RecordHead(mode) + L"Pid=" + Decimal(GetCurrentProcessId()) + L"\r\n");
        Sleep(INFINITE);
        return 0;
    }
    if (StartsWith(mode, L"slow:"))
        Sleep(MillisecondsAfter(mode, L"slow:"));

    const CListArgument list = FindListArgument(SplitArguments(GetCommandLineW()));
    CBlockReport report;
    if (list.Present)
        report = ReadBlock(list);
    else
        report.Verdict = L"no list argument";

    wchar_t folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);

    HANDLE endEvent = nullptr;
    std::wstring eventState = L"none";
    if (list.Present)
    {
        endEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, list.Event.c_str());
        eventState = endEvent != nullptr ? L"opened" : L"cannot be opened (error " + Decimal(GetLastError()) + L")";
    }

    std::wstring record = RecordHead(mode);
    record += L"Folder=" + std::wstring(folder) + L"\r\n";
    record += L"Names=" + Decimal(report.Names.size()) + L"\r\n";
    for (const std::wstring& name : report.Names)
        record += L"Name=" + name + L"\r\n";
    record += L"Block=" + report.Verdict + L"\r\n";
    record += L"Event=" + eventState + L"\r\n";
    // The record is complete before the event tells the shell that the list was taken.
    AppendRecord(kLogVariable, kDefaultLog, record);

    if (endEvent != nullptr)
    {
        SetEvent(endEvent);
        CloseHandle(endEvent);
    }
    if (StartsWith(mode, L"stay:"))
        Sleep(MillisecondsAfter(mode, L"stay:"));
    return report.Verdict == L"exact" ? 0 : 1;
}
