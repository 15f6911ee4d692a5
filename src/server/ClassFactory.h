#pragma once

#include "base/Alloc.h"

#include <windows.h>
#include <unknwn.h>

// The context-menu handler's class: {23170F69-40C1-439B-1000-000100020000}.
extern const GUID CLSID_ShellMenuHandler;

// Creates CShellMenuHandler objects for COM. Counted in g_LiveObjectCount from construction
// to destruction, like the handlers it makes.
class CHandlerClassFactory : public IClassFactory, public CHeapObject
{
public:
    CHandlerClassFactory();
    virtual ~CHandlerClassFactory();
    CHandlerClassFactory(const CHandlerClassFactory&) = delete;
    CHandlerClassFactory& operator=(const CHandlerClassFactory&) = delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHOD(LockServer)(BOOL lock) override;

    volatile LONG RefCount = 0;
};
