#pragma once

#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>

// Largest language file read.
const DWORD kMaxLangFileSize = 0x100000;

struct CLangEntry
{
    UINT Id = 0;
    CWideString Text;
};

// The entries of a table, each owning its text, side by side in blocks of kChunkEntries: a file
// of 30,000 entries then costs 30,000 blocks (the texts) and a few dozen chunks, instead of 60,000
// blocks, and no block grows by moving (a large block is fresh memory each time, every page of which
// faults when first touched). A failed allocation leaves the entries as they were.
class CLangEntries
{
public:
    static const int kChunkShift = 9;
    static const int kChunkEntries = 1 << kChunkShift;

    CLangEntries() = default;
    CLangEntries(const CLangEntries&) = delete;
    CLangEntries& operator=(const CLangEntries&) = delete;
    ~CLangEntries() { ClearAndRelease(); }

    int Count() const { return _count; }
    bool IsEmpty() const { return _count == 0; }
    const CLangEntry& operator[](int index) const { return _chunks[index >> kChunkShift][index & (kChunkEntries - 1)]; }

    // Appends an entry with `id` and a copy of `count` units of `text`.
    void Add(UINT id, const wchar_t* text, int count);
    void Add(const CLangEntry& entry) { Add(entry.Id, entry.Text.Ptr(), entry.Text.Length()); }
    // Destroys the entries; the chunks stay for the next load.
    void Clear();
    void ClearAndRelease();
    // Puts the entries into ascending id order, exactly where the vectors' heap sort by id puts
    // them, entries that share an id included.
    void SortById();

private:
    CLangEntry& At(int index) { return _chunks[index >> kChunkShift][index & (kChunkEntries - 1)]; }

    CValueVector<CLangEntry*> _chunks;
    int _count = 0;
};

// Translations by lang id, sorted by id after a successful load.
class CLangTable
{
public:
    // False, with the table empty, when the file cannot be read or is not a valid language file.
    bool LoadFromFile(const CWideString& path);
    // True and the text when the id is present; `text` untouched otherwise.
    bool FindText(UINT id, CWideString& text) const;
    void Clear() { Entries.ClearAndRelease(); }

    CLangEntries Entries;
};
