#pragma once

#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>
#include <objidl.h>
#include <shobjidl.h>

// How a front end takes in the selected items: full paths, in the order the host gives them, as
// they are (nothing is checked here; a name that does not exist is found out when the commands are
// listed), and as many as there are.

// The CF_HDROP names of a data object (IShellExtInit). `names` is cleared first. A null data object
// gives E_FAIL, a data object without a drop list in global memory the failure of its GetData.
HRESULT ReadSelection(IDataObject* dataObject, COwningVector<CWideString>& names);

// The file-system paths of an item array (IExplorerCommand), in the array's order. An item that has
// no file-system path (a virtual item) is left out, as a drop list holds file-system paths only.
// `names` is cleared first and stays empty on failure: E_INVALIDARG for a null array, the array's
// own failure when it cannot give its count or one of its items, E_POINTER for an item it gives as
// null. Throws CNewException when memory runs out.
HRESULT ReadShellItemSelection(IShellItemArray* items, COwningVector<CWideString>& names);

// Owner of the storage medium that a data object's GetData filled. ReleaseStgMedium runs only
// for a medium that GetData actually delivered: after a failed call the structure holds
// nothing of ours, and releasing it would free what the data object still owns.
class CStgMediumHolder
{
public:
    CStgMediumHolder() = default;
    CStgMediumHolder(const CStgMediumHolder&) = delete;
    CStgMediumHolder& operator=(const CStgMediumHolder&) = delete;
    ~CStgMediumHolder() { Release(); }

    // Asks `dataObject` for `format`; the holder owns the medium exactly when S_OK comes back.
    HRESULT GetData(IDataObject* dataObject, FORMATETC& format)
    {
        Release();
        const HRESULT result = dataObject->GetData(&format, &_medium);
        _held = result == S_OK;
        return result;
    }
    void Release()
    {
        if (!_held)
            return;
        _held = false;
        ReleaseStgMedium(&_medium);
    }

    bool IsHeld() const { return _held; }
    const STGMEDIUM& Medium() const { return _medium; }

private:
    STGMEDIUM _medium = {};
    bool _held = false;
};

// Holds one GlobalLock of a memory block; GlobalUnlock runs only when the lock was obtained,
// so a failed lock never unbalances the block's lock count.
class CGlobalMemoryLock
{
public:
    explicit CGlobalMemoryLock(HGLOBAL memory) : _memory(memory), _pointer(GlobalLock(memory)) {}
    CGlobalMemoryLock(const CGlobalMemoryLock&) = delete;
    CGlobalMemoryLock& operator=(const CGlobalMemoryLock&) = delete;
    ~CGlobalMemoryLock() { Unlock(); }

    void* Pointer() const { return _pointer; }
    void Unlock()
    {
        if (_pointer == nullptr)
            return;
        _pointer = nullptr;
        GlobalUnlock(_memory);
    }

private:
    HGLOBAL _memory;
    void* _pointer;
};
