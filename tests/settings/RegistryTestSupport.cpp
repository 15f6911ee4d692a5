#include "RegistryTestSupport.h"

#include <algorithm>

namespace RawRegistry
{
bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY root, const std::wstring& path)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
}

void SetBytes(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void SetNumber(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value)
{
    SetBytes(root, path, name, REG_DWORD, &value, sizeof(value));
}

void SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text)
{
    SetBytes(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

CValue GetValue(HKEY root, const std::wstring& path, const wchar_t* name)
{
    CValue value;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &value.Type, nullptr, &size) == ERROR_SUCCESS)
    {
        value.Data.resize(size);
        value.Exists = RegQueryValueExW(key, name, nullptr, &value.Type, value.Data.data(), &size) == ERROR_SUCCESS;
        value.Data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

std::vector<std::wstring> Names(HKEY root, const std::wstring& path, bool subKeys)
{
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[16384];
    DWORD size = 16384;
    for (DWORD index = 0;; index++, size = 16384)
    {
        const LONG result = subKeys ? RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                                    : RegEnumValueW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace RawRegistry

std::vector<BYTE> DwordBytes(DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof(value));
}

std::vector<BYTE> WideTextBytes(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

void CSettingsRegistryTest::SetUp()
{
    CModuleTest::SetUp();
    DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
}

CClassesRootGuard::CClassesRootGuard(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths)
    {
        std::wstring saved = path;
        for (size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1))
            if (!RawRegistry::KeyExists(HKEY_CLASSES_ROOT, path.substr(0, end)))
            {
                saved = path.substr(0, end);
                break;
            }
        _snapshots.emplace_back(new CRegistrySnapshot(HKEY_CLASSES_ROOT, saved.c_str()));
    }
}

namespace
{
struct CThreadStart
{
    void (*Body)(int, void*);
    void* Context;
    int Index;
};

DWORD WINAPI ThreadMain(void* parameter)
{
    const CThreadStart* start = static_cast<const CThreadStart*>(parameter);
    start->Body(start->Index, start->Context);
    return 0;
}
} // namespace

bool RunOnThreads(int count, DWORD timeoutMs, void (*body)(int threadIndex, void* context), void* context)
{
    std::vector<CThreadStart> starts(count);
    std::vector<HANDLE> threads;
    for (int i = 0; i < count; i++)
    {
        starts[i] = CThreadStart{body, context, i};
        HANDLE thread = CreateThread(nullptr, 0, ThreadMain, &starts[i], 0, nullptr);
        if (thread != nullptr)
            threads.push_back(thread);
    }
    const DWORD wait = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, timeoutMs);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    // A thread still running after a timeout keeps `starts`; the process is failing then anyway.
    if (wait == WAIT_TIMEOUT)
    {
        new std::vector<CThreadStart>(std::move(starts));
        return false;
    }
    return static_cast<int>(threads.size()) == count;
}
