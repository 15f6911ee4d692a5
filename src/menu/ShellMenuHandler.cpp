#include "menu/ShellMenuHandler.h"

#include "base/ComBoundary.h"
#include "base/ComIds.h"
#include "base/FileNames.h"
#include "base/Module.h"
#include "base/ShellObjects.h"
#include "menu/SelectionIntake.h"

const GUID IID_IHostMenuInit = {0x23170F69, 0x40C1, 0x278D, {0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}};

void* CShellMenuHandler::operator new(size_t size)
{
    return AllocateOrThrow(size);
}

void CShellMenuHandler::operator delete(void* block) noexcept
{
    FreeBlock(block);
}

// The members are built before the body runs: if one of them throws, the object never
// existed and the count stays as it was.
CShellMenuHandler::CShellMenuHandler()
{
    InterlockedIncrement(&g_LiveObjectCount);
}

CShellMenuHandler::~CShellMenuHandler()
{
    InterlockedDecrement(&g_LiveObjectCount);
}

// One identity for the three views: IUnknown is the IContextMenu view, so that the shell's
// identity checks (comparing IUnknown pointers) hold whichever view it started from.
STDMETHODIMP CShellMenuHandler::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (SameId(iid, IID_IUnknown) || SameId(iid, IID_IContextMenu))
        *object = static_cast<IContextMenu*>(this);
    else if (SameId(iid, IID_IShellExtInit))
        *object = static_cast<IShellExtInit*>(this);
    else if (SameId(iid, IID_IHostMenuInit))
        *object = static_cast<IHostMenuInit*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellMenuHandler::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&RefCount));
}

STDMETHODIMP_(ULONG) CShellMenuHandler::Release()
{
    // Only the interlocked result may be returned: once another thread has seen 0 the object
    // (and the field) is gone.
    const LONG count = InterlockedDecrement(&RefCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

// The shell calls this for a right-click (no folder) and for a right-button drag onto a folder
// or drive (the folder is the drop target). A folder without a file-system path, such as a
// virtual folder, is no drop target; its names are read all the same.
STDMETHODIMP CShellMenuHandler::Initialize(LPCITEMIDLIST folder, IDataObject* dataObject, HKEY)
{
    IsDropTarget = false;
    DropFolder.ClearText();
    try
    {
        if (folder != nullptr)
        {
            if (PathFromIdList(folder, DropFolder))
            {
                EnsureTrailingBackslash(DropFolder);
                IsDropTarget = !DropFolder.IsEmpty();
            }
            else
            {
                DropFolder.ClearText();
            }
        }
        return ReadSelection(dataObject, SelectedNames);
    }
    catch (...)
    {
        // Half a selection would be worse than none: the menu must not offer commands for it.
        IsDropTarget = false;
        DropFolder.ClearText();
        SelectedNames.Clear();
        return HResultFromCaughtException();
    }
}

// The product's file manager hands over its selection as an array of wide names. A null array
// (with names promised) or a null name is refused before anything is copied.
STDMETHODIMP CShellMenuHandler::InitContextMenu(DWORD, const wchar_t** names, UINT count)
{
    SelectedNames.Clear();
    IsDropTarget = false;
    if (count == 0)
        return S_OK;
    if (names == nullptr)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; i++)
        if (names[i] == nullptr)
            return E_INVALIDARG;
    try
    {
        for (UINT i = 0; i < count; i++)
            SelectedNames.Add(CWideString(names[i]));
        return S_OK;
    }
    catch (...)
    {
        SelectedNames.Clear();
        return HResultFromCaughtException();
    }
}
