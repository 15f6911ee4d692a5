#pragma once

#include "base/Alloc.h"

#include <cstring>
#include <new>
#include <utility>

// Integer codes thrown for impossible vector sizes.
const int kErrorVectorTooLarge = 0x100EC1;
const int kErrorVectorSizeOverflow = 0x100EC2;
const int kErrorVectorNoMemory = 0x100EC3;

// Compares two slots (pointers to the slot contents): negative, zero or positive.
typedef int (*CSlotCompare)(const void* slotA, const void* slotB, void* context);

// A growable block of fixed-size slots. Capacities run 1, 2, ... 8, 16, 24, ... 64, then grow
// by a quarter: 80, 100, 125, ...
class CVectorBase
{
public:
    CVectorBase(const CVectorBase&) = delete;
    CVectorBase& operator=(const CVectorBase&) = delete;
    virtual ~CVectorBase() { ClearAndReleaseSlots(); }

    // Removes `count` slots at `index` (cut at the end; nothing when below 1).
    virtual void Remove(int index, int count) { RemoveSlots(index, count); }

    int Count() const { return _usedSlots; }
    int Capacity() const { return _allocatedSlots; }
    bool IsEmpty() const { return _usedSlots == 0; }

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
    // In-place heap sort of the slots (not stable).
    void Sort(CSlotCompare compare, void* context);

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

// Plain 32-bit values or pointers the vector does not own.
template <typename T> class CValueVector : public CVectorBase
{
    static_assert(sizeof(T) == 4, "slots are 4 bytes");

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
    template <typename TCompare> void SortBy(TCompare compare)
    {
        struct Adapter
        {
            static int Call(const void* a, const void* b, void* context)
            {
                return (*static_cast<TCompare*>(context))(*static_cast<const T*>(a), *static_cast<const T*>(b));
            }
        };
        Sort(&Adapter::Call, &compare);
    }

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

    // Sorts with a comparison of two objects.
    template <typename TCompare> void SortBy(TCompare compare)
    {
        struct Adapter
        {
            static int Call(const void* a, const void* b, void* context)
            {
                return (*static_cast<TCompare*>(context))(**static_cast<T* const*>(a), **static_cast<T* const*>(b));
            }
        };
        Sort(&Adapter::Call, &compare);
    }
};
