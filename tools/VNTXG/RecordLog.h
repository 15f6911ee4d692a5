#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Shared by the stand-in programs: how they split their command line and where they write what
// they received.

// The arguments after the program path. Blanks separate them; a double quote starts or ends a
// quoted stretch and is dropped; nothing is escaped (a folder may end in a backslash right
// before its closing quote).
std::vector<std::wstring> SplitArguments(const wchar_t* commandLine);

// The value of an environment variable, or an empty text.
std::wstring EnvironmentValue(const wchar_t* name);

// The UTF-8 form of a wide text.
std::string Utf8FromWide(const std::wstring& text);

// Appends one record (wide text, written as UTF-8 in one piece) to the file named by the
// environment variable `variable`, or to `defaultName` beside the program when it is unset.
// Several stand-ins may append at once: a file held by another one is retried for a while.
bool AppendRecord(const wchar_t* variable, const wchar_t* defaultName, const std::wstring& record);
