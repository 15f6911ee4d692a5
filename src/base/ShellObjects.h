#pragma once

#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

// Integer code thrown when the shell has no allocator to free an item-identifier list.
const int kErrorNoShellAllocator = 0xA08B;

// Holder of a drop handle (HDROP).
class CDropHandle
{
public:
    explicit CDropHandle(bool finishOnRelease) : FinishOnRelease(finishOnRelease) {}
    CDropHandle(const CDropHandle&) = delete;
    CDropHandle& operator=(const CDropHandle&) = delete;
    ~CDropHandle() { Release(); }

    void Attach(HDROP handle);
    // DragFinish only when FinishOnRelease and a handle is attached.
    void Release();
    UINT FileCount() const;
    CWideString FileName(UINT index) const;
    void FileNames(COwningVector<CWideString>& names) const;

    HDROP Handle = nullptr;
    const bool FinishOnRelease;
    bool Attached = false;
};

// Owner of an item-identifier list, freed with the shell's allocator.
class CItemIdList
{
public:
    CItemIdList() = default;
    CItemIdList(const CItemIdList&) = delete;
    CItemIdList& operator=(const CItemIdList&) = delete;
    // Never throws: without a shell allocator the list is left to the process.
    ~CItemIdList();

    // Frees the held list first.
    void Attach(LPITEMIDLIST list);
    // Throws kErrorNoShellAllocator when the shell gives no allocator (the list stays held).
    void Free();
    LPITEMIDLIST Get() const { return _list; }

private:
    LPITEMIDLIST _list = nullptr;
};

// CoInitialize for one scope, balanced by CoUninitialize at its end. A thread that the host
// initialised for the multithreaded apartment refuses the call (RPC_E_CHANGED_MODE); that refusal
// must not be balanced, or the host's own initialisation would be undone.
class CComInitScope
{
public:
    CComInitScope() : _result(CoInitialize(nullptr)) {}
    ~CComInitScope()
    {
        if (SUCCEEDED(_result))
            CoUninitialize();
    }
    HRESULT Result() const { return _result; }
    CComInitScope(const CComInitScope&) = delete;
    CComInitScope& operator=(const CComInitScope&) = delete;

private:
    HRESULT _result;
};

bool PathFromIdList(LPCITEMIDLIST list, CWideString& path);
// True when the user chose a folder and its file-system path was obtained.
bool BrowseForFolder(HWND owner, const CWideString& title, const CWideString& initialFolder, CWideString& folder);
// False (and an empty path) when the call fails or the path has 261 characters or more.
bool GetModuleFilePath(HMODULE module, CWideString& path);
