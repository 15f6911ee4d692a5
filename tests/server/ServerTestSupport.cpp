#include "ServerTestSupport.h"

#include "server/ClassFactory.h"
#include "server/Module.h"

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

void CFactoryTest::SetUp()
{
    CServerTest::SetUp();
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, _factory.Out()));
}

void CFactoryTest::TearDown()
{
    _factory.Reset();
    CServerTest::TearDown();
}

CShellMenuHandler* CFactoryTest::NewHandler()
{
    void* object = nullptr;
    EXPECT_EQ(S_OK, _factory->CreateInstance(nullptr, IID_IContextMenu, &object));
    return static_cast<CShellMenuHandler*>(static_cast<IContextMenu*>(object));
}

CTestIdList::CTestIdList(const wchar_t* path)
{
    SHParseDisplayName(path, nullptr, &_list, 0, nullptr);
}

CTestIdList::CTestIdList(int csidl)
{
    SHGetSpecialFolderLocation(nullptr, csidl, &_list);
}

HRESULT CreateShellDataObject(const wchar_t* folder, const std::vector<std::wstring>& names, IDataObject** dataObject)
{
    *dataObject = nullptr;
    CTestIdList folderList(folder);
    CComRef<IShellFolder> desktop;
    CComRef<IShellFolder> shellFolder;
    HRESULT result =
        folderList.Get() != nullptr ? SHGetDesktopFolder(reinterpret_cast<IShellFolder**>(desktop.Out())) : E_FAIL;
    if (SUCCEEDED(result))
        result = desktop->BindToObject(folderList.Get(), nullptr, IID_IShellFolder, shellFolder.Out());
    std::vector<LPITEMIDLIST> children;
    for (size_t i = 0; i < names.size() && SUCCEEDED(result); i++)
    {
        std::wstring text = names[i];
        children.push_back(nullptr);
        result = shellFolder->ParseDisplayName(nullptr, nullptr, &text[0], nullptr, &children.back(), nullptr);
    }
    if (SUCCEEDED(result))
        result = shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                            const_cast<LPCITEMIDLIST*>(children.data()), IID_IDataObject, nullptr,
                                            reinterpret_cast<void**>(dataObject));
    for (LPITEMIDLIST child : children)
        CoTaskMemFree(child);
    return result;
}

std::vector<std::wstring> SelectedNames(const CShellMenuHandler& handler)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < handler.SelectedNames.Count(); i++)
        names.push_back(handler.SelectedNames[i].Ptr());
    return names;
}

const wchar_t kHandlerClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kHandlerServerKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}\\InprocServer32";
const wchar_t kShellExtensionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kHandlerClassIdText[] = L"{23170F69-40C1-439B-1000-000100020000}";

std::wstring ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
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
    const DWORD size = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}
