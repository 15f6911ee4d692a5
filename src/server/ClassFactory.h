#pragma once

#include "base/Alloc.h"

#include <windows.h>
#include <unknwn.h>

// Creates the objects of one of the module's COM classes: CShellMenuHandler for
// CLSID_ShellMenuHandler, CExplorerCommandProvider for CLSID_ExplorerCommandProvider. Counted in
// g_LiveObjectCount from construction to destruction, like the objects it makes.
class CHandlerClassFactory : public IClassFactory, public CHeapObject
{
public:
    // True for the class ids this factory serves.
    static bool ServesClass(REFCLSID classId);

    // `classId` is one that ServesClass accepts.
    explicit CHandlerClassFactory(REFCLSID classId);
    virtual ~CHandlerClassFactory();
    CHandlerClassFactory(const CHandlerClassFactory&) = delete;
    CHandlerClassFactory& operator=(const CHandlerClassFactory&) = delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHOD(LockServer)(BOOL lock) override;

    volatile LONG RefCount = 0;
    const CLSID ClassId;
};
