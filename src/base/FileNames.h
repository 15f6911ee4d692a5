#pragma once

#include "base/WideString.h"

// Full path of `name` and the index where its last component begins. False when the system
// call fails or the full path reaches 260 characters (the output is then not to be used).
bool ResolveFullPath(const wchar_t* name, CWideString& fullPath, int& fileNameIndex);
// The folder part of the full path of `name`, ending with its backslash (a drive root stays whole).
bool ResolveFullPathFolder(const wchar_t* name, CWideString& folder);
// Appends a backslash unless the text is empty or already ends with one.
void EnsureTrailingBackslash(CWideString& path);
