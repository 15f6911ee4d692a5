#pragma once

#include "base/Alloc.h"
#include "base/ComReference.h"
#include "base/Vector.h"
#include "menu/OfferedCommands.h"

#include <windows.h>
#include <ocidl.h>
#include <shobjidl.h>

// What the provider and each of its sub-commands are alike: one COM identity answering
// IExplorerCommand and IObjectWithSite, counted among the module's live objects from before its
// members are built until it is gone, holding the site Explorer gives it until Explorer takes it back.
class CExplorerCommandObject : public IExplorerCommand, public IObjectWithSite, public CHeapObject
{
public:
    CExplorerCommandObject();
    virtual ~CExplorerCommandObject();
    CExplorerCommandObject(const CExplorerCommandObject&) = delete;
    CExplorerCommandObject& operator=(const CExplorerCommandObject&) = delete;

    // IUnknown (shared by both views).
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IObjectWithSite.
    STDMETHOD(SetSite)(IUnknown* site) override;
    STDMETHOD(GetSite)(REFIID iid, void** site) override;

private:
    volatile LONG _refCount = 0;
    CComReference<IUnknown> _site;
};

// The Explorer command provider: what Windows 11's Explorer shows in its first-level context
// menu, where classic handlers appear only under "Show more options". Its top item "Vantor" holds
// the commands of the classic menu as sub-commands, listed and carried out by the same code
// (OfferedCommands.h). Explorer finds the class through the package manifest (AppxManifest.xml)
// and calls, for a selection: GetState with the items, then GetTitle, GetIcon, GetFlags and
// EnumSubCommands; each sub-command's GetTitle, GetToolTip, GetState; and Invoke with the items on
// the sub-command the user chose.
//
// The interfaces exist from Windows Vista on. They are only ever called through the pointers
// Explorer hands over, so the module imports nothing new and still loads on its oldest Windows.
class CExplorerCommandProvider : public CExplorerCommandObject
{
public:
    // IExplorerCommand.
    STDMETHOD(GetTitle)(IShellItemArray* items, LPWSTR* title) override;
    STDMETHOD(GetIcon)(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHOD(GetToolTip)(IShellItemArray* items, LPWSTR* toolTip) override;
    STDMETHOD(GetCanonicalName)(GUID* name) override;
    STDMETHOD(GetState)(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHOD(Invoke)(IShellItemArray* items, IBindCtx* bindContext) override;
    STDMETHOD(GetFlags)(EXPCMDFLAGS* flags) override;
    STDMETHOD(EnumSubCommands)(IEnumExplorerCommand** commands) override;

    // The commands that the items last given to GetState offer: the sub-commands EnumSubCommands
    // hands out (Explorer gives no items to EnumSubCommands).
    COwningVector<COfferedCommand> Offered;
};
