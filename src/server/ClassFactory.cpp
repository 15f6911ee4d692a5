#include "server/ClassFactory.h"

#include "base/ComIds.h"
#include "base/Module.h"
#include "menu/ExplorerCommand.h"
#include "menu/ShellMenuHandler.h"

namespace
{
// Creates an object and asks it for `iid`; one that nobody took is destroyed at once, so the
// live-object count goes back.
template <typename TObject> HRESULT CreateAndQuery(REFIID iid, void** object)
{
    TObject* created = nullptr;
    try
    {
        created = new TObject;
    }
    catch (...)
    {
        // The unwinding has freed the block already.
        return E_OUTOFMEMORY;
    }
    if (created == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = created->QueryInterface(iid, object);
    if (result != S_OK)
        delete created;
    return result;
}
} // namespace

bool CHandlerClassFactory::ServesClass(REFCLSID classId)
{
    return SameId(classId, CLSID_ShellMenuHandler) || SameId(classId, CLSID_ExplorerCommandProvider);
}

CHandlerClassFactory::CHandlerClassFactory(REFCLSID classId) : ClassId(classId)
{
    InterlockedIncrement(&g_LiveObjectCount);
}

CHandlerClassFactory::~CHandlerClassFactory()
{
    InterlockedDecrement(&g_LiveObjectCount);
}

STDMETHODIMP CHandlerClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    // COM wants the out pointer null on every failure, whatever the caller put there.
    *object = nullptr;
    if (!SameId(iid, IID_IUnknown) && !SameId(iid, IID_IClassFactory))
        return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CHandlerClassFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&RefCount));
}

STDMETHODIMP_(ULONG) CHandlerClassFactory::Release()
{
    // The factory may be released on two threads at once: only the interlocked result tells
    // this thread whether it took the last reference.
    const LONG count = InterlockedDecrement(&RefCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CHandlerClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    if (SameId(ClassId, CLSID_ExplorerCommandProvider))
        return CreateAndQuery<CExplorerCommandProvider>(iid, object);
    return CreateAndQuery<CShellMenuHandler>(iid, object);
}

// A lock taken here does not keep the module loaded: only live objects count for
// DllCanUnloadNow, and Explorer never relies on LockServer for shell extensions.
STDMETHODIMP CHandlerClassFactory::LockServer(BOOL)
{
    return S_OK;
}
