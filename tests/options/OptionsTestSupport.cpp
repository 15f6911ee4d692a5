#include "OptionsTestSupport.h"

#include "lang/Language.h"

namespace Reg
{
void SetBytes(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetNumber(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value)
{
    SetBytes(root, path, name, REG_DWORD, &value, sizeof(value));
}

void SetText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text)
{
    SetBytes(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

static bool GetBytes(HKEY root, const wchar_t* path, const wchar_t* name, std::vector<BYTE>& data)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
    if (result == ERROR_SUCCESS)
    {
        data.assign(size + 2, 0);
        result = RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool GetNumber(HKEY root, const wchar_t* path, const wchar_t* name, DWORD& value)
{
    std::vector<BYTE> data;
    if (!GetBytes(root, path, name, data) || data.size() != sizeof(DWORD))
        return false;
    memcpy(&value, data.data(), sizeof(DWORD));
    return true;
}

bool GetText(HKEY root, const wchar_t* path, const wchar_t* name, std::wstring& text)
{
    std::vector<BYTE> data;
    if (!GetBytes(root, path, name, data))
        return false;
    text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return true;
}

bool ValueExists(HKEY root, const wchar_t* path, const wchar_t* name)
{
    std::vector<BYTE> data;
    return GetBytes(root, path, name, data);
}

bool KeyExists(HKEY root, const wchar_t* path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}
} // namespace Reg

CRegistryPathGuard::CRegistryPathGuard(HKEY root, const std::wstring& path)
{
    size_t end = 0;
    std::wstring guarded = path;
    while (end != std::wstring::npos)
    {
        end = path.find(L'\\', end + 1);
        const std::wstring prefix = path.substr(0, end);
        if (!Reg::KeyExists(root, prefix.c_str()))
        {
            guarded = prefix;
            break;
        }
    }
    _snapshot.reset(new CRegistrySnapshot(root, guarded.c_str()));
}

namespace
{
const wchar_t* const kShellClasses[] = {L"*", L"Folder", L"Directory", L"Drive"};
const wchar_t* const kHandlerKinds[] = {L"\\shellex\\ContextMenuHandlers\\VANTOR",
                                        L"\\shellex\\DragDropHandlers\\VANTOR"};
} // namespace

void COptionsTest::SetUp()
{
    _guards.emplace_back(new CRegistryPathGuard(HKEY_CURRENT_USER, L"Software\\VANTOR"));
    _guards.emplace_back(new CRegistryPathGuard(HKEY_CLASSES_ROOT, kHandlerClassKey));
    _guards.emplace_back(new CRegistryPathGuard(
        HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"));
    for (const wchar_t* shellClass : kShellClasses)
        for (const wchar_t* kind : kHandlerKinds)
            _guards.emplace_back(new CRegistryPathGuard(HKEY_CLASSES_ROOT, std::wstring(shellClass) + kind));
    DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
    LoadLanguageOnce();
    CModuleTest::SetUp();
}

IPluginOptions* COptionsTest::CreatePlugin()
{
    void* object = nullptr;
    EXPECT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    return static_cast<IPluginOptions*>(object);
}

HRESULT COptionsTest::ShowOptionsOnce()
{
    IPluginOptions* plugin = CreatePlugin();
    if (plugin == nullptr)
        return E_UNEXPECTED;
    const HRESULT result = plugin->ShowOptions(nullptr, 0);
    plugin->Release();
    return result;
}

bool AnyHandlerKeyPresent()
{
    for (const wchar_t* shellClass : kShellClasses)
        for (const wchar_t* kind : kHandlerKinds)
            if (Reg::KeyExists(HKEY_CLASSES_ROOT, (std::wstring(shellClass) + kind).c_str()))
                return true;
    return false;
}

bool AllRegisteredHandlerKeysPresent()
{
    const wchar_t* const registered[] = {
        L"*\\shellex\\ContextMenuHandlers\\VANTOR", L"Directory\\shellex\\ContextMenuHandlers\\VANTOR",
        L"Directory\\shellex\\DragDropHandlers\\VANTOR", L"Drive\\shellex\\DragDropHandlers\\VANTOR"};
    for (const wchar_t* path : registered)
    {
        std::wstring text;
        if (!Reg::GetText(HKEY_CLASSES_ROOT, path, nullptr, text) || text != L"{23170F69-40C1-439B-1000-000100020000}")
            return false;
    }
    return true;
}

std::wstring ChildMode()
{
    wchar_t mode[64] = {};
    GetEnvironmentVariableW(L"VANTOR_OPTIONS_CHILD", mode, 64);
    return mode;
}

std::string ReadAll(const CWideString& path)
{
    std::string bytes;
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}
