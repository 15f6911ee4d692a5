#include "base/Alloc.h"

#include <windows.h>

#include <cstdlib>

#ifndef VANTOR_TEST_HOOKS

void* AllocateOrThrow(size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw CNewException();
    return block;
}

void FreeBlock(void* block) noexcept
{
    std::free(block);
}

#else

#include "base/AllocHooks.h"

namespace
{
// Every block of the test variant carries a header right before it, telling how it was made. Two
// pointer-sized words: 8 bytes on 32-bit, 16 on 64-bit, so a plain block keeps the alignment the
// C runtime gives (16 bytes in the 64-bit module).
struct CBlockHeader
{
    UINT_PTR Magic;
    UINT_PTR RegionOrZero; // base of the VirtualAlloc region for a guarded block, 0 otherwise
};
static_assert(sizeof(CBlockHeader) == 2 * sizeof(void*), "the header is two pointer-sized words");

const UINT_PTR kPlainMagic = 0x504C4E42;   // "BNLP"
const UINT_PTR kGuardedMagic = 0x44524742; // "BGRD"
const size_t kPageSize = 4096;

volatile LONG s_LiveBlocks = 0;
volatile LONG s_AllocationCount = 0;
volatile LONG s_FailCountdown = 0;
volatile LONG s_Guarded = 0;

bool ShouldFail()
{
    InterlockedIncrement(&s_AllocationCount);
    for (;;)
    {
        const LONG current = s_FailCountdown;
        if (current <= 0)
            return false;
        if (InterlockedCompareExchange(&s_FailCountdown, current - 1, current) == current)
            return current == 1;
    }
}

void* AllocateGuarded(size_t size)
{
    const size_t needed = size + sizeof(CBlockHeader);
    const size_t dataPages = (needed + kPageSize - 1) / kPageSize;
    BYTE* region = static_cast<BYTE*>(
        VirtualAlloc(nullptr, (dataPages + 1) * kPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (region == nullptr)
        return nullptr;
    DWORD oldProtect = 0;
    VirtualProtect(region + dataPages * kPageSize, kPageSize, PAGE_NOACCESS, &oldProtect);
    // The block ends exactly where the guard page begins: one unit past the end faults. Its start
    // is then aligned to the lowest set bit of its size; an object's size is a multiple of its
    // alignment, so that is all the block's contents need.
    BYTE* block = region + dataPages * kPageSize - size;
    CBlockHeader* header = reinterpret_cast<CBlockHeader*>(block) - 1;
    header->Magic = kGuardedMagic;
    header->RegionOrZero = reinterpret_cast<UINT_PTR>(region);
    return block;
}
} // namespace

void* AllocateOrThrow(size_t size)
{
    if (ShouldFail())
        throw CNewException();
    void* block = nullptr;
    if (s_Guarded)
    {
        block = AllocateGuarded(size);
    }
    else
    {
        CBlockHeader* header = static_cast<CBlockHeader*>(std::malloc(sizeof(CBlockHeader) + size));
        if (header != nullptr)
        {
            header->Magic = kPlainMagic;
            header->RegionOrZero = 0;
            block = header + 1;
        }
    }
    if (block == nullptr)
        throw CNewException();
    InterlockedIncrement(&s_LiveBlocks);
    return block;
}

void FreeBlock(void* block) noexcept
{
    if (block == nullptr)
        return;
    CBlockHeader* header = static_cast<CBlockHeader*>(block) - 1;
    InterlockedDecrement(&s_LiveBlocks);
    if (header->Magic == kGuardedMagic)
    {
        header->Magic = 0;
        VirtualFree(reinterpret_cast<void*>(header->RegionOrZero), 0, MEM_RELEASE);
        return;
    }
    if (header->Magic != kPlainMagic)
        std::abort(); // not a block of ours, or freed twice
    header->Magic = 0;
    std::free(header);
}

namespace AllocHooks
{
long LiveBlocks()
{
    return s_LiveBlocks;
}
long AllocationCount()
{
    return s_AllocationCount;
}
void FailNth(long n)
{
    InterlockedExchange(&s_FailCountdown, n);
}
bool FailurePending()
{
    return s_FailCountdown > 0;
}
void SetGuarded(bool guarded)
{
    InterlockedExchange(&s_Guarded, guarded ? 1 : 0);
}
} // namespace AllocHooks

#endif
