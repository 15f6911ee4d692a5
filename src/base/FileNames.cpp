#include "base/FileNames.h"

#include "base/Module.h"
#include "base/TextConvert.h"

#include <windows.h>

namespace
{
// The system's path buffer holds MAX_PATH characters plus the terminator; a full path must stay
// below MAX_PATH to count.
const DWORD kPathLimit = MAX_PATH;
static_assert(kPathLimit == 260, "path limit is 260 characters");

bool ResolveFullPathWide(const wchar_t* name, CWideString& fullPath, int& fileNameIndex)
{
    wchar_t* buffer = fullPath.BufferForWrite(kPathLimit);
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(name, kPathLimit + 1, buffer, &filePart);
    if (length == 0 || length >= kPathLimit)
    {
        // The buffer may hold a cut or unterminated path: never read it.
        fullPath.CommitBuffer(0);
        return false;
    }
    fullPath.CommitBuffer(static_cast<int>(length));
    // No file part means the name ends with a separator: the whole path is the folder.
    if (filePart != nullptr && filePart >= buffer && filePart <= buffer + length)
        fileNameIndex = static_cast<int>(filePart - buffer);
    else
        fileNameIndex = fullPath.Length();
    return true;
}

bool ResolveFullPathNarrow(const wchar_t* name, CWideString& fullPath, int& fileNameIndex)
{
    // One code page for the request and the answer, even if the file APIs switch meanwhile.
    const UINT codePage = FileApiCodePage();
    CNarrowString narrowName;
    if (!FileNameFromWide(CWideString(name), codePage, narrowName))
    {
        fullPath.ClearText();
        return false;
    }
    CNarrowString narrowPath;
    char* buffer = narrowPath.BufferForWrite(kPathLimit);
    char* filePart = nullptr;
    const DWORD length = GetFullPathNameA(narrowName, kPathLimit + 1, buffer, &filePart);
    if (length == 0 || length >= kPathLimit)
    {
        fullPath.ClearText();
        return false;
    }
    narrowPath.CommitBuffer(static_cast<int>(length));
    int byteIndex = narrowPath.Length();
    if (filePart != nullptr && filePart >= buffer && filePart <= buffer + length)
        byteIndex = static_cast<int>(filePart - buffer);
    // The index must count wide units, not bytes: convert the two halves apart.
    const CWideString folderPart = WideFromMultiByte(narrowPath.Prefix(byteIndex), codePage);
    const CWideString namePart = WideFromMultiByte(narrowPath.SliceFrom(byteIndex), codePage);
    fullPath = folderPart;
    fullPath.Append(namePart);
    fileNameIndex = folderPart.Length();
    return true;
}
} // namespace

bool ResolveFullPath(const wchar_t* name, CWideString& fullPath, int& fileNameIndex)
{
    if (g_WideApisAvailable)
        return ResolveFullPathWide(name, fullPath, fileNameIndex);
    return ResolveFullPathNarrow(name, fullPath, fileNameIndex);
}

bool ResolveFullPathFolder(const wchar_t* name, CWideString& folder)
{
    int fileNameIndex = 0;
    if (!ResolveFullPath(name, folder, fileNameIndex))
        return false;
    folder.Erase(fileNameIndex, folder.Length() - fileNameIndex);
    return true;
}

void EnsureTrailingBackslash(CWideString& path)
{
    if (!path.IsEmpty() && path.FindLastChar(L'\\') != path.Length() - 1)
        path.Append(L'\\');
}
