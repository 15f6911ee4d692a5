#include "base/FileSystem.h"

#include "base/Module.h"
#include "base/TextConvert.h"

namespace
{
// Length of a name in a fixed array of the find data, never past the array's end even if the
// system left it unterminated.
template <typename TUnit, size_t N> int BoundedLength(const TUnit (&units)[N])
{
    int length = 0;
    while (length < static_cast<int>(N) && units[length] != 0)
        length++;
    return length;
}

template <typename TFindData> void FillEntryNumbers(const TFindData& data, CDirEntry& entry)
{
    entry.ByteSize = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) + data.nFileSizeLow;
    entry.CreationTime = data.ftCreationTime;
    entry.AccessTime = data.ftLastAccessTime;
    entry.WriteTime = data.ftLastWriteTime;
    entry.Attributes = data.dwFileAttributes;
    entry.ReservedWord = data.dwReserved0;
}
} // namespace

bool CSearchHandle::Start(const CWideString& name, CDirEntry& entry)
{
    if (!Close())
        return false;
    if (g_WideApisAvailable)
    {
        WIN32_FIND_DATAW data;
        _handle = FindFirstFileW(name, &data);
        if (_handle == INVALID_HANDLE_VALUE)
            return false;
        // The name first: if it cannot be copied the entry stays as it was.
        CWideString entryName(data.cFileName, BoundedLength(data.cFileName));
        FillEntryNumbers(data, entry);
        entry.EntryName = entryName;
        return true;
    }
    // The name that comes back is spelled in the code page that spelled the request.
    const UINT codePage = FileApiCodePage();
    CNarrowString narrowName;
    if (!FileNameFromWide(name, codePage, narrowName))
        return false;
    WIN32_FIND_DATAA data;
    _handle = FindFirstFileA(narrowName, &data);
    if (_handle == INVALID_HANDLE_VALUE)
        return false;
    const CWideString entryName =
        WideFromMultiByte(CNarrowString(data.cFileName, BoundedLength(data.cFileName)), codePage);
    FillEntryNumbers(data, entry);
    entry.EntryName = entryName;
    return true;
}

bool CSearchHandle::Close()
{
    if (_handle == INVALID_HANDLE_VALUE)
        return true;
    if (!FindClose(_handle))
        return false;
    _handle = INVALID_HANDLE_VALUE;
    return true;
}

bool LookUpEntry(const CWideString& name, CDirEntry& entry)
{
    // The holder closes the search on every path, a throwing conversion included.
    CSearchHandle search;
    return search.Start(name, entry);
}

bool CReadOnlyFile::Open(const CWideString& name, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes)
{
    if (!Close())
        return false;
    if (g_WideApisAvailable)
    {
        _handle = CreateFileW(name, GENERIC_READ, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
    }
    else
    {
        CNarrowString narrowName;
        if (!FileNameFromWide(name, FileApiCodePage(), narrowName))
            return false;
        _handle =
            CreateFileA(narrowName, GENERIC_READ, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
    }
    return _handle != INVALID_HANDLE_VALUE;
}

bool CReadOnlyFile::OpenForReading(const CWideString& name, bool shareForWrite)
{
    const DWORD share = shareForWrite ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    return Open(name, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool CReadOnlyFile::QuerySize(unsigned long long& size)
{
    DWORD high = 0;
    // A file of 0xFFFFFFFF bytes in the low word is told from a failure only by the error code,
    // so a stale code from an earlier call must not count.
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(_handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    size = (static_cast<unsigned long long>(high) << 32) + low;
    return true;
}

bool CReadOnlyFile::ReadChunk(void* buffer, DWORD size, DWORD& bytesRead)
{
    bytesRead = 0;
    const DWORD chunk = size < kReadChunkSize ? size : kReadChunkSize;
    return ReadFile(_handle, buffer, chunk, &bytesRead, nullptr) != FALSE;
}

bool CReadOnlyFile::ReadAll(void* buffer, DWORD size, DWORD& totalRead)
{
    totalRead = 0;
    BYTE* position = static_cast<BYTE*>(buffer);
    DWORD remaining = size;
    while (remaining > 0)
    {
        DWORD bytesRead = 0;
        if (!ReadChunk(position, remaining, bytesRead))
            return false;
        totalRead += bytesRead;
        if (bytesRead == 0)
            return true; // end of file
        position += bytesRead;
        remaining -= bytesRead;
    }
    return true;
}

bool CReadOnlyFile::Close()
{
    if (_handle == INVALID_HANDLE_VALUE)
        return true;
    if (!CloseHandle(_handle))
        return false;
    _handle = INVALID_HANDLE_VALUE;
    return true;
}
