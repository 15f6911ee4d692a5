#include "base/ComIds.h"
#include "base/Module.h"
#include "server/ClassFactory.h"

#include <objbase.h>

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!CHandlerClassFactory::ServesClass(classId))
        return CLASS_E_CLASSNOTAVAILABLE;
    CHandlerClassFactory* factory = nullptr;
    try
    {
        factory = new CHandlerClassFactory(classId);
    }
    catch (...)
    {
        return E_OUTOFMEMORY;
    }
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    if (result != S_OK)
        delete factory;
    return result;
}

// Only live factories and the objects they made keep the module: the host may unload it as soon as the
// last of them is released.
STDAPI DllCanUnloadNow()
{
    return g_LiveObjectCount == 0 ? S_OK : S_FALSE;
}
