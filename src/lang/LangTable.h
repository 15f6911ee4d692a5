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

// Translations by lang id, sorted by id after a successful load.
class CLangTable
{
public:
    bool LoadFromFile(const CWideString& path);
    // True and the text when the id is present; `text` untouched otherwise.
    bool FindText(UINT id, CWideString& text) const;
    void Clear() { Entries.Clear(); }

    COwningVector<CLangEntry> Entries;
};

bool ParseLangPairs(const CNarrowString& body, COwningVector<CLangPair>& pairs);
bool ParseHexId(const CWideString& name, UINT& id);
