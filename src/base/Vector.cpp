#include "base/Vector.h"

void CVectorBase::Reserve(int n)
{
    if (n == _allocatedSlots)
        return;
    if (static_cast<unsigned>(n) >= 0x80000000u)
        throw kErrorVectorTooLarge;
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

namespace
{
// Slots are 4 bytes everywhere in the module; the sort moves them as 32-bit words.
typedef unsigned long CSlotWord;

void SiftDown(CSlotWord* slots, int k, int size, CSlotCompare compare, void* context)
{
    // Slots numbered 1..size: slot i lives at slots[i - 1].
    const CSlotWord value = slots[k - 1];
    for (;;)
    {
        int child = 2 * k;
        if (child > size)
            break;
        if (child + 1 <= size && compare(&slots[child], &slots[child - 1], context) > 0)
            child++;
        if (compare(&value, &slots[child - 1], context) >= 0)
            break;
        slots[k - 1] = slots[child - 1];
        k = child;
    }
    slots[k - 1] = value;
}
} // namespace

void CVectorBase::Sort(CSlotCompare compare, void* context)
{
    static_assert(sizeof(CSlotWord) == 4, "slot word is 32 bits");
    CSlotWord* slots = static_cast<CSlotWord*>(_slots);
    int size = _usedSlots;
    if (size <= 1)
        return;
    for (int k = size / 2; k >= 1; k--)
        SiftDown(slots, k, size, compare, context);
    while (size > 1)
    {
        const CSlotWord last = slots[size - 1];
        slots[size - 1] = slots[0];
        slots[0] = last;
        size--;
        SiftDown(slots, 1, size, compare, context);
    }
}
