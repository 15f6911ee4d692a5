#pragma once

#include <cstddef>
#include <new>
#include <utility>

// Thrown when the heap has no block of the size asked for. Carries no data.
class CNewException
{
};

// The one allocation routine of the module: every heap block of the foundation (string
// buffers, vector storage, owned objects, COM objects) comes from here.
void* AllocateOrThrow(size_t size);
void FreeBlock(void* block) noexcept;

// Base for objects that live on the module's heap: `new` throws CNewException, never
// std::bad_alloc, and the block is counted like every other.
class CHeapObject
{
public:
    static void* operator new(size_t size) { return AllocateOrThrow(size); }
    static void* operator new(size_t, void* place) noexcept { return place; }
    static void operator delete(void* block) noexcept { FreeBlock(block); }
    static void operator delete(void*, void*) noexcept {}
};

// Owner of a block of `count` items of a plain type from the allocation routine (room for one
// at least, so that an empty block is a block too). The items are left as the heap gives them.
template <typename T> class CBlock
{
public:
    explicit CBlock(int count)
        : _items(static_cast<T*>(AllocateOrThrow(sizeof(T) * static_cast<size_t>(count > 0 ? count : 1))))
    {
    }
    ~CBlock() { FreeBlock(_items); }
    CBlock(const CBlock&) = delete;
    CBlock& operator=(const CBlock&) = delete;

    T* Get() const { return _items; }
    T& operator[](int index) const { return _items[index]; }
    void Swap(CBlock& other) { std::swap(_items, other._items); }
    // The caller frees the block with FreeBlock.
    T* Release()
    {
        T* items = _items;
        _items = nullptr;
        return items;
    }

private:
    T* _items;
};
