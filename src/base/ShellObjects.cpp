#include "base/ShellObjects.h"

#include "base/Module.h"
#include "base/TextConvert.h"

namespace
{
// The item-identifier-list to path buffer: 520 units plus the terminator.
const int kIdListPathUnits = 520;
// The module file name buffer holds MAX_PATH characters plus the terminator.
const DWORD kModulePathUnits = MAX_PATH + 1;
static_assert(kModulePathUnits == 261, "module path buffer is 261 units");

typedef BOOL(WINAPI* CGetPathFromIdListW)(LPCITEMIDLIST, LPWSTR);
typedef LPITEMIDLIST(WINAPI* CBrowseForFolderW)(LPBROWSEINFOW);

// The wide shell entry points are looked up at run time, as Windows 95 shells lack them. The
// shell's module is already in the process (the host or this module loaded it); it is not loaded
// here.
template <typename TFunction> TFunction ShellEntryPoint(const char* name)
{
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell == nullptr)
        return nullptr;
    // Through the generic function type, which any function pointer may be cast to and from.
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(shell, name)));
}

int CALLBACK BrowseCallbackW(HWND dialog, UINT message, LPARAM, LPARAM initialFolder)
{
    if (message == BFFM_INITIALIZED)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, initialFolder);
    return 0;
}

int CALLBACK BrowseCallbackA(HWND dialog, UINT message, LPARAM, LPARAM initialFolder)
{
    if (message == BFFM_INITIALIZED)
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, initialFolder);
    return 0;
}

// BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE
const UINT kBrowseFlags = 0x41;
static_assert((BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE) == kBrowseFlags, "browse flags are 0x41");
} // namespace

void CDropHandle::Attach(HDROP handle)
{
    Release();
    Handle = handle;
    Attached = true;
}

void CDropHandle::Release()
{
    if (FinishOnRelease && Attached)
        DragFinish(Handle);
    Attached = false;
}

UINT CDropHandle::FileCount() const
{
    return DragQueryFileA(Handle, 0xFFFFFFFF, nullptr, 0);
}

CWideString CDropHandle::FileName(UINT index) const
{
    if (g_WideApisAvailable)
    {
        CWideString name;
        const UINT length = DragQueryFileW(Handle, index, nullptr, 0);
        wchar_t* buffer = name.BufferForWrite(static_cast<int>(length) + 1);
        buffer[0] = 0;
        const UINT copied = DragQueryFileW(Handle, index, buffer, length + 1);
        name.CommitBuffer(static_cast<int>(copied <= length ? copied : length));
        return name;
    }
    CNarrowString narrowName;
    const UINT length = DragQueryFileA(Handle, index, nullptr, 0);
    char* buffer = narrowName.BufferForWrite(static_cast<int>(length) + 1);
    buffer[0] = 0;
    const UINT copied = DragQueryFileA(Handle, index, buffer, length + 1);
    narrowName.CommitBuffer(static_cast<int>(copied <= length ? copied : length));
    return WideFromSystemText(narrowName);
}

void CDropHandle::FileNames(COwningVector<CWideString>& names) const
{
    names.Clear();
    const UINT count = FileCount();
    names.Reserve(static_cast<int>(count));
    for (UINT i = 0; i < count; i++)
        names.Add(FileName(i));
}

CItemIdList::~CItemIdList()
{
    if (_list == nullptr)
        return;
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr)
        return;
    allocator->Free(_list);
    allocator->Release();
}

void CItemIdList::Attach(LPITEMIDLIST list)
{
    Free();
    _list = list;
}

void CItemIdList::Free()
{
    if (_list == nullptr)
        return;
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr)
        throw kErrorNoShellAllocator;
    allocator->Free(_list);
    _list = nullptr;
    allocator->Release();
}

bool PathFromIdList(LPCITEMIDLIST list, CWideString& path)
{
    path.ClearText();
    if (g_WideApisAvailable)
    {
        const CGetPathFromIdListW getPath = ShellEntryPoint<CGetPathFromIdListW>("SHGetPathFromIDListW");
        if (getPath == nullptr)
            return false;
        wchar_t* buffer = path.BufferForWrite(kIdListPathUnits);
        buffer[0] = 0;
        const BOOL found = getPath(list, buffer);
        if (!found)
        {
            path.ClearText();
            return false;
        }
        path.CommitBuffer();
        return true;
    }
    CNarrowString narrowPath;
    char* buffer = narrowPath.BufferForWrite(kIdListPathUnits);
    buffer[0] = 0;
    if (!SHGetPathFromIDListA(list, buffer))
        return false;
    narrowPath.CommitBuffer();
    path = WideFromSystemText(narrowPath);
    return true;
}

bool BrowseForFolder(HWND owner, const CWideString& title, const CWideString& initialFolder, CWideString& folder)
{
    CComInitScope comScope;
    LPITEMIDLIST chosen = nullptr;
    if (g_WideApisAvailable)
    {
        const CBrowseForFolderW browse = ShellEntryPoint<CBrowseForFolderW>("SHBrowseForFolderW");
        if (browse == nullptr)
            return false;
        wchar_t displayName[MAX_PATH + 1] = {};
        BROWSEINFOW info = {};
        info.hwndOwner = owner;
        info.pidlRoot = nullptr;
        info.pszDisplayName = displayName;
        info.lpszTitle = title;
        info.ulFlags = kBrowseFlags;
        info.lpfn = BrowseCallbackW;
        info.lParam = reinterpret_cast<LPARAM>(initialFolder.Ptr());
        chosen = browse(&info);
    }
    else
    {
        const CNarrowString narrowTitle = SystemTextFromWide(title);
        const CNarrowString narrowInitial = SystemTextFromWide(initialFolder);
        char displayName[MAX_PATH + 1] = {};
        BROWSEINFOA info = {};
        info.hwndOwner = owner;
        info.pidlRoot = nullptr;
        info.pszDisplayName = displayName;
        info.lpszTitle = narrowTitle;
        info.ulFlags = kBrowseFlags;
        info.lpfn = BrowseCallbackA;
        info.lParam = reinterpret_cast<LPARAM>(narrowInitial.Ptr());
        chosen = SHBrowseForFolderA(&info);
    }
    if (chosen == nullptr)
        return false; // cancelled
    CItemIdList holder;
    holder.Attach(chosen);
    const bool found = PathFromIdList(chosen, folder);
    holder.Free();
    return found;
}

bool GetModuleFilePath(HMODULE module, CWideString& path)
{
    // A return of the whole buffer size means the name was cut (and maybe not terminated).
    if (g_WideApisAvailable)
    {
        wchar_t* buffer = path.BufferForWrite(kModulePathUnits - 1);
        const DWORD length = GetModuleFileNameW(module, buffer, kModulePathUnits);
        if (length == 0 || length >= kModulePathUnits)
        {
            path.ClearText();
            return false;
        }
        path.CommitBuffer(static_cast<int>(length));
        return true;
    }
    CNarrowString narrowPath;
    char* buffer = narrowPath.BufferForWrite(kModulePathUnits - 1);
    const DWORD length = GetModuleFileNameA(module, buffer, kModulePathUnits);
    if (length == 0 || length >= kModulePathUnits)
    {
        path.ClearText();
        return false;
    }
    narrowPath.CommitBuffer(static_cast<int>(length));
    path = WideFromFileApiText(narrowPath);
    return true;
}
