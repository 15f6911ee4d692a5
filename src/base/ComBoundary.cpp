#include "base/ComBoundary.h"

#include "base/Alloc.h"
#include "base/Vector.h"

HRESULT HResultFromCaughtException() noexcept
{
    try
    {
        throw;
    }
    catch (const CNewException&)
    {
        return E_OUTOFMEMORY;
    }
    catch (int code)
    {
        if (code == kErrorVectorNoMemory || code == kErrorVectorTooLarge || code == kErrorVectorSizeOverflow)
            return E_OUTOFMEMORY;
        return E_FAIL;
    }
    catch (...)
    {
        return E_FAIL;
    }
}
