#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

// Owner of one COM reference.
template <class T> class CComRef
{
public:
    CComRef() = default;
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    CComRef(CComRef&& other) noexcept : _object(other._object) { other._object = nullptr; }
    CComRef& operator=(CComRef&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            _object = other._object;
            other._object = nullptr;
        }
        return *this;
    }
    ~CComRef() { Reset(); }

    void Reset()
    {
        if (_object != nullptr)
            _object->Release();
        _object = nullptr;
    }
    // For the API that writes the reference: the old one is released first.
    T** Put()
    {
        Reset();
        return &_object;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Get() const { return _object; }
    T* operator->() const { return _object; }
    explicit operator bool() const { return _object != nullptr; }

private:
    T* _object = nullptr;
};

// Owner of an item identifier list from the shell's allocator.
class CIdList
{
public:
    CIdList() = default;
    CIdList(const CIdList&) = delete;
    CIdList& operator=(const CIdList&) = delete;
    CIdList(CIdList&& other) noexcept : _list(other._list) { other._list = nullptr; }
    ~CIdList()
    {
        if (_list != nullptr)
            CoTaskMemFree(_list);
    }
    PIDLIST_ABSOLUTE* Put()
    {
        if (_list != nullptr)
            CoTaskMemFree(_list);
        _list = nullptr;
        return &_list;
    }
    PIDLIST_ABSOLUTE Get() const { return _list; }

private:
    PIDLIST_ABSOLUTE _list = nullptr;
};
