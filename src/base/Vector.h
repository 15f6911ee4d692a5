#pragma once

#include "base/Alloc.h"

#include <cstring>
#include <new>
#include <utility>

// Integer codes thrown for impossible vector sizes.
const int kErrorVectorTooLarge = 0x100EC1;
const int kErrorVectorSizeOverflow = 0x100EC2;
const int kErrorVectorNoMemory = 0x100EC3;

// In-place heap sort of `count` slots holding values of type TSlot (not stable). `compare` takes
// two slot values and returns a negative, zero or positive number. The slots are moved as what
// they are, so pointer slots of the 64-bit module move whole.
template <typename TSlot, typename TCompare> void HeapSortSlots(TSlot* slots, int count, TCompare& compare)
{
    // Slots numbered 1..size: slot i lives at slots[i - 1].
    auto siftDown = [slots, &compare](int k, int size)
    {
        const TSlot value = slots[k - 1];
        for (;;)
        {
            int child = 2 * k;
            if (child > size)
                break;
            if (child + 1 <= size && compare(slots[child], slots[child - 1]) > 0)
                child++;
            if (compare(value, slots[child - 1]) >= 0)
                break;
            slots[k - 1] = slots[child - 1];
            k = child;
        }
        slots[k - 1] = value;
    };
    if (count <= 1)
        return;
    for (int k = count / 2; k >= 1; k--)
        siftDown(k, count);
    for (int size = count; size > 1;)
    {
        const TSlot last = slots[size - 1];
        slots[size - 1] = slots[0];
        slots[0] = last;
        size--;
        siftDown(1, size);
    }
}

// A growable block of fixed-size slots. Capacities run 1, 2, ... 8, 16, 24, ... 64, then grow
// by a quarter: 80, 100, 125, ...
class CVectorBase
{
public:
    CVectorBase(const CVectorBase&) = delete;
    CVectorBase& operator=(const CVectorBase&) = delete;
    virtual ~CVectorBase() { ClearAndReleaseSlots(); }

    // Removes `count` slots at `index` (cut at the end; nothing when below 1 or when the index
    // names no element).
    virtual void Remove(int index, int count) { RemoveSlots(index, count); }

    int Count() const { return _usedSlots; }
    int Capacity() const { return _allocatedSlots; }
    bool IsEmpty() const { return _usedSlots == 0; }

    // Capacity exactly n, but never below the count: the elements stay.
    void Reserve(int n);
    void ReserveOneMore();
    void RemoveLast() { Remove(_usedSlots - 1, 1); }
    void RemoveFrom(int index) { Remove(index, _usedSlots - index); }
    void Clear() { RemoveFrom(0); }
    void ClearAndRelease()
    {
        Clear();
        ClearAndReleaseSlots();
    }
protected:
    explicit CVectorBase(int slotSize) : _slotSize(slotSize) {}

    void* SlotAt(int index) const { return static_cast<char*>(_slots) + index * _slotSize; }
    void RemoveSlots(int index, int count);
    void ClearAndReleaseSlots();
    // Exchanges the slot blocks of two vectors of the same slot size.
    void SwapSlots(CVectorBase& other)
    {
        std::swap(_allocatedSlots, other._allocatedSlots);
        std::swap(_usedSlots, other._usedSlots);
        std::swap(_slots, other._slots);
    }

private:
    int _allocatedSlots = 0;
    int _usedSlots = 0;
    void* _slots = nullptr;
    int _slotSize;

    template <typename T> friend class CValueVector;
    template <typename T> friend class COwningVector;
};

// Plain 32-bit values or pointers the vector does not own; each slot is as large as its value.
template <typename T> class CValueVector : public CVectorBase
{
    static_assert(sizeof(T) == 4 || sizeof(T) == sizeof(void*), "slots hold 32-bit values or pointers");

public:
    CValueVector() : CVectorBase(sizeof(T)) {}
    CValueVector(const CValueVector& other) : CVectorBase(sizeof(T)) { CopyFrom(other); }
    // Built aside and then exchanged, so a failed allocation leaves this vector as it was.
    CValueVector& operator=(const CValueVector& other)
    {
        if (&other != this)
        {
            CValueVector copy(other);
            SwapSlots(copy);
        }
        return *this;
    }

    T& operator[](int index) { return static_cast<T*>(_slots)[index]; }
    const T& operator[](int index) const { return static_cast<const T*>(_slots)[index]; }

    int Add(T value)
    {
        ReserveOneMore();
        static_cast<T*>(_slots)[_usedSlots] = value;
        return _usedSlots++;
    }

    // Sorts with a comparison of two values.
    template <typename TCompare> void Sort(TCompare compare) { HeapSortSlots(static_cast<T*>(_slots), _usedSlots, compare); }

private:
    void CopyFrom(const CValueVector& other)
    {
        Reserve(other.Count());
        if (other.Count() > 0)
            std::memcpy(_slots, other._slots, static_cast<size_t>(other.Count()) * sizeof(T));
        _usedSlots = other.Count();
    }
};

// Heap objects owned by the vector: added as copies, destroyed when they leave it.
template <typename T> class COwningVector : public CVectorBase
{
public:
    COwningVector() : CVectorBase(sizeof(T*)) {}
    // A copy that fails half-way destroys the objects it made: only the base's destructor
    // runs for a constructor that throws, and it frees the slot block alone.
    COwningVector(const COwningVector& other) : CVectorBase(sizeof(T*))
    {
        try
        {
            Reserve(other.Count());
            for (int i = 0; i < other.Count(); i++)
                Add(other[i]);
        }
        catch (...)
        {
            Clear();
            throw;
        }
    }
    // Built aside and then exchanged, so a failed copy leaves this vector as it was.
    COwningVector& operator=(const COwningVector& other)
    {
        if (&other != this)
        {
            COwningVector copy(other);
            SwapSlots(copy);
        }
        return *this;
    }
    ~COwningVector() override { Clear(); }

    T& operator[](int index) { return *static_cast<T**>(_slots)[index]; }
    const T& operator[](int index) const { return *static_cast<T* const*>(_slots)[index]; }

    // Copies `value` into a new heap object (the block is freed again if the copy throws).
    int Add(const T& value)
    {
        ReserveOneMore();
        void* block = AllocateOrThrow(sizeof(T));
        T* object;
        try
        {
            object = new (block) T(value);
        }
        catch (...)
        {
            FreeBlock(block);
            throw;
        }
        static_cast<T**>(_slots)[_usedSlots] = object;
        return _usedSlots++;
    }

    void Remove(int index, int count) override
    {
        if (index < 0 || index >= _usedSlots)
            return;
        if (count > _usedSlots - index)
            count = _usedSlots - index;
        for (int i = 0; i < count; i++)
        {
            T* object = static_cast<T**>(_slots)[index + i];
            object->~T();
            FreeBlock(object);
        }
        RemoveSlots(index, count);
    }

    // Sorts with a comparison of two objects; the objects stay where they are, their pointers move.
    template <typename TCompare> void Sort(TCompare compare)
    {
        auto compareObjects = [&compare](const T* a, const T* b) { return compare(*a, *b); };
        HeapSortSlots(static_cast<T**>(_slots), _usedSlots, compareObjects);
    }
};
