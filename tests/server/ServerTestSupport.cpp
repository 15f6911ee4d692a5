#include "ServerTestSupport.h"

#include "server/Module.h"

#include <shellapi.h>

void CServerTest::SetUp()
{
    CModuleTest::SetUp();
    _liveObjectsBefore = g_LiveObjectCount;
    _comInit = CoInitialize(nullptr);
}

void CServerTest::TearDown()
{
    if (SUCCEEDED(_comInit))
        CoUninitialize();
    EXPECT_EQ(_liveObjectsBefore, g_LiveObjectCount) << "COM objects of the module left alive";
    CModuleTest::TearDown();
}

bool CTestIdList::Parse(const wchar_t* path)
{
    CoTaskMemFree(_list);
    _list = nullptr;
    return SUCCEEDED(SHParseDisplayName(path, nullptr, &_list, 0, nullptr)) && _list != nullptr;
}

bool CTestIdList::SpecialFolder(int csidl)
{
    CoTaskMemFree(_list);
    _list = nullptr;
    return SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &_list)) && _list != nullptr;
}

HRESULT CreateShellDataObject(const wchar_t* folder, const std::vector<std::wstring>& names, IDataObject** dataObject)
{
    *dataObject = nullptr;
    CTestIdList folderList;
    if (!folderList.Parse(folder))
        return E_FAIL;
    CComRef<IShellFolder> desktop;
    HRESULT result = SHGetDesktopFolder(desktop.Out());
    if (FAILED(result))
        return result;
    CComRef<IShellFolder> shellFolder;
    result = desktop->BindToObject(folderList.Get(), nullptr, IID_IShellFolder, shellFolder.OutVoid());
    if (FAILED(result))
        return result;
    std::vector<LPITEMIDLIST> children;
    for (const std::wstring& name : names)
    {
        std::wstring text = name;
        LPITEMIDLIST child = nullptr;
        result = shellFolder->ParseDisplayName(nullptr, nullptr, &text[0], nullptr, &child, nullptr);
        if (FAILED(result))
            break;
        children.push_back(child);
    }
    if (SUCCEEDED(result))
        result = shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                            const_cast<LPCITEMIDLIST*>(children.data()), IID_IDataObject, nullptr,
                                            reinterpret_cast<void**>(dataObject));
    for (LPITEMIDLIST child : children)
        CoTaskMemFree(child);
    return result;
}

STDMETHODIMP CScriptedDataObject::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject))
    {
        *object = static_cast<IDataObject*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CScriptedDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    GetDataCalls++;
    AskedFormat = *format;
    // Filled also on failure: a handler that released it anyway would be caught by the spy.
    medium->tymed = _tymed;
    medium->hGlobal = _memory;
    medium->pUnkForRelease = &Spy;
    return _result;
}

HGLOBAL CreateDropList(const std::vector<std::wstring>& names)
{
    size_t units = 1;
    for (const std::wstring& name : names)
        units += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    if (memory == nullptr)
        return nullptr;
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    wchar_t* next = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& name : names)
    {
        memcpy(next, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        next += name.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

const wchar_t kHandlerClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kHandlerServerKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}\\InprocServer32";
const wchar_t kShellExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kHandlerClassIdText[] = L"{23170F69-40C1-439B-1000-000100020000}";

std::wstring ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return L"<missing>";
    if (type != REG_SZ)
        return L"<type " + std::to_wstring(type) + L">";
    return data;
}

bool RegistryKeyExists(HKEY root, const wchar_t* path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}
