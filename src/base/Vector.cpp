#include "base/Vector.h"

void CVectorBase::Reserve(int n)
{
    if (static_cast<unsigned>(n) >= 0x80000000u)
        throw kErrorVectorTooLarge;
    // Shrinking below the count would lose elements and leave the count above the capacity.
    if (n < _usedSlots)
        n = _usedSlots;
    if (n == _allocatedSlots)
        return;
    const unsigned long long bytes =
        static_cast<unsigned long long>(static_cast<unsigned>(n)) * static_cast<unsigned>(_slotSize);
    if (bytes > 0xFFFFFFFFull)
        throw kErrorVectorSizeOverflow;
    void* block = nullptr;
    if (bytes != 0)
    {
        block = AllocateOrThrow(static_cast<size_t>(bytes));
        if (block == nullptr)
            throw kErrorVectorNoMemory;
        const int keep = _usedSlots < n ? _usedSlots : n;
        if (keep > 0)
            std::memcpy(block, _slots, static_cast<size_t>(keep) * _slotSize);
    }
    FreeBlock(_slots);
    _slots = block;
    _allocatedSlots = n;
}

void CVectorBase::ReserveOneMore()
{
    if (_usedSlots != _allocatedSlots)
        return;
    int step = 1;
    if (_allocatedSlots >= 64)
        step = _allocatedSlots / 4;
    else if (_allocatedSlots >= 8)
        step = 8;
    // Summed unsigned: a capacity past 2^31 - 1 reaches Reserve as a too-large request, not as
    // a negative number.
    Reserve(static_cast<int>(static_cast<unsigned>(_allocatedSlots) + static_cast<unsigned>(step)));
}

void CVectorBase::RemoveSlots(int index, int count)
{
    if (index < 0 || index >= _usedSlots)
        return;
    if (count > _usedSlots - index)
        count = _usedSlots - index;
    if (count < 1)
        return;
    std::memmove(SlotAt(index), SlotAt(index + count), static_cast<size_t>(_usedSlots - index - count) * _slotSize);
    _usedSlots -= count;
}

void CVectorBase::ClearAndReleaseSlots()
{
    FreeBlock(_slots);
    _slots = nullptr;
    _allocatedSlots = 0;
    _usedSlots = 0;
}
