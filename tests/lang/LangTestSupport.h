#pragma once

#include "TestSupport.h"
#include "lang/Language.h"

#include <string>

// A language file: the signature line followed by `body`.
inline std::string LangFileBytes(const std::string& body)
{
    return ";!@Lang@!UTF-8!\n" + body;
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
