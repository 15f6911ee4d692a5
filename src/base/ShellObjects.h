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
    ~CItemIdList() { Free(); }

    void Attach(LPITEMIDLIST list);
    void Free();
    LPITEMIDLIST Get() const { return _list; }

private:
    LPITEMIDLIST _list = nullptr;
};

// CoInitialize for one scope; CoUninitialize at its end whatever CoInitialize returned.
class CComInitScope
{
public:
    CComInitScope() { CoInitialize(nullptr); }
    ~CComInitScope() { CoUninitialize(); }
    CComInitScope(const CComInitScope&) = delete;
    CComInitScope& operator=(const CComInitScope&) = delete;
};

bool PathFromIdList(LPCITEMIDLIST list, CWideString& path);
// True when the user chose a folder and its file-system path was obtained.
bool BrowseForFolder(HWND owner, const CWideString& title, const CWideString& initialFolder, CWideString& folder);
// False (and an empty path) when the call fails or the path has 261 characters or more.
bool GetModuleFilePath(HMODULE module, CWideString& path);
