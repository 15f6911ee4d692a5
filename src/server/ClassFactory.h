#pragma once

#include "base/Alloc.h"

#include <windows.h>
#include <unknwn.h>

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
