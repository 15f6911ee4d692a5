#pragma once

#include "base/WideString.h"

#include <windows.h>

// One directory entry as a search reports it.
struct CDirEntry
{
    unsigned long long ByteSize = 0;
    FILETIME CreationTime = {};
    FILETIME AccessTime = {};
    FILETIME WriteTime = {};
    DWORD Attributes = 0;
    DWORD ReservedWord = 0;
    CWideString EntryName; // last component only, spelled as on disk

    bool IsFolder() const { return (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// Owner of a find handle.
class CSearchHandle
{
public:
    CSearchHandle() = default;
    CSearchHandle(const CSearchHandle&) = delete;
    CSearchHandle& operator=(const CSearchHandle&) = delete;
    ~CSearchHandle() { Close(); }

    // Closes any open search first (false when that fails); the entry is filled only on success.
    bool Start(const CWideString& name, CDirEntry& entry);
    // True when no search is open; on a failed FindClose the handle stays.
    bool Close();

private:
    HANDLE _handle = INVALID_HANDLE_VALUE;
};

// Looks up one name (or pattern): true and the first entry when found. The search is closed on
// every path.
bool LookUpEntry(const CWideString& name, CDirEntry& entry);

// One system read transfers at most this many bytes.
const DWORD kReadChunkSize = 0x400000;

// Owner of a file handle opened for reading.
class CReadOnlyFile
{
public:
    CReadOnlyFile() = default;
    CReadOnlyFile(const CReadOnlyFile&) = delete;
    CReadOnlyFile& operator=(const CReadOnlyFile&) = delete;
    ~CReadOnlyFile() { Close(); }

    bool Open(const CWideString& name, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes);
    bool OpenForReading(const CWideString& name, bool shareForWrite);
    bool Open(const CWideString& name) { return OpenForReading(name, false); }
    bool QuerySize(unsigned long long& size);
    bool ReadChunk(void* buffer, DWORD size, DWORD& bytesRead);
    bool ReadAll(void* buffer, DWORD size, DWORD& totalRead);
    bool Close();

private:
    HANDLE _handle = INVALID_HANDLE_VALUE;
};
