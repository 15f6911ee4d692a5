#pragma once

#include <windows.h>
#include <objidl.h>

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
