#pragma once

#include "TestSupport.h"
#include "lang/Language.h"

#include <string>
#include <vector>

// The first line every language file begins with.
const char kTestLangSignatureLine[] = ";!@Lang@!UTF-8!\n";

// A language file: the signature line followed by `body`.
inline std::string LangFileBytes(const std::string& body)
{
    return std::string(kTestLangSignatureLine) + body;
}

inline std::wstring ToStd(const CWideString& text)
{
    return std::wstring(text.Ptr(), text.Length());
}

inline CWideString AddBytesFile(CScratchFolder& folder, const wchar_t* name, const std::string& bytes)
{
    // AddFile takes a size of 0 as "up to the first zero byte": an empty file needs no bytes.
    return folder.AddFile(name, bytes.data(), bytes.size());
}

// (id, text) of every entry, in table order.
inline std::vector<std::pair<UINT, std::wstring>> EntriesOf(const CLangTable& table)
{
    std::vector<std::pair<UINT, std::wstring>> entries;
    for (int i = 0; i < table.Entries.Count(); i++)
        entries.emplace_back(table.Entries[i].Id, ToStd(table.Entries[i].Text));
    return entries;
}

// Fixture for tests that fill the process-wide table: it is emptied, its slot storage included,
// before the leak check.
class CLangTableUser : public CModuleTest
{
protected:
    void TearDown() override
    {
        g_LangTable.Entries.ClearAndRelease();
        CModuleTest::TearDown();
    }
};
