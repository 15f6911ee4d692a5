#include "base/Sync.h"

CCriticalSection::CCriticalSection()
{
    InitializeCriticalSection(&_section);
}

CNamedEvent::~CNamedEvent()
{
    // Leaving a scope must not change the error code its caller is about to read.
    const DWORD savedError = GetLastError();
    Close();
    SetLastError(savedError);
}

DWORD CNamedEvent::Create(bool manualReset, bool initiallySignalled, const char* name)
{
    // A handle held before would be lost otherwise.
    const DWORD closeError = Close();
    if (closeError != 0)
        return closeError;
    _handle = CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE, name);
    if (_handle == nullptr)
        return GetLastError();
    return 0; // GetLastError() still tells whether the event existed already
}

DWORD CNamedEvent::Close()
{
    if (_handle == nullptr)
        return 0;
    if (!CloseHandle(_handle))
    {
        const DWORD error = GetLastError();
        return error != 0 ? error : 1;
    }
    _handle = nullptr;
    return 0;
}

CNamedFileMapping::~CNamedFileMapping()
{
    const DWORD savedError = GetLastError();
    Close();
    SetLastError(savedError);
}

bool CNamedFileMapping::Create(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protection, unsigned long long size,
                               const char* name)
{
    if (!Close())
        return false;
    _handle = CreateFileMappingA(file, security, protection, static_cast<DWORD>(size >> 32),
                                 static_cast<DWORD>(size & 0xFFFFFFFFu), name);
    return _handle != nullptr;
}

void* CNamedFileMapping::MapView(DWORD access, unsigned long long offset, SIZE_T byteCount)
{
    return MapViewOfFile(_handle, access, static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset & 0xFFFFFFFFu),
                         byteCount);
}

bool CNamedFileMapping::Close()
{
    if (_handle == nullptr)
        return true;
    if (!CloseHandle(_handle))
        return false;
    _handle = nullptr;
    return true;
}
