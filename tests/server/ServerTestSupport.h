#pragma once

#include "TestSupport.h"

#include "menu/ShellMenuHandler.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

// Besides the heap blocks, every test of the server leaves the live-object count as it found
// it, and runs in a single-threaded apartment as Explorer's threads do.
class CServerTest : public CModuleTest
{
protected:
    void SetUp() override;
    void TearDown() override;

private:
    LONG _liveObjectsBefore = 0;
    HRESULT _comInit = E_FAIL;
};

// Holds one COM reference and releases it at the end of the scope.
template <typename T> class CComRef
{
public:
    CComRef() = default;
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    ~CComRef() { Reset(); }

    T* Get() const { return _pointer; }
    T* operator->() const { return _pointer; }
    void** Out()
    {
        Reset();
        return reinterpret_cast<void**>(&_pointer);
    }
    void Reset()
    {
        if (_pointer != nullptr)
            _pointer->Release();
        _pointer = nullptr;
    }

private:
    T* _pointer = nullptr;
};

// Holds the handler's class factory, made by DllGetClassObject, for the whole test.
class CFactoryTest : public CServerTest
{
protected:
    void SetUp() override;
    void TearDown() override;
    // A new handler with one reference, which the test releases.
    CShellMenuHandler* NewHandler();

    CComRef<IClassFactory> _factory;
};

// An item-identifier list made by the shell: of a file-system path, or (csidl) of a shell folder.
class CTestIdList
{
public:
    explicit CTestIdList(const wchar_t* path);
    explicit CTestIdList(int csidl);
    CTestIdList(const CTestIdList&) = delete;
    CTestIdList& operator=(const CTestIdList&) = delete;
    ~CTestIdList() { CoTaskMemFree(_list); }
    LPITEMIDLIST Get() const { return _list; }

private:
    LPITEMIDLIST _list = nullptr;
};

// The data object that Explorer hands to IShellExtInit::Initialize for `names` (files or
// folders of the one folder `folder`), made by that folder's IShellFolder::GetUIObjectOf.
HRESULT CreateShellDataObject(const wchar_t* folder, const std::vector<std::wstring>& names, IDataObject** dataObject);

// The names a handler holds, in order.
std::vector<std::wstring> SelectedNames(const CShellMenuHandler& handler);

// The class key of the handler and the values that self-registration writes.
extern const wchar_t kHandlerClassKey[];
extern const wchar_t kHandlerServerKey[];
extern const wchar_t kShellExtensionsKey[];
extern const wchar_t kApprovedKey[];
extern const wchar_t kHandlerClassIdText[];

// A REG_SZ value read back; "<missing>" when there is no such text.
std::wstring ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name);
bool RegistryKeyExists(HKEY root, const wchar_t* path);
bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text);
