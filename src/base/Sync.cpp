#include "base/Sync.h"

CCriticalSection::CCriticalSection()
{
    InitializeCriticalSection(&_section);
}

namespace
{
DWORD LastErrorOrFailure()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : 1;
}
} // namespace

CKernelHandle::~CKernelHandle()
{
    // Leaving a scope must not change the error code its caller is about to read.
    const DWORD savedError = GetLastError();
    Close();
    SetLastError(savedError);
}

DWORD CKernelHandle::Close()
{
    if (_handle == nullptr)
        return 0;
    if (!CloseHandle(_handle))
        return LastErrorOrFailure();
    _handle = nullptr;
    return 0;
}

DWORD CKernelHandle::TakeCreated(HANDLE handle)
{
    _handle = handle;
    return handle != nullptr ? 0 : LastErrorOrFailure();
}

DWORD CNamedEvent::Create(bool manualReset, bool initiallySignalled, const char* name)
{
    // A handle held before would be lost otherwise.
    const DWORD closeError = Close();
    if (closeError != 0)
        return closeError;
    return TakeCreated(CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE, name));
}

DWORD CNamedFileMapping::Create(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protection, unsigned long long size,
                                const char* name)
{
    const DWORD closeError = Close();
    if (closeError != 0)
        return closeError;
    return TakeCreated(CreateFileMappingA(file, security, protection, static_cast<DWORD>(size >> 32),
                                          static_cast<DWORD>(size & 0xFFFFFFFFu), name));
}

void* CNamedFileMapping::MapView(DWORD access, unsigned long long offset, SIZE_T byteCount) const
{
    return MapViewOfFile(_handle, access, static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset & 0xFFFFFFFFu),
                         byteCount);
}

CMappedView::~CMappedView()
{
    if (_view == nullptr)
        return;
    const DWORD savedError = GetLastError();
    UnmapViewOfFile(_view);
    SetLastError(savedError);
}
