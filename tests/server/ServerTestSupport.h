#pragma once

#include "TestSupport.h"

#include "base/WideString.h"

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

// Arms the n-th allocation from now to fail; Disarm tells whether it did.
class CAllocationFailure
{
public:
    explicit CAllocationFailure(long n) { AllocHooks::FailNth(n); }
    ~CAllocationFailure() { AllocHooks::FailNth(0); }
    CAllocationFailure(const CAllocationFailure&) = delete;
    CAllocationFailure& operator=(const CAllocationFailure&) = delete;

    bool Disarm()
    {
        const bool failed = !AllocHooks::FailurePending();
        AllocHooks::FailNth(0);
        return failed;
    }
};

// Holds one COM reference and releases it at the end of the scope.
template <typename T> class CComRef
{
public:
    CComRef() = default;
    explicit CComRef(T* pointer) : _pointer(pointer) {}
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    ~CComRef() { Reset(); }

    T* Get() const { return _pointer; }
    T* operator->() const { return _pointer; }
    explicit operator bool() const { return _pointer != nullptr; }
    T** Out()
    {
        Reset();
        return &_pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset()
    {
        if (_pointer != nullptr)
            _pointer->Release();
        _pointer = nullptr;
    }
    T* Detach()
    {
        T* pointer = _pointer;
        _pointer = nullptr;
        return pointer;
    }

private:
    T* _pointer = nullptr;
};

// An item-identifier list made by the shell, freed with the COM allocator.
class CTestIdList
{
public:
    CTestIdList() = default;
    CTestIdList(const CTestIdList&) = delete;
    CTestIdList& operator=(const CTestIdList&) = delete;
    ~CTestIdList() { CoTaskMemFree(_list); }

    // SHParseDisplayName of a file-system path.
    bool Parse(const wchar_t* path);
    // SHGetSpecialFolderLocation of a shell folder (for example CSIDL_DRIVES).
    bool SpecialFolder(int csidl);
    LPITEMIDLIST Get() const { return _list; }

private:
    LPITEMIDLIST _list = nullptr;
};

// The data object that Explorer hands to IShellExtInit::Initialize for `names` (files or
// folders of the one folder `folder`), made by that folder's IShellFolder::GetUIObjectOf.
HRESULT CreateShellDataObject(const wchar_t* folder, const std::vector<std::wstring>& names, IDataObject** dataObject);

// Counts the releases the handler makes of a storage medium's pUnkForRelease.
class CReleaseSpy : public IUnknown
{
public:
    STDMETHOD(QueryInterface)(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override
    {
        Releases++;
        return 1;
    }
    int Releases = 0;
};

// A data object of a host that answers GetData with a fixed result and medium, and records
// the format it was asked for. The medium's pUnkForRelease is the spy, so that what the
// handler releases can be counted.
class CScriptedDataObject : public IDataObject
{
public:
    CScriptedDataObject(HRESULT result, DWORD tymed, HGLOBAL memory) : _result(result), _tymed(tymed), _memory(memory)
    {
    }

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

    FORMATETC AskedFormat = {};
    int GetDataCalls = 0;
    CReleaseSpy Spy;

private:
    HRESULT _result;
    DWORD _tymed;
    HGLOBAL _memory;
};

// The class key of the handler and the keys that self-registration writes.
extern const wchar_t kHandlerClassKey[];
extern const wchar_t kHandlerServerKey[];
extern const wchar_t kShellExtensionsKey[];
extern const wchar_t kApprovedKey[];
extern const wchar_t kHandlerClassIdText[];

// A REG_SZ value read back wide; "<missing>" or "<type N>" when it is not there as a text.
std::wstring ReadRegistryText(HKEY root, const wchar_t* path, const wchar_t* name);
bool RegistryKeyExists(HKEY root, const wchar_t* path);
bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text);

// A CF_HDROP block in movable global memory with wide names, as a host of its own may make it.
HGLOBAL CreateDropList(const std::vector<std::wstring>& names);
