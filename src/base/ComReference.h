#pragma once

#include <windows.h>
#include <unknwn.h>

// Owner of one COM reference: released when the owner goes, also when an exception passes.
template <typename T> class CComReference
{
public:
    CComReference() = default;
    CComReference(const CComReference&) = delete;
    CComReference& operator=(const CComReference&) = delete;
    ~CComReference() { Release(); }

    // For a call that writes a reference: the one held before is released first.
    T** Put()
    {
        Release();
        return &_object;
    }
    // Holds its own reference to `object` (may be null), releasing the one held before.
    void Assign(T* object)
    {
        if (object != nullptr)
            object->AddRef();
        Release();
        _object = object;
    }
    void Release()
    {
        T* object = _object;
        _object = nullptr;
        if (object != nullptr)
            object->Release();
    }
    T* Get() const { return _object; }
    T* operator->() const { return _object; }

private:
    T* _object = nullptr;
};
