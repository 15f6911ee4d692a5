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

struct CLangPair
{
    CWideString Name;
    CWideString Value;
};

// The entries of a table, each a heap object owning its text.
class CLangEntryVector : public COwningVector<CLangEntry>
{
public:
    // Puts the entries into ascending id order, exactly where the vector's own heap sort by id
    // puts them, entries that share an id included.
    void SortById();
};

// Translations by lang id, sorted by id after a successful load.
class CLangTable
{
public:
    // False, with the table empty, when the file cannot be read or is not a valid language file.
    bool LoadFromFile(const CWideString& path);
    // True and the text when the id is present; `text` untouched otherwise.
    bool FindText(UINT id, CWideString& text) const;
    void Clear() { Entries.Clear(); }

    CLangEntryVector Entries;
};

bool ParseLangPairs(const CNarrowString& body, COwningVector<CLangPair>& pairs);
bool ParseHexId(const CWideString& name, UINT& id);
