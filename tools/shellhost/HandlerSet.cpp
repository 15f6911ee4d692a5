#include "HandlerSet.h"

#include <algorithm>
#include <cstddef>

// The extended invocation record of a 32-bit process; the handler tells it from the short one by size.
static_assert(sizeof(void*) != 4 || sizeof(CMINVOKECOMMANDINFOEX) == 64, "CMINVOKECOMMANDINFOEX is 64 bytes");
static_assert(sizeof(void*) != 4 || offsetof(CMINVOKECOMMANDINFOEX, lpVerbW) == 40, "lpVerbW at 40");

namespace
{
class CKey
{
public:
    CKey() = default;
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    ~CKey()
    {
        if (_key != nullptr)
            RegCloseKey(_key);
    }
    bool Open(HKEY parent, const std::wstring& path)
    {
        return RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &_key) == ERROR_SUCCESS;
    }
    HKEY Get() const { return _key; }

private:
    HKEY _key = nullptr;
};

// A REG_SZ value of a sub-key; the default value when `name` is null.
bool ReadTextValue(HKEY parent, const std::wstring& subKey, const wchar_t* name, std::wstring& value)
{
    CKey key;
    if (!key.Open(parent, subKey))
        return false;
    wchar_t buffer[512] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value = buffer;
    return true;
}

bool ParseClassId(const std::wstring& text, CLSID& id)
{
    if (text.size() != 38 || text[0] != L'{')
        return false;
    return SUCCEEDED(CLSIDFromString(const_cast<wchar_t*>(text.c_str()), &id));
}

std::wstring ClassIdText(const CLSID& id)
{
    wchar_t buffer[64] = {};
    StringFromGUID2(id, buffer, ARRAYSIZE(buffer));
    return buffer;
}

// The sub-keys of each class's HKCR\<class><suffix> whose class id `classIdOf` reads, the first
// of each class id only.
std::vector<CHandlerEntry> FindEntries(const std::vector<std::wstring>& classNames, const std::wstring& suffix,
                                       bool (*classIdOf)(HKEY key, const wchar_t* name, CLSID& id))
{
    std::vector<CHandlerEntry> found;
    for (const std::wstring& className : classNames)
    {
        const std::wstring keyPath = className + suffix;
        CKey key;
        if (!key.Open(HKEY_CLASSES_ROOT, keyPath))
            continue;
        for (DWORD index = 0;; index++)
        {
            wchar_t name[256];
            DWORD nameLength = ARRAYSIZE(name);
            const LONG status = RegEnumKeyExW(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            CHandlerEntry entry;
            if (status != ERROR_SUCCESS || !classIdOf(key.Get(), name, entry.ClassId))
                continue;
            entry.Name = name;
            entry.KeyPath = keyPath;
            entry.ClassIdText = ClassIdText(entry.ClassId);
            if (std::none_of(found.begin(), found.end(),
                             [&](const CHandlerEntry& earlier) { return IsEqualCLSID(earlier.ClassId, entry.ClassId); }))
                found.push_back(entry);
        }
    }
    return found;
}
} // namespace

std::vector<CHandlerEntry> FindRegisteredHandlers(const std::vector<std::wstring>& classNames, const wchar_t* kind)
{
    // The class id is the key's default value, or, as the shell also accepts, the key's name.
    return FindEntries(classNames, std::wstring(L"\\shellex\\") + kind,
                       [](HKEY key, const wchar_t* name, CLSID& id)
                       {
                           std::wstring value;
                           return (ReadTextValue(key, name, nullptr, value) && ParseClassId(value, id)) ||
                                  ParseClassId(name, id);
                       });
}

std::vector<CHandlerEntry> FindRegisteredCommands(const std::vector<std::wstring>& classNames)
{
    return FindEntries(classNames, L"\\shell",
                       [](HKEY key, const wchar_t* name, CLSID& id)
                       {
                           std::wstring value;
                           return ReadTextValue(key, name, L"ExplorerCommandHandler", value) && ParseClassId(value, id);
                       });
}

void CHandlerSet::Load(const std::vector<CHandlerEntry>& entries, PCIDLIST_ABSOLUTE folder, IDataObject* dataObject)
{
    _handlers.clear();
    for (const CHandlerEntry& entry : entries)
    {
        CLoadedHandler handler;
        handler.Entry = entry;
        CComRef<IShellExtInit> init;
        handler.CreateResult =
            CoCreateInstance(entry.ClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.PutVoid());
        if (SUCCEEDED(handler.CreateResult))
        {
            // The program key is the selection's class key in Explorer; handlers rarely read it.
            handler.InitializeResult = init->Initialize(folder, dataObject, nullptr);
            if (SUCCEEDED(handler.InitializeResult))
            {
                const HRESULT asked = init->QueryInterface(IID_IContextMenu, handler.Menu.PutVoid());
                if (FAILED(asked))
                    handler.InitializeResult = asked;
            }
        }
        _handlers.push_back(std::move(handler));
    }
}

void CHandlerSet::FillMenu(HMENU menu, UINT insertIndex, UINT flags)
{
    UINT nextId = FirstCommandId;
    for (CLoadedHandler& handler : _handlers)
    {
        if (!handler.Menu)
            continue;
        const int itemsBefore = GetMenuItemCount(menu);
        handler.FirstId = nextId;
        handler.QueryResult = handler.Menu->QueryContextMenu(menu, insertIndex, nextId, LastCommandId, flags);
        if (SUCCEEDED(handler.QueryResult))
        {
            handler.IdCount = HRESULT_CODE(handler.QueryResult);
            nextId += handler.IdCount;
        }
        const int itemsAfter = GetMenuItemCount(menu);
        if (itemsAfter > itemsBefore)
            insertIndex += static_cast<UINT>(itemsAfter - itemsBefore);
        if (nextId > LastCommandId)
            break;
    }
}

const CLoadedHandler* CHandlerSet::OwnerOf(UINT id, UINT& offset) const
{
    for (const CLoadedHandler& handler : _handlers)
    {
        if (handler.IdCount != 0 && id >= handler.FirstId && id - handler.FirstId < handler.IdCount)
        {
            offset = id - handler.FirstId;
            return &handler;
        }
    }
    return nullptr;
}

bool CHandlerSet::CommandString(const CLoadedHandler& handler, UINT offset, UINT type, std::wstring& text)
{
    text.clear();
    if (!handler.Menu)
        return false;
    // Handlers copy without a length check more often than not; give them room.
    wchar_t buffer[1024] = {};
    const HRESULT result =
        handler.Menu->GetCommandString(offset, type, nullptr, reinterpret_cast<LPSTR>(buffer), ARRAYSIZE(buffer) - 1);
    if (result != S_OK)
        return false;
    buffer[ARRAYSIZE(buffer) - 1] = L'\0';
    text = buffer;
    return true;
}

HRESULT CHandlerSet::InvokeVerb(const CLoadedHandler& handler, const std::wstring& verb, HWND window)
{
    if (!handler.Menu)
        return E_FAIL;
    char ansiVerb[256] = {};
    WideCharToMultiByte(CP_ACP, 0, verb.c_str(), -1, ansiVerb, sizeof(ansiVerb) - 1, nullptr, nullptr);

    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = sizeof(info);
    info.fMask = CMIC_MASK_UNICODE;
    info.hwnd = window;
    info.lpVerb = ansiVerb;
    info.lpVerbW = verb.c_str();
    info.nShow = SW_SHOWNORMAL;
    return handler.Menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

HRESULT CHandlerSet::InvokeOffset(const CLoadedHandler& handler, UINT offset, HWND window)
{
    if (!handler.Menu)
        return E_FAIL;
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = sizeof(info);
    info.fMask = CMIC_MASK_UNICODE;
    info.hwnd = window;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.lpVerbW = MAKEINTRESOURCEW(offset);
    info.nShow = SW_SHOWNORMAL;
    return handler.Menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}
