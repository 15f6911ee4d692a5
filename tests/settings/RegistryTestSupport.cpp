#include "RegistryTestSupport.h"

#include <algorithm>
#include <sstream>

CStored Dword(DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(value))};
}

CStored Text(const std::wstring& text, size_t bytes)
{
    const BYTE* start = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(start, start + std::min(bytes, (text.size() + 1) * sizeof(wchar_t)))};
}

bool KeyExists(const std::wstring& path, HKEY root)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CreateRawKey(const std::wstring& path, HKEY root)
{
    SetRaw(path, L"", kNoValue, root);
}

void SetRaw(const std::wstring& path, const std::wstring& name, const CStored& value, HKEY root)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const LONG result = value.first == REG_NONE ? ERROR_SUCCESS
                                                : RegSetValueExW(key, name.c_str(), 0, value.first, value.second.data(),
                                                                 static_cast<DWORD>(value.second.size()));
    EXPECT_EQ(ERROR_SUCCESS, result);
    RegCloseKey(key);
}

CValues RawValues(const std::wstring& path, HKEY root)
{
    CValues values;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    wchar_t name[16384];
    for (DWORD index = 0, nameSize = 16384, size = 0;
         RegEnumValueW(key, index, name, &nameSize, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
         index++, nameSize = 16384)
    {
        CStored& value = values[std::wstring(name, nameSize)];
        value.second.resize(size);
        nameSize = 16384;
        RegEnumValueW(key, index, name, &nameSize, nullptr, &value.first, value.second.data(), &size);
    }
    RegCloseKey(key);
    return values;
}

std::vector<std::wstring> RawSubKeys(const std::wstring& path, HKEY root)
{
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[260];
    for (DWORD index = 0, size = 260;
         RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         index++, size = 260)
        names.emplace_back(name, size);
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

namespace
{
using CThreadStart = std::pair<const std::function<void(int)>*, int>;

DWORD WINAPI ThreadMain(void* start)
{
    (*static_cast<CThreadStart*>(start)->first)(static_cast<CThreadStart*>(start)->second);
    return 0;
}
} // namespace

bool RunOnThreads(int count, DWORD timeoutMs, const std::function<void(int)>& body)
{
    // Threads still running after a timeout keep their start records: those are leaked then.
    auto* starts = new std::vector<CThreadStart>;
    for (int i = 0; i < count; i++)
        starts->emplace_back(&body, i);
    std::vector<HANDLE> threads;
    for (CThreadStart& start : *starts)
        if (HANDLE thread = CreateThread(nullptr, 0, ThreadMain, &start, 0, nullptr))
            threads.push_back(thread);
    const DWORD wait = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, timeoutMs);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    if (wait == WAIT_TIMEOUT)
        return false;
    delete starts;
    return static_cast<int>(threads.size()) == count;
}

CFormatOptions FormatRecord(const char* name, const wchar_t* method, DWORD level, const wchar_t* options,
                            const wchar_t* encryption, DWORD dictionary, DWORD order, DWORD blockSize, DWORD threads)
{
    CFormatOptions record;
    record.FormatName = name;
    record.Method = method;
    record.Level = level;
    record.Options = options;
    record.EncryptionMethod = encryption;
    record.Dictionary = dictionary;
    record.Order = order;
    record.BlockSize = blockSize;
    record.NumThreads = threads;
    return record;
}

void FillList(COwningVector<CWideString>& list, const std::vector<std::wstring>& entries)
{
    list.Clear();
    for (const std::wstring& entry : entries)
        list.Add(CWideString(entry.c_str()));
}

namespace
{
std::wostream& operator<<(std::wostream& text, const COwningVector<CWideString>& list)
{
    text << L'[';
    for (int i = 0; i < list.Count(); i++)
        text << (i ? L", " : L"") << list[i].Ptr();
    return text << L']';
}
} // namespace

std::wstring Describe(const CExtractSettings& s)
{
    std::wostringstream text;
    text << s.ExtractMode << L' ' << s.OverwriteMode << L' ' << s.ShowPassword << L' ' << s.PathHistory;
    return text.str();
}

std::wstring Describe(const CCompressSettings& s)
{
    std::wostringstream text;
    text << s.Level << L" '" << s.Archiver.Ptr() << L"' " << s.ShowPassword << L' ' << s.EncryptHeaders << L' '
         << s.ArcHistory;
    std::vector<std::wstring> records;
    for (int i = 0; i < s.FormatOptions.Count(); i++)
    {
        const CFormatOptions& f = s.FormatOptions[i];
        std::wostringstream record;
        record << L" {" << f.FormatName.Ptr() << L" '" << f.Options.Ptr() << L"' '" << f.Method.Ptr() << L"' '"
               << f.EncryptionMethod.Ptr() << L"' " << static_cast<int>(f.Level) << L' '
               << static_cast<int>(f.Dictionary) << L' ' << static_cast<int>(f.Order) << L' '
               << static_cast<int>(f.BlockSize) << L' ' << static_cast<int>(f.NumThreads) << L'}';
        records.push_back(record.str());
    }
    std::sort(records.begin(), records.end());
    for (const std::wstring& record : records)
        text << record;
    return text.str();
}

std::wstring Describe(const CWorkFolderSettings& s)
{
    std::wostringstream text;
    text << s.WorkDirType << L" '" << s.WorkDirPath.Ptr() << L"' " << s.TempRemovableOnly;
    return text.str();
}

CAllSettings::CAllSettings()
{
    Extract.ExtractMode = 2;
    Extract.OverwriteMode = 4;
    Extract.ShowPassword = true;
    FillList(Extract.PathHistory, {L"C:\\Out", L"D:\\\u00C9t\u00E9"});
    Compress.Level = 100;
    Compress.Archiver = L"zip";
    Compress.ShowPassword = Compress.EncryptHeaders = true;
    for (int i = 0; i < 12; i++)
        Compress.ArcHistory.Add(CWideString((L"a" + std::to_wstring(i) + L".vntx").c_str()));
    Compress.FormatOptions.Add(FormatRecord("VNTX", L"LZMA2", 7, L"x=9", L"AES256", 1 << 24, 32, 0, 2));
    Compress.FormatOptions.Add(FormatRecord("tar", L"GNU"));
    Work.WorkDirType = WorkDirSpecified;
    Work.WorkDirPath = L"D:\\Work";
    Work.TempRemovableOnly = false;
}
