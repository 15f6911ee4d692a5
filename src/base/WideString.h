#pragma once

#include "base/Alloc.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// The common dialogs header defines FindText as a macro (FindTextA/FindTextW), which would
// rename the string's FindText in some files and not in others. The system headers are taken
// in here first, so that their include guards keep the macro from coming back.
#include <windows.h>
#undef FindText

template <typename T> struct StringUnitTraits;
template <> struct StringUnitTraits<char>
{
    typedef unsigned char Unsigned;
};
template <> struct StringUnitTraits<wchar_t>
{
    typedef unsigned short Unsigned;
};

// The module's own strings: CWideString (UTF-16 units) for everything the module handles,
// CNarrowString (code-page bytes) only at ANSI entry points and for file bytes.
//
// The buffer is always terminated at Length(), is never null after construction, and is
// copied deeply. Capacities follow a fixed policy (see GrowFor) that callers may rely on.
template <typename TUnit> class CStringT
{
public:
    CStringT() { Reallocate(3); }
    explicit CStringT(TUnit unit)
    {
        Reallocate(1);
        _text[0] = unit;
        _length = 1;
        _text[1] = 0;
    }
    CStringT(const TUnit* text) { AssignFresh(text, UnitCount(text)); }
    CStringT(const TUnit* text, int count) { AssignFresh(text, count); }
    CStringT(const CStringT& other) { AssignFresh(other._text, other._length); }
    ~CStringT() { FreeBlock(_text); }

    CStringT& operator=(const CStringT& other)
    {
        if (&other != this)
            Assign(other._text, other._length);
        return *this;
    }
    CStringT& operator=(const TUnit* text)
    {
        Assign(text, UnitCount(text));
        return *this;
    }
    CStringT& operator=(TUnit unit)
    {
        Assign(&unit, 1);
        return *this;
    }

    const TUnit* Ptr() const { return _text; }
    operator const TUnit*() const { return _text; }
    TUnit operator[](int index) const { return _text[index]; }
    int Length() const { return _length; }
    int Capacity() const { return _bufferSize; }
    bool IsEmpty() const { return _length == 0; }

    void ClearText()
    {
        _length = 0;
        _text[0] = 0;
    }

    CStringT& Append(const TUnit* text, int count)
    {
        if (count <= 0)
            return *this;
        // The text may be part of this string (s.Append(s)); growing frees the old buffer, so
        // the source is found again by its offset, which the copy in Reallocate keeps.
        if (PointsIntoBuffer(text))
        {
            const ptrdiff_t offset = text - _text;
            GrowFor(count);
            text = _text + offset;
        }
        else
        {
            GrowFor(count);
        }
        std::memcpy(_text + _length, text, count * sizeof(TUnit));
        _length += count;
        _text[_length] = 0;
        return *this;
    }
    CStringT& Append(const TUnit* text) { return Append(text, UnitCount(text)); }
    CStringT& Append(const CStringT& other) { return Append(other._text, other._length); }
    CStringT& Append(TUnit unit) { return Append(&unit, 1); }
    CStringT& operator+=(const CStringT& other) { return Append(other); }
    CStringT& operator+=(const TUnit* text) { return Append(text); }
    CStringT& operator+=(TUnit unit) { return Append(unit); }

    friend CStringT operator+(const CStringT& left, const CStringT& right)
    {
        CStringT result(left);
        result.Append(right);
        return result;
    }
    friend CStringT operator+(const CStringT& left, const TUnit* right)
    {
        CStringT result(left);
        result.Append(right);
        return result;
    }
    friend CStringT operator+(const TUnit* left, const CStringT& right)
    {
        CStringT result(left);
        result.Append(right);
        return result;
    }

    CStringT Slice(int start, int count) const
    {
        if (count > _length - start)
            count = _length - start;
        if (count < 0)
            count = 0;
        if (start == 0 && count == _length)
            return *this;
        return CStringT(_text + start, count);
    }
    CStringT SliceFrom(int start) const { return Slice(start, _length - start); }
    CStringT Prefix(int count) const { return Slice(0, count); }
    CStringT Suffix(int count) const
    {
        if (count > _length)
            count = _length;
        return Slice(_length - count, count);
    }

    int FindChar(TUnit unit, int start = 0) const
    {
        for (int i = start; i < _length; i++)
            if (_text[i] == unit)
                return i;
        return -1;
    }
    int FindLastChar(TUnit unit) const
    {
        for (int i = _length - 1; i >= 0; i--)
            if (_text[i] == unit)
                return i;
        return -1;
    }
    // Index of the first occurrence of `text` at or after `start`, or -1.
    int FindText(const TUnit* text, int start = 0) const
    {
        const int count = UnitCount(text);
        if (count == 0)
            return start <= _length ? start : -1;
        for (int i = start; i + count <= _length; i++)
            if (std::memcmp(_text + i, text, count * sizeof(TUnit)) == 0)
                return i;
        return -1;
    }

    int Erase(int index, int count)
    {
        if (count > _length - index)
            count = _length - index;
        if (count > 0)
        {
            std::memmove(_text + index, _text + index + count, (_length - index - count + 1) * sizeof(TUnit));
            _length -= count;
        }
        return _length;
    }
    int InsertAt(int index, const CStringT& other)
    {
        if (index > _length)
            index = _length;
        if (other._length == 0)
            return _length;
        if (&other == this)
        {
            const CStringT copy(other); // the units move while they are inserted
            return InsertAt(index, copy);
        }
        GrowFor(other._length);
        std::memmove(_text + index + other._length, _text + index, (_length - index + 1) * sizeof(TUnit));
        std::memcpy(_text + index, other._text, other._length * sizeof(TUnit));
        _length += other._length;
        return _length;
    }

    void TrimTrailing(const TUnit* set)
    {
        int end = _length;
        while (end > 0 && UnitInSet(_text[end - 1], set))
            end--;
        _length = end;
        _text[end] = 0;
    }
    void TrimTrailingBlanks()
    {
        const TUnit blanks[] = {' ', '\n', '\t', 0};
        TrimTrailing(blanks);
    }

    // Ordinal comparison of the units as unsigned numbers: -1, 0 or 1.
    int Compare(const TUnit* other) const
    {
        typedef typename StringUnitTraits<TUnit>::Unsigned U;
        for (int i = 0;; i++)
        {
            const U a = static_cast<U>(_text[i]);
            const U b = static_cast<U>(other[i]);
            if (a != b)
                return a < b ? -1 : 1;
            if (a == 0)
                return 0;
        }
    }
    bool operator==(const TUnit* other) const { return Compare(other) == 0; }
    bool operator!=(const TUnit* other) const { return Compare(other) != 0; }
    bool operator==(const CStringT& other) const { return Compare(other._text) == 0; }
    bool operator!=(const CStringT& other) const { return Compare(other._text) != 0; }

    // Wide only (defined in WideString.cpp).
    void ToLowerInPlace();
    int CompareIgnoreCase(const TUnit* other) const;

    // Makes the buffer writable for at least n units plus a terminator.
    TUnit* BufferForWrite(int n)
    {
        if (n >= _bufferSize)
            Reallocate(n);
        return _text;
    }
    // After writing into the buffer: the length is the position of the first zero unit,
    // searched only inside the buffer (a call that did not terminate cannot run past it).
    void CommitBuffer()
    {
        int length = 0;
        while (length < _bufferSize - 1 && _text[length] != 0)
            length++;
        _length = length;
        _text[length] = 0;
    }
    // After writing n units into the buffer: the length is n, terminated at n.
    void CommitBuffer(int n)
    {
        if (n < 0)
            n = 0;
        if (n > _bufferSize - 1)
            n = _bufferSize - 1;
        _length = n;
        _text[n] = 0;
    }

    static int UnitCount(const TUnit* text)
    {
        int count = 0;
        if (text != nullptr)
            while (text[count] != 0)
                count++;
        return count;
    }

private:
    bool PointsIntoBuffer(const TUnit* text) const
    {
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(text);
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(_text);
        return address >= begin && address < begin + static_cast<std::uintptr_t>(_bufferSize) * sizeof(TUnit);
    }

    static bool UnitInSet(TUnit unit, const TUnit* set)
    {
        for (; *set != 0; set++)
            if (*set == unit)
                return true;
        return false;
    }

    // Construction: capacity exactly count + 1.
    void AssignFresh(const TUnit* text, int count)
    {
        if (count < 0)
            count = 0;
        Reallocate(count);
        if (count > 0)
            std::memcpy(_text, text, count * sizeof(TUnit));
        _length = count;
        _text[count] = 0;
    }

    // Assignment: the capacity becomes exactly count + 1 (a shorter text shrinks the buffer),
    // then the units are copied. The new block is taken before the old one is given up, so a
    // failed allocation leaves the string as it was; `text` may point into this string.
    void Assign(const TUnit* text, int count)
    {
        if (count < 0)
            count = 0;
        if (count + 1 == _bufferSize)
        {
            if (count > 0)
                std::memmove(_text, text, count * sizeof(TUnit));
            _length = count;
            _text[count] = 0;
            return;
        }
        TUnit* block = static_cast<TUnit*>(AllocateOrThrow((static_cast<size_t>(count) + 1) * sizeof(TUnit)));
        if (count > 0)
            std::memcpy(block, text, count * sizeof(TUnit));
        block[count] = 0;
        FreeBlock(_text);
        _text = block;
        _length = count;
        _bufferSize = count + 1;
    }

    // Makes room for n more units: step capacity / 2 above 64, 16 above 8, else 4, or just
    // enough when the step is too small.
    void GrowFor(int n)
    {
        const int free = _bufferSize - _length - 1;
        if (n <= free)
            return;
        int step = _bufferSize > 64 ? _bufferSize / 2 : (_bufferSize > 8 ? 16 : 4);
        if (free + step < n)
            step = n - free;
        Reallocate(_bufferSize + step);
    }

    // The buffer becomes exactly n + 1 units, keeping the text.
    void Reallocate(int n)
    {
        if (n + 1 == _bufferSize)
            return;
        TUnit* block = static_cast<TUnit*>(AllocateOrThrow((static_cast<size_t>(n) + 1) * sizeof(TUnit)));
        if (_bufferSize > 0 && _length > 0)
            std::memcpy(block, _text, _length * sizeof(TUnit));
        FreeBlock(_text);
        _text = block;
        _text[_length] = 0;
        _bufferSize = n + 1;
    }

    TUnit* _text = nullptr;
    int _length = 0;
    int _bufferSize = 0;
};

typedef CStringT<wchar_t> CWideString;
typedef CStringT<char> CNarrowString;

template <> void CStringT<wchar_t>::ToLowerInPlace();
template <> int CStringT<wchar_t>::CompareIgnoreCase(const wchar_t* other) const;
