#include "TestSupport.h"

#include "server/Module.h"

#include <shellapi.h>

#include <string>
#include <vector>

void CModuleTest::SetUp()
{
    _wideBefore = g_WideApisAvailable;
    _liveBlocksBefore = AllocHooks::LiveBlocks();
}

void CModuleTest::TearDown()
{
    AllocHooks::FailNth(0);
    AllocHooks::SetGuarded(false);
    g_WideApisAvailable = _wideBefore;
    EXPECT_EQ(_liveBlocksBefore, AllocHooks::LiveBlocks()) << "heap blocks leaked by this test";
}

CWidePathScope::CWidePathScope(bool wide) : _saved(g_WideApisAvailable)
{
    g_WideApisAvailable = wide;
}

CWidePathScope::~CWidePathScope()
{
    g_WideApisAvailable = _saved;
}

CWideString TestProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return CWideString(text.substr(0, text.rfind(L'\\') + 1).c_str());
}

CScratchFolder::CScratchFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    wchar_t name[64];
    wsprintfW(name, L"vantor-test-%lu-%ld\\", GetCurrentProcessId(), InterlockedIncrement(&counter));
    std::wstring full = std::wstring(temp) + name;
    CreateDirectoryW(full.c_str(), nullptr);
    _path = full.c_str();
}

namespace
{
void DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(full + L"\\");
            else
            {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}
} // namespace

CScratchFolder::~CScratchFolder()
{
    DeleteTree(std::wstring(_path.Ptr()));
}

CWideString CScratchFolder::AddFile(const wchar_t* relativeName, const char* bytes, size_t size)
{
    const std::wstring full = std::wstring(_path.Ptr()) + relativeName;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        if (size == 0 && bytes != nullptr)
            size = strlen(bytes);
        if (size > 0)
            WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(file);
    }
    return CWideString(full.c_str());
}

CWideString CScratchFolder::AddFolder(const wchar_t* relativeName)
{
    const std::wstring full = std::wstring(_path.Ptr()) + relativeName;
    CreateDirectoryW(full.c_str(), nullptr);
    return CWideString(full.c_str());
}

void DeleteRegistryTree(HKEY root, const wchar_t* path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (;;)
    {
        wchar_t name[260];
        DWORD size = 260;
        if (RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring child = std::wstring(path) + L"\\" + name;
        DeleteRegistryTree(root, child.c_str());
    }
    RegCloseKey(key);
    RegDeleteKeyW(root, path);
}

struct CRegistrySnapshot::CNode
{
    bool Exists = false;
    struct Value
    {
        std::wstring Name;
        DWORD Type;
        std::vector<BYTE> Data;
    };
    std::vector<Value> Values;
    std::vector<std::pair<std::wstring, CNode*>> Children;
    ~CNode()
    {
        for (auto& child : Children)
            delete child.second;
    }
};

namespace
{
void SaveNode(HKEY root, const std::wstring& path, CRegistrySnapshot::CNode* node);
}

CRegistrySnapshot::CRegistrySnapshot(HKEY root, const wchar_t* path) : _root(root), _path(path), _saved(new CNode)
{
    SaveNode(root, path, _saved);
}

namespace
{
void SaveNode(HKEY root, const std::wstring& path, CRegistrySnapshot::CNode* node)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    node->Exists = true;
    for (DWORD index = 0;; index++)
    {
        wchar_t name[16384];
        DWORD nameSize = 16384, type = 0, dataSize = 0;
        if (RegEnumValueW(key, index, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        CRegistrySnapshot::CNode::Value value{name, type, std::vector<BYTE>(dataSize)};
        nameSize = 16384;
        RegEnumValueW(key, index, name, &nameSize, nullptr, &type, value.Data.data(), &dataSize);
        value.Data.resize(dataSize);
        node->Values.push_back(value);
    }
    for (DWORD index = 0;; index++)
    {
        wchar_t name[260];
        DWORD size = 260;
        if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        auto* child = new CRegistrySnapshot::CNode;
        node->Children.emplace_back(name, child);
    }
    RegCloseKey(key);
    for (auto& child : node->Children)
        SaveNode(root, path + L"\\" + child.first, child.second);
}

void RestoreNode(HKEY root, const std::wstring& path, const CRegistrySnapshot::CNode* node)
{
    if (!node->Exists)
        return;
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const auto& value : node->Values)
        RegSetValueExW(key, value.Name.empty() ? nullptr : value.Name.c_str(), 0, value.Type,
                       value.Data.empty() ? nullptr : value.Data.data(), static_cast<DWORD>(value.Data.size()));
    RegCloseKey(key);
    for (const auto& child : node->Children)
        RestoreNode(root, path + L"\\" + child.first, child.second);
}
} // namespace

CRegistrySnapshot::~CRegistrySnapshot()
{
    DeleteRegistryTree(_root, _path.Ptr());
    RestoreNode(_root, std::wstring(_path.Ptr()), _saved);
    delete _saved;
}

DWORD RunThisProgram(const wchar_t* gtestFilter, const wchar_t* environmentAssignments)
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + self + L"\" --gtest_brief=1 --gtest_filter=" + gtestFilter;
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    if (environmentAssignments != nullptr)
    {
        // "NAME=value;NAME2=value2"
        std::wstring all = environmentAssignments;
        size_t start = 0;
        while (start < all.size())
        {
            size_t end = all.find(L';', start);
            if (end == std::wstring::npos)
                end = all.size();
            const std::wstring item = all.substr(start, end - start);
            const size_t equals = item.find(L'=');
            const std::wstring name = item.substr(0, equals);
            wchar_t old[1024] = {};
            const DWORD had = GetEnvironmentVariableW(name.c_str(), old, 1024);
            saved.emplace_back(name, had ? std::wstring(old) : std::wstring(L"\x01"));
            SetEnvironmentVariableW(name.c_str(), item.substr(equals + 1).c_str());
            start = end + 1;
        }
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
    }
    for (const auto& item : saved)
        SetEnvironmentVariableW(item.first.c_str(), item.second == L"\x01" ? nullptr : item.second.c_str());
    return exitCode;
}

void PrintTo(const CWideString& text, std::ostream* os)
{
    *os << '"';
    for (int i = 0; i < text.Length(); i++)
    {
        const unsigned unit = static_cast<unsigned short>(text[i]);
        if (unit >= 0x20 && unit < 0x7F)
            *os << static_cast<char>(unit);
        else
        {
            char escaped[16];
            wsprintfA(escaped, "\\u%04X", unit);
            *os << escaped;
        }
    }
    *os << '"';
}

void PrintTo(const CNarrowString& text, std::ostream* os)
{
    *os << '"' << text.Ptr() << '"';
}

#ifdef _WIN64
CHighMemory::CHighMemory(size_t size)
{
    for (UINT_PTR gigabytes = 8; _block == nullptr && gigabytes <= 64; gigabytes += 4)
        _block = static_cast<BYTE*>(VirtualAlloc(reinterpret_cast<void*>(gigabytes << 30), size,
                                                 MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (_block == nullptr)
        ADD_FAILURE() << "no memory above 4 GB";
}

CHighMemory::~CHighMemory()
{
    if (_block != nullptr)
        VirtualFree(_block, 0, MEM_RELEASE);
}
#endif
