#pragma once

#include <cstddef>
#include <new>

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
