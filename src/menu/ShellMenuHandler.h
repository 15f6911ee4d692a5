#pragma once

#include "base/Vector.h"
#include "base/WideString.h"
#include "menu/CommandTable.h"

#include <windows.h>
#include <shlobj.h>

// The product's own interface through which its file manager hands the handler a selection.
// {23170F69-40C1-278D-0000-000100010000}
extern const GUID IID_IHostMenuInit;

struct IHostMenuInit : public IUnknown
{
    // `reserved` is not read; `names` holds `count` zero-terminated wide names.
    virtual HRESULT STDMETHODCALLTYPE InitContextMenu(DWORD reserved, const wchar_t** names, UINT count) = 0;
};

// The context-menu handler: one identity, three views, one reference count.
class CShellMenuHandler : public IContextMenu, public IShellExtInit, public IHostMenuInit
{
public:
    CShellMenuHandler();
    virtual ~CShellMenuHandler();
    CShellMenuHandler(const CShellMenuHandler&) = delete;
    CShellMenuHandler& operator=(const CShellMenuHandler&) = delete;

    static void* operator new(size_t size);
    static void operator delete(void* block) noexcept;

    // IUnknown (shared by the three views).
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IContextMenu.
    STDMETHOD(QueryContextMenu)(HMENU menu, UINT insertIndex, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHOD(InvokeCommand)(LPCMINVOKECOMMANDINFO info) override;
    STDMETHOD(GetCommandString)(UINT_PTR offset, UINT type, UINT* reserved, LPSTR buffer, UINT bufferSize) override;

    // IShellExtInit.
    STDMETHOD(Initialize)(LPCITEMIDLIST folder, IDataObject* dataObject, HKEY programKey) override;

    // IHostMenuInit.
    STDMETHOD(InitContextMenu)(DWORD reserved, const wchar_t** names, UINT count) override;

    volatile LONG RefCount = 0;
    COwningVector<CWideString> SelectedNames;
    bool IsDropTarget = false;
    CWideString DropFolder;
    COwningVector<CCommandMapEntry> CommandMap;

private:
    // Command invocation (CommandInvoke.cpp).
    int FindVerb(const CWideString& verb) const;
};
